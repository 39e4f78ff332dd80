#include "settings/ini_file.h"

#include "settings/file_io.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace zev1 {
namespace fs = std::filesystem;

namespace {

void report(const std::string& text) {
    std::fprintf(stderr, "zev1: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace

Tini_file::Tini_file(settings_place place) : place_(std::move(place)) {
    try {
        std::vector<std::uint8_t> bytes;
        std::string reason;
        switch (read_whole_file(place_.read, bytes, reason)) {
        case read_status::missing:
            store_.emplace(); // first run: the file is created at exit
            break;
        case read_status::ok:
            store_ = ini_store::parse(bytes);
            break;
        case read_status::failed: {
            // Only a file that the write at exit would replace needs guarding from the
            // defaults; one read from elsewhere (next to a read-only program) does not.
            const bool elsewhere = place_.read != place_.write;
            report("settings file \"" + path_text(place_.read) + "\" cannot be read (" + reason +
                   "); defaults are used" +
                   (elsewhere ? ", kept in \"" + path_text(place_.write) + "\""
                              : std::string(" and settings will not be saved")));
            if (elsewhere) {
                store_.emplace();
            }
            break;
        }
        }
    } catch (...) {
        store_.reset();
    }
    verze = ReadBool("main_win", "verze", false);
    level = ReadInteger("main_win", "level", 5);
}

Tini_file::~Tini_file() {
    try {
        WriteInteger("main_win", "level", level);
        UpdateFile();
    } catch (...) {
        // Nothing may escape a destructor; UpdateFile has reported what it could.
    }
}

fs::path Tini_file::default_path() {
    fs::path exe = executable_path();
    if (exe.empty()) {
        return fs::path("zev1.INI");
    }
    if (exe.has_extension()) {
        exe.replace_extension(".INI");
    } else {
        exe += ".INI";
    }
    return exe;
}

settings_place Tini_file::default_place() {
    return choose_settings_place(
        default_path(), user_settings_folder(process_environment), [](const fs::path& beside) {
            return may_keep_settings_beside(beside) && can_replace_file(beside);
        });
}

std::string Tini_file::ReadString(std::string_view section, std::string_view key,
                                  std::string_view def) const {
    return store_ ? store_->ReadString(section, key, def) : std::string(def);
}

void Tini_file::WriteString(std::string_view section, std::string_view key,
                            std::string_view value) {
    if (store_) {
        store_->WriteString(section, key, value);
    }
}

std::int32_t Tini_file::ReadInteger(std::string_view section, std::string_view key,
                                    std::int32_t def) const {
    return store_ ? store_->ReadInteger(section, key, def) : def;
}

void Tini_file::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    if (store_) {
        store_->WriteInteger(section, key, value);
    }
}

bool Tini_file::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return store_ ? store_->ReadBool(section, key, def) : def;
}

void Tini_file::WriteBool(std::string_view section, std::string_view key, bool value) {
    if (store_) {
        store_->WriteBool(section, key, value);
    }
}

bool Tini_file::UpdateFile() {
    if (!store_) {
        return false; // nothing was loaded, so nothing may overwrite the file
    }
    if (place_.write.empty()) {
        return false; // read only
    }
    std::string reason;
    try {
        if ((!place_.make_folder || make_folders(place_.write.parent_path(), reason)) &&
            write_file_atomically(place_.write, store_->serialize(), reason)) {
            return true;
        }
    } catch (...) {
        reason = "out of memory";
    }
    report("settings file \"" + path_text(place_.write) + "\" not written: " + reason);
    return false;
}

} // namespace zev1
