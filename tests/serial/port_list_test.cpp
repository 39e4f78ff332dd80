// The port list and the port state over a fake port namespace, so the COMn cases run
// the same on every platform.
#include "serial/serial.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zev1 {
namespace {

class fake_names final : public port_namespace {
public:
    std::set<std::string> present;
    std::set<std::string> denied;
    std::map<std::string, port_description> descriptions;
    std::vector<std::string> probes;

    std::vector<std::string> candidates() override {
        std::vector<std::string> names;
        for (int n = 0; n < 100; ++n) {
            names.push_back("COM" + std::to_string(n));
        }
        return names;
    }
    probe_result probe(std::string_view name) override {
        probes.emplace_back(name);
        if (denied.count(std::string(name)) != 0) {
            return probe_result::no_permission;
        }
        return present.count(std::string(name)) != 0 ? probe_result::present : probe_result::absent;
    }
    port_description describe(std::string_view name) override {
        auto it = descriptions.find(std::string(name));
        return it != descriptions.end() ? it->second : port_description{};
    }
};

class fake_view final : public port_list_view {
public:
    std::vector<std::string> items;
    int index = -100;
    int clears = 0;
    void clear_items() override {
        items.clear();
        ++clears;
    }
    void append_item(std::string_view name) override { items.emplace_back(name); }
    void set_item_index(int i) override { index = i; }
};

std::vector<std::string> listed(const serial& port) {
    std::vector<std::string> v;
    for (const auto& n : port.port_names()) {
        v.push_back(n);
    }
    while (!v.empty() && v.back().empty()) {
        v.pop_back();
    }
    return v;
}

class PortList : public ::testing::Test {
protected:
    fake_names names;
    fake_view view;
    serial port{names};

    void rescan() {
        port.clear_port_list();
        port.scan_ports();
    }
};

TEST_F(PortList, NothingPresentListsNothingAndOpensNothing) {
    EXPECT_FALSE(port.list_built());
    rescan();
    EXPECT_TRUE(port.list_built());
    EXPECT_TRUE(listed(port).empty());
    port.fill_port_list(view);
    EXPECT_EQ(view.clears, 1);
    EXPECT_TRUE(view.items.empty());
    EXPECT_EQ(view.index, -100) << "no selection to show";
    EXPECT_EQ(port.state_text(), "");
    EXPECT_FALSE(port.port_selected());
    port.open_close(115200);
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.thread_known());
}

TEST_F(PortList, EveryCandidateIsProbedOnceInOrder) {
    rescan();
    ASSERT_EQ(names.probes.size(), 100u);
    EXPECT_EQ(names.probes.front(), "COM0");
    EXPECT_EQ(names.probes[42], "COM42");
    EXPECT_EQ(names.probes.back(), "COM99");
}

TEST_F(PortList, RememberedPortAppearsBetweenTwoOthers) {
    names.present = {"COM3", "COM7"};
    rescan();
    EXPECT_EQ(listed(port), (std::vector<std::string>{"COM3", "COM7"}));
    port.fill_port_list(view);
    EXPECT_EQ(view.items, (std::vector<std::string>{"COM3", "COM7"}));

    // The remembered COM5 is absent: probed, not chosen.
    EXPECT_FALSE(port.port_present("COM5"));
    port.select_port("COM5");
    EXPECT_FALSE(port.port_selected());
    EXPECT_EQ(port.state_text(), "");

    names.present.insert("COM5");
    ASSERT_TRUE(port.port_present("COM5"));
    rescan();
    port.select_port("COM5");
    EXPECT_EQ(listed(port), (std::vector<std::string>{"COM3", "COM5", "COM7"}));
    EXPECT_EQ(port.selected_index(), 1);
    EXPECT_EQ(port.state_text(), "COM5 close");

    port.fill_port_list(view);
    EXPECT_EQ(view.items, (std::vector<std::string>{"COM3", "COM5", "COM7"}));
    EXPECT_EQ(view.index, 1);
    // Nothing pending any more: the next fill leaves the view alone.
    view.index = -100;
    port.fill_port_list(view);
    EXPECT_EQ(view.clears, 2);
    EXPECT_EQ(view.index, -100);
}

TEST_F(PortList, OnlyTheTwentyLowestOfTwentyFiveAreListed) {
    for (int n = 3; n < 28; ++n) {
        names.present.insert("COM" + std::to_string(n));
    }
    rescan();
    auto list = listed(port);
    ASSERT_EQ(list.size(), 20u);
    EXPECT_EQ(list.front(), "COM3");
    EXPECT_EQ(list.back(), "COM22");
    EXPECT_EQ(names.probes.size(), 100u) << "the ports past the twentieth are still probed";
}

TEST_F(PortList, ARescanWithFewerPortsLeavesNoStaleNames) {
    names.present = {"COM1", "COM2", "COM9"};
    rescan();
    names.present = {"COM9"};
    port.scan_ports(); // without clear_port_list first
    EXPECT_EQ(listed(port), (std::vector<std::string>{"COM9"}));
}

TEST_F(PortList, AFailedOpenLeavesTheStateClosed) {
    // Listed by the fake namespace, but no such device exists here.
    names.present = {"COM4"};
    rescan();
    port.select_port("COM4");
    port.open_close(115200);
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(port.state_text(), "COM4 close");
    EXPECT_FALSE(port.thread_known());
}

TEST_F(PortList, UnlistedOrEmptyNamesKeepTheChoice) {
    names.present = {"COM2", "COM6"};
    rescan();
    port.select_port("COM6");
    ASSERT_EQ(port.selected_index(), 1);
    port.select_port("COM9");
    port.select_port("com2"); // letter case counts
    port.select_port("");     // would match a free slot
    EXPECT_EQ(port.selected_index(), 1);
    EXPECT_EQ(port.state_text(), "COM6 close");
}

// The text view hears of each port once, with what identifies it, and of every port this
// user may not open in one line; rescans and the per-tick probe repeat nothing.
TEST_F(PortList, NotesNameEachPortOnceAndThePermissionProblemsInOneLine) {
    names.present = {"COM3"};
    names.denied = {"COM2", "COM8"};
    names.descriptions["COM3"] = {"Acme", "Acme ZEV1", "1234", "abcd", "0042", ""};
    rescan();
    EXPECT_FALSE(port.port_present("COM2"));
    EXPECT_EQ(port.port_descriptions()[0].product, "Acme ZEV1");
    EXPECT_EQ(port.take_port_notes(),
              (std::vector<std::string>{
                  "port COM3: Acme ZEV1, USB 1234:abcd, serial 0042",
                  "no permission to open COM2, COM8: add your user to the dialout group "
                  "(sudo usermod -aG dialout $USER) and log in again"}));
    rescan();
    EXPECT_TRUE(port.take_port_notes().empty());
    names.present.insert("COM4");
    names.denied.insert("COM9");
    rescan();
    EXPECT_EQ(
        port.take_port_notes(),
        (std::vector<std::string>{"port COM4", "no permission to open COM9: add your user to the "
                                               "dialout group (sudo usermod -aG dialout $USER) and "
                                               "log in again"}));
}

} // namespace
} // namespace zev1
