#include "settings/settings_place.h"

#include <system_error>

namespace zev1 {
namespace fs = std::filesystem;

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
