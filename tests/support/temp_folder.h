#pragma once
// A folder of the test's own below the system's temporary folder: new and empty when made
// (a random name, taken only if no other folder has it), removed with all it holds at the
// end. Tests in processes of their own, run side by side, never share one.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace zev1::test {

class temp_folder {
public:
    explicit temp_folder(std::string_view prefix = "zev1-test") {
        std::random_device seed;
        std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed() ^
                               static_cast<std::uint64_t>(
                                   std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            auto candidate = std::filesystem::temp_directory_path() /
                             (std::string(prefix) + "-" + std::to_string(random() % 1000000000U));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = std::move(candidate);
            }
        }
    }
    ~temp_folder() {
        std::error_code ec;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ec);
        }
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace zev1::test
