#pragma once
// Where a program's settings file lives. Next to the program (its executable's path
// with ".INI") whenever the write at exit can put the file there: a portable copy, a
// build tree, a per-user install. Where it cannot (/usr/bin of a package, Program Files),
// a file of the same name in the user's settings folder keeps the settings instead, so
// they survive the run. A file next to the program that cannot be written is still read
// while the user's folder has none yet (settings handed out with the program).
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

namespace zev1 {

struct settings_place {
    settings_place() = default;
    // One file, read at start and written at exit.
    settings_place(std::filesystem::path file) : read(file), write(std::move(file)) {}
    settings_place(std::filesystem::path read_from, std::filesystem::path write_to,
                   bool make_folder)
        : read(std::move(read_from)), write(std::move(write_to)), make_folder(make_folder) {}

    std::filesystem::path read;  // loaded at start; need not exist
    std::filesystem::path write; // replaced at exit; empty: never written
    bool make_folder = false;    // the write at exit creates write's folder when missing
};

// One environment variable as a path; nullopt when it is unset or empty.
using environment_lookup = std::function<std::optional<std::filesystem::path>(std::string_view)>;

// The process environment; on POSIX a missing HOME falls back to the user's entry in the
// password database.
std::optional<std::filesystem::path> process_environment(std::string_view name);

// The user's settings folder of these programs: $XDG_CONFIG_HOME/zev1 when that is an
// absolute path, else $HOME/.config/zev1 (POSIX); %APPDATA%\ZEV1 (Windows). Empty when
// the environment names none.
std::filesystem::path user_settings_folder(const environment_lookup& env);

// Whether a settings file may be written at this path next to a program at all: not in
// the system's program folders (POSIX: anything under /usr), which belong to the package
// manager even where root could write them, so that `sudo zev1-wifi ...` leaves no file
// behind in /usr/bin. Elsewhere it is up to writable.
bool may_keep_settings_beside(const std::filesystem::path& beside_program);

// Where the settings are read and written. beside_program is the file next to the
// program, user_folder the user's settings folder (may be empty), and writable answers
// whether the write at exit could put a file at a path (see can_replace_file).
//  - next to the program, when it can be written there;
//  - else the file of the same name in user_folder when that exists;
//  - else the one next to the program is read if it exists, and the settings are kept in
//    user_folder from then on;
//    (the write at exit creates user_folder when it is missing)
//  - without a user folder, next to the program (the write at exit then reports why it
//    fails, as it always did).
settings_place
choose_settings_place(const std::filesystem::path& beside_program,
                      const std::filesystem::path& user_folder,
                      const std::function<bool(const std::filesystem::path&)>& writable);

} // namespace zev1
