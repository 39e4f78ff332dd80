#pragma once
// The settings file next to the program, loaded once at construction and written
// back whole at destruction. Modules read and write values through this object; the
// file on disk changes only at the end (or on an explicit UpdateFile).
//
// Safety: the file is written to a temporary file in the same folder and renamed over
// the old one, so a crash or a full disk never leaves a truncated settings file. A
// failed write is reported on standard error. If the store could not be loaded, every
// read answers its default and writes are ignored.
#include "settings/ini_store.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zev1 {

class Tini_file {
public:
    // Loads the file at path (a missing file gives an empty store).
    explicit Tini_file(std::filesystem::path path);
    // Writes "main_win"/"level" and the whole store.
    ~Tini_file();
    Tini_file(const Tini_file&) = delete;
    Tini_file& operator=(const Tini_file&) = delete;

    // The running executable's path with its extension replaced by ".INI"; on systems
    // where executables have no extension, the path with ".INI" appended.
    static std::filesystem::path default_path();

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t def) const;
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Writes the whole store to the file now; false (and a line on stderr) on failure.
    // Without a store (the file could not be read) it leaves the file alone: false.
    bool UpdateFile();

    bool has_store() const { return store_.has_value(); }
    const std::filesystem::path& path() const { return path_; }

    bool verze = false;
    std::int32_t level = 5;

private:
    std::filesystem::path path_;
    std::optional<ini_store> store_;
};

} // namespace zev1
