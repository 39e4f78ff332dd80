// What identifies a port: the one-line text, and the USB ids taken from a Windows device
// instance id.
#include "serial/port_description.h"

#include <gtest/gtest.h>

namespace zev1 {
namespace {

port_description from_id(std::string_view id) {
    port_description d;
    parse_instance_id(id, d);
    return d;
}

TEST(PortDescription, InstanceIdsGiveTheUsbIdsAndARealSerialNumber) {
    const auto own = from_id("USB\\VID_1234&PID_ABCD\\0042");
    EXPECT_EQ(description_text(own), "USB 1234:abcd, serial 0042");
    // A composite device's port: the system made up the last part.
    EXPECT_EQ(description_text(from_id("USB\\VID_0483&PID_5740&MI_00\\6&2A1B3C&0&0000")),
              "USB 0483:5740");
    EXPECT_EQ(description_text(from_id("FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000")),
              "USB 0403:6001");
    EXPECT_EQ(description_text(from_id("ACPI\\PNP0501\\1")), "");
    EXPECT_EQ(description_text(from_id("USB\\VID_12")), "") << "cut short";
    EXPECT_EQ(description_text(from_id("USB\\VID_12G4&PID_\\x")), "") << "not hex";
}

TEST(PortDescription, TextNamesTheMakerOnce) {
    EXPECT_EQ(description_text({"Acme", "ZEV1 controller", "1234", "abcd", "0042", ""}),
              "Acme ZEV1 controller, USB 1234:abcd, serial 0042");
    EXPECT_EQ(description_text({"Acme", "Acme ZEV1", "", "", "", ""}), "Acme ZEV1");
    EXPECT_EQ(description_text({"", "", "", "", "", "pnp 00:00"}), "pnp 00:00");
}

} // namespace
} // namespace zev1
