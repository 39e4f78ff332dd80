#pragma once
// The few file operations the settings file needs, with the platform calls kept here:
// reading a whole file, replacing a file without ever leaving it half written, and
// finding the running program. Nothing here throws; failures come back with a reason
// fit for one line on standard error.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace zev1 {

enum class read_status : std::uint8_t { ok, missing, failed };

// Reads the whole file into out. A path that names nothing gives missing; a path that
// exists but cannot be read (a folder, no permission, an I/O error) gives failed.
read_status read_whole_file(const std::filesystem::path& path, std::vector<std::uint8_t>& out,
                            std::string& reason);

// Where a write may be told to stop, so tests can play a crash at the worst moment.
enum class write_stop : std::uint8_t { never, before_rename };

// The temporary file that write_file_atomically fills before the rename.
std::filesystem::path temp_path_for(const std::filesystem::path& path);

// Writes bytes to temp_path_for(path) (the same folder, so the rename cannot cross file
// systems), forces it to the disk, then renames it over path in one step: readers see
// either the old file whole or the new one whole. A symbolic link at path is followed,
// so the file it points at is replaced, not the link. An existing file's permissions
// carry over (POSIX). On failure the old file is untouched, the temporary file is
// removed, reason says why and the result is false. With stop == before_rename the
// temporary file is left written and flushed, the rename is skipped and the result is
// false, as after a crash between the two steps.
bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                           std::string& reason, write_stop stop = write_stop::never);

// Whether write_file_atomically could put a file at path now: a new file can be created
// in the folder it would land in (tried with a probe file that is removed at once; this
// is the only sure answer, for root on a read-only mount, for ACLs, for Program Files),
// and on Windows an existing file is not read-only (the rename would be refused; on
// POSIX a read-only file in a writable folder is replaced, as it always was).
bool can_replace_file(const std::filesystem::path& path);

// Creates dir and any missing folders above it. New folders are private to the user on
// POSIX (0700), as a settings folder should be. True when dir exists afterwards.
bool make_folders(const std::filesystem::path& dir, std::string& reason);

// The running program's full path; empty if the system does not tell.
std::filesystem::path executable_path();

// A path as text for messages; never throws.
std::string path_text(const std::filesystem::path& path);

} // namespace zev1
