#include "settings/settings_place.h"

#include <cstdlib>
#include <iterator>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#include <vector>
#endif

namespace zev1 {
namespace fs = std::filesystem;

std::optional<fs::path> process_environment(std::string_view name) try {
#ifdef _WIN32
    // Wide, so a user name outside the code page survives.
    const std::wstring wide(name.begin(), name.end());
    if (const wchar_t* value = _wgetenv(wide.c_str()); value != nullptr && *value != L'\0') {
        return fs::path(value);
    }
    if (name == "APPDATA") {
        PWSTR known = nullptr;
        std::optional<fs::path> result;
        if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known) == S_OK) {
            result = fs::path(known);
        }
        CoTaskMemFree(known);
        return result;
    }
#else
    if (const char* value = std::getenv(std::string(name).c_str());
        value != nullptr && *value != '\0') {
        return fs::path(value);
    }
    if (name == "HOME") {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384u);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buf.data(), buf.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0') {
            return fs::path(found->pw_dir);
        }
    }
#endif
    return std::nullopt;
} catch (...) {
    return std::nullopt;
}

fs::path user_settings_folder(const environment_lookup& env) {
#ifdef _WIN32
    if (auto appdata = env("APPDATA"); appdata && appdata->is_absolute()) {
        return *appdata / "ZEV1";
    }
#else
    // A relative XDG_CONFIG_HOME is to be ignored.
    if (auto config = env("XDG_CONFIG_HOME"); config && config->is_absolute()) {
        return *config / "zev1";
    }
    if (auto home = env("HOME"); home && home->is_absolute()) {
        return *home / ".config" / "zev1";
    }
#endif
    return {};
}

bool may_keep_settings_beside(const fs::path& beside_program) {
#ifdef _WIN32
    (void)beside_program;
    return true;
#else
    const fs::path folder = beside_program.parent_path().lexically_normal();
    const auto first = folder.begin();
    return !(folder.is_absolute() && std::distance(first, folder.end()) >= 2 &&
             *std::next(first) == "usr");
#endif
}

settings_place choose_settings_place(const fs::path& beside_program, const fs::path& user_folder,
                                     const std::function<bool(const fs::path&)>& writable) {
    if (user_folder.empty() || writable(beside_program)) {
        return {beside_program};
    }
    const fs::path in_user_folder = user_folder / beside_program.filename();
    std::error_code ec;
    if (fs::exists(in_user_folder, ec) || !fs::exists(beside_program, ec)) {
        return {in_user_folder, in_user_folder, true};
    }
    return {beside_program, in_user_folder, true};
}

} // namespace zev1
