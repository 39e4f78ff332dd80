#pragma once
// The platform layer under the settings file's operations: file_io.cpp and
// settings_place.cpp are written once over these calls; platform/posix and
// platform/win32 implement them (and the OS-bound calls of file_io.h and
// settings_place.h themselves). Nothing here throws.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace zev1::file_os {

// Creates tmp, writes bytes to it and forces them to the disk. An existing target's
// permissions carry over where the system has them. False with a reason on failure.
bool write_and_flush(const std::filesystem::path& tmp, std::span<const std::uint8_t> bytes,
                     std::string& reason, const std::filesystem::path& target);

// Renames tmp over target in one step and makes the rename durable where it can.
bool replace_file(const std::filesystem::path& tmp, const std::filesystem::path& target,
                  std::string& reason);

// Whether target could be replaced now: an existing target is not refused for being
// read-only, and a file can be created beside it (tried as probe, which is gone after).
bool can_create_beside(const std::filesystem::path& target, std::filesystem::path probe);

// Creates the one folder dir, private to the user where the system has permissions; an
// existing dir is no failure.
bool make_folder(const std::filesystem::path& dir, std::string& reason);

// Whether a settings file written here ends its lines with CR LF.
bool crlf_line_breaks();

} // namespace zev1::file_os
