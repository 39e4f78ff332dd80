// Windows: wide-character file calls, FlushFileBuffers and MoveFileEx; the settings
// folder under APPDATA.
#include "settings/file_os.h"

#include "settings/file_io.h"
#include "settings/settings_place.h"

#include <algorithm>
#include <io.h>
#include <shlobj.h>
#include <system_error>
#include <windows.h>

namespace zev1 {
namespace fs = std::filesystem;

namespace {

std::string win_error_text(DWORD err) {
    return std::error_code(static_cast<int>(err), std::system_category()).message();
}

class handle {
public:
    explicit handle(HANDLE h) : h_(h) {}
    ~handle() { close(); }
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    bool close() {
        const bool ok = !valid() || CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

} // namespace

namespace file_os {

bool write_and_flush(const fs::path& tmp, std::span<const std::uint8_t> bytes, std::string& reason,
                     const fs::path& /*target*/) {
    handle file(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        reason = "cannot create " + path_text(tmp) + ": " + win_error_text(GetLastError());
        return false;
    }
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
            reason = "cannot write " + path_text(tmp) + ": " + win_error_text(GetLastError());
            return false;
        }
        bytes = bytes.subspan(written);
    }
    if (!FlushFileBuffers(file.get()) || !file.close()) {
        reason = "cannot flush " + path_text(tmp) + ": " + win_error_text(GetLastError());
        return false;
    }
    return true;
}

bool replace_file(const fs::path& tmp, const fs::path& target, std::string& reason) {
    if (!MoveFileExW(tmp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = "cannot replace the file: " + win_error_text(GetLastError());
        return false;
    }
    return true;
}

bool can_create_beside(const fs::path& target, fs::path probe) {
    probe += ".probe-" + std::to_string(GetCurrentProcessId());
    if (_waccess(target.c_str(), 0) == 0 && _waccess(target.c_str(), 2) != 0) {
        return false; // read-only: MoveFileEx would not replace it
    }
    // Removed by the system when the handle closes.
    handle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.valid();
}

bool make_folder(const fs::path& dir, std::string& reason) {
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        reason =
            "cannot create the folder " + path_text(dir) + ": " + win_error_text(GetLastError());
        return false;
    }
    return true;
}

bool crlf_line_breaks() {
    return true;
}

} // namespace file_os

fs::path executable_path() try {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buf.size());
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), size);
        if (n == 0) {
            return {};
        }
        if (n < size) {
            buf.resize(n);
            return fs::path(buf);
        }
        if (buf.size() >= 32768) {
            return {};
        }
        buf.resize(buf.size() * 2);
    }
} catch (...) {
    return {};
}

std::optional<fs::path> process_environment(std::string_view name) try {
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
    return std::nullopt;
} catch (...) {
    return std::nullopt;
}

fs::path user_settings_folder(const environment_lookup& env) {
    if (auto appdata = env("APPDATA"); appdata && appdata->is_absolute()) {
        return *appdata / "ZEV1";
    }
    return {};
}

bool may_keep_settings_beside(const fs::path& /*beside_program*/) {
    return true;
}

} // namespace zev1
