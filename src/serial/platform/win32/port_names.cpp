// Port names on Windows: COM0 ... COM99, described by SetupAPI.
#include "serial/port_namespace.h"

#include <array>
#include <string>

// windows.h before setupapi.h, which needs its types.
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

namespace zev1 {
namespace {

// The device setup class "Ports" (COM and LPT), GUID_DEVCLASS_PORTS.
constexpr GUID ports_class = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

bool same_name(std::string_view a, std::string_view b) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) {
            return false;
        }
    }
    return true;
}

// The port name a device of the Ports class was given ("COM3"); empty for none.
std::string port_name_of(HDEVINFO set, SP_DEVINFO_DATA& info) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::array<char, 64> name{};
    DWORD size = name.size() - 1; // room for the terminating zero the value may lack
    DWORD type = 0;
    const LONG result = ::RegQueryValueExA(key, "PortName", nullptr, &type,
                                           reinterpret_cast<BYTE*>(name.data()), &size);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(name.data()) : std::string();
}

// The friendly name ("USB Serial Device (COM3)") and the USB ids of the named port.
port_description describe_com(std::string_view name) {
    port_description d;
    HDEVINFO set = ::SetupDiGetClassDevsA(&ports_class, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return d;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        if (!same_name(port_name_of(set, info), name)) {
            continue;
        }
        std::array<char, 256> text{};
        if (::SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                                reinterpret_cast<BYTE*>(text.data()),
                                                text.size() - 1, nullptr)) {
            d.product = text.data();
        }
        std::array<char, 256> id{};
        if (::SetupDiGetDeviceInstanceIdA(set, &info, id.data(), id.size() - 1, nullptr)) {
            parse_instance_id(id.data(), d);
        }
        break;
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return d;
}

class com_namespace final : public port_namespace {
public:
    std::vector<std::string> candidates() override {
        std::vector<std::string> names;
        names.reserve(max_port_candidates);
        for (std::size_t n = 0; n < max_port_candidates; ++n) {
            names.push_back("COM" + std::to_string(n));
        }
        return names;
    }
    probe_result probe(std::string_view name) override { return probe_port(name); }
    port_description describe(std::string_view name) override { return describe_com(name); }
};

} // namespace

std::unique_ptr<port_namespace> make_system_namespace() {
    return std::make_unique<com_namespace>();
}

} // namespace zev1
