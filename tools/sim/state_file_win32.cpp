// The state file on Windows: the same format and the same temporary-file-and-rename
// discipline as on POSIX, with the C++ streams and MoveFileEx (which replaces the old
// file, something rename() does not do on Windows).
#include "state_file.h"

#include <filesystem>
#include <fstream>
#include <vector>
#include <windows.h>

namespace zev1::sim {

load_result load_state(const std::string& path, memory_image& memory, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return load_result::absent;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return load_result::failed;
    }
    // Read one byte more than fits, to tell a file that is too long.
    std::vector<std::uint8_t> bytes(memory_image::size + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        error = "cannot read " + path;
        return load_result::failed;
    }
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > memory_image::size) {
        error = "state file " + path + " is longer than the 1 MiB memory";
        return load_result::failed;
    }
    memory.store_block(0, std::span(bytes).first(got));
    return load_result::loaded;
}

bool save_state(const std::string& path, const memory_image& memory, std::string& error) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        const auto bytes = memory.image_at(0);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + temp;
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    if (::MoveFileExA(temp.c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        error = "cannot rename onto " + path;
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace zev1::sim
