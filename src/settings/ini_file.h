#pragma once
// The settings file, loaded once at construction and written back whole at destruction.
// Modules read and write values through this object; the file on disk changes only at
// the end (or on an explicit UpdateFile). Where the file lives: settings_place.h.
//
// Safety: the file is written to a temporary file in the same folder and renamed over
// the old one, so a crash or a full disk never leaves a truncated settings file. A
// failed write is reported on standard error. If the file that the write at exit would
// replace cannot be read, every read answers its default and writes are ignored; one
// that cannot be read from elsewhere (next to a read-only program) just gives defaults.
#include "settings/ini_store.h"
#include "settings/settings_place.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zev1 {

class Tini_file {
public:
    // Loads place.read (a missing file gives an empty store); the settings go to
    // place.write.
    explicit Tini_file(settings_place place);
    // Writes "main_win"/"level" and the whole store.
    ~Tini_file();
    Tini_file(const Tini_file&) = delete;
    Tini_file& operator=(const Tini_file&) = delete;

    // The running executable's path with its extension replaced by ".INI"; on systems
    // where executables have no extension, the path with ".INI" appended.
    static std::filesystem::path default_path();
    // Where the running program keeps its settings: default_path() when that can be
    // written, else the user's settings folder (choose_settings_place).
    static settings_place default_place();

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t def) const;
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Writes the whole store to the file now (creating the user's settings folder when
    // that is where it goes and it is missing); false
    // (and a line on stderr) on failure. Without a store (the file could not be read) it
    // leaves the file alone: false.
    bool UpdateFile();

    bool has_store() const { return store_.has_value(); }
    // The file in use: the one the settings are written to.
    const std::filesystem::path& path() const { return place_.write; }

    bool verze = false;
    std::int32_t level = 5;

private:
    settings_place place_;
    std::optional<ini_store> store_;
};

} // namespace zev1
