#pragma once
// A scenario's own folder (settings file, log files), removed at its end, and the pinned
// clock the drivers give the program.
#include "support/temp_folder.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace zev1::scenario {

// How lines end in the text files the program writes (settings file, log files).
#ifdef _WIN32
inline constexpr std::string_view eol = "\r\n";
#else
inline constexpr std::string_view eol = "\n";
#endif

// 7 Dec 2026 23:54:24 local time.
inline std::time_t pinned_time() {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 7;
    tm.tm_hour = 23;
    tm.tm_min = 54;
    tm.tm_sec = 24;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

inline std::string file_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class test_area {
public:
    const std::filesystem::path& dir() const { return folder_.path(); }
    std::filesystem::path settings() const { return dir() / "zev1-wifi-config.INI"; }
    void write_settings(std::string_view text) const { write_file(settings(), text); }
    std::string read_settings() const { return file_text(settings()); }

private:
    test::temp_folder folder_{"zev1-scenario"};
};

// Runs with the process's current directory set to dir until it goes out of scope.
class current_directory {
public:
    explicit current_directory(const std::filesystem::path& dir)
        : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~current_directory() {
        std::error_code ec;
        std::filesystem::current_path(saved_, ec);
    }
    current_directory(const current_directory&) = delete;
    current_directory& operator=(const current_directory&) = delete;

private:
    std::filesystem::path saved_;
};

} // namespace zev1::scenario
