// zev1-wifi-config.exe carries what Windows reads from it before any window exists: the
// manifest (common controls 6, per-monitor DPI awareness) and the icon. (The packages'
// tests check the version information of every program.)
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

std::wstring exe_path() {
    std::wstring path = L"Z:" ZEV1_CONFIG_EXE;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::string resource_text(HMODULE module, LPCWSTR type, LPCWSTR name) {
    HRSRC found = ::FindResourceW(module, name, type);
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes = static_cast<const char*>(::LockResource(loaded));
    return bytes != nullptr ? std::string(bytes, ::SizeofResource(module, found)) : std::string();
}

TEST(ExeResources, manifest_and_icon_are_inside) {
    HMODULE exe = ::LoadLibraryExW(exe_path().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << "cannot load " << ZEV1_CONFIG_EXE;
    const std::string manifest = resource_text(exe, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                            "WindowsSettings\">true/pm</dpiAware>"),
              std::string::npos);
    constexpr WORD group_icon = 14; // RT_GROUP_ICON
    EXPECT_NE(::FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(group_icon)), nullptr);
    ::FreeLibrary(exe);
}

} // namespace
