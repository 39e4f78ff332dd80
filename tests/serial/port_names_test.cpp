// Port names on Linux: which device nodes and virtual ports are offered, in which order,
// how a name maps to a path, and the port state over the real namespace on ptys.
#include "pty_peer.h"
#include "serial/platform/posix/port_names.h"
#include "serial/serial.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zev1 {
namespace {

namespace fs = std::filesystem;
using test::pty_peer;
using test::wait_until;

class temp_dir {
public:
    temp_dir() {
        std::string tmpl = (fs::temp_directory_path() / "zev1-ports-XXXXXX").native();
        path_ = ::mkdtemp(tmpl.data()) != nullptr ? fs::path(tmpl) : fs::path();
    }
    ~temp_dir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    void touch(const std::string& name) const { std::ofstream(path_ / name).put('x'); }

private:
    fs::path path_;
};

TEST(PortNames, DeviceFamiliesInOrderThenVirtualPortsByName) {
    temp_dir dev, ports;
    for (const char* n : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM3", "rfcomm1", "ttyO0", "ttymxc4",
                          "ttyAMA0", "ttyTHS1", "null", "ttyUSBx", "tty5", "ttyS"}) {
        dev.touch(n);
    }
    for (const char* n : {"ZEV1-SIM", "BENCH", ".hidden"}) {
        ports.touch(n);
    }
    auto names = posix::list_port_candidates({dev.path(), ports.path()});
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM3", "ttyUSB0", "ttyS2", "ttyS10", "ttyAMA0",
                                               "ttyTHS1", "ttymxc4", "ttyO0", "rfcomm1", "BENCH",
                                               "ZEV1-SIM"}));
}

TEST(PortNames, AtMostOneHundredCandidates) {
    temp_dir dev, ports;
    for (int n = 0; n < 120; ++n) {
        dev.touch("ttyS" + std::to_string(n));
    }
    ports.touch("ZEV1-SIM");
    auto names = posix::list_port_candidates({dev.path(), ports.path()});
    ASSERT_EQ(names.size(), 100u);
    EXPECT_EQ(names.back(), "ttyS99");
}

TEST(PortNames, NamesMapToPaths) {
    posix::port_dirs dirs{"/dev", "/opt/zev1/ports"};
    EXPECT_EQ(posix::port_path("ttyUSB0", dirs), "/dev/ttyUSB0");
    EXPECT_EQ(posix::port_path("ZEV1-SIM", dirs), "/opt/zev1/ports/ZEV1-SIM");
    EXPECT_EQ(posix::port_path("/dev/pts/7", dirs), "/dev/pts/7");
    EXPECT_EQ(posix::port_path("", dirs), "");
    EXPECT_EQ(posix::port_path("..", dirs), "");
    EXPECT_EQ(posix::port_path("../../etc/passwd", dirs), "");
    EXPECT_EQ(posix::port_path(std::string_view("tty\0S0", 6), dirs), "");
}

TEST(PortNames, ProbeSeesPermissionAndExclusiveUse) {
    temp_dir dir;
    dir.touch("locked");
    ::chmod((dir.path() / "locked").c_str(), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(posix::probe_path((dir.path() / "locked").native()), probe_result::no_permission);
    }
    EXPECT_EQ(posix::probe_path((dir.path() / "missing").native()), probe_result::absent);
}

// The real namespace over a ports/ folder of links to pseudo-terminals.
class VirtualPorts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(a.ok() && b.ok());
        fs::create_symlink(a.slave_path(), ports.path() / "PORT-A");
        fs::create_symlink(b.slave_path(), ports.path() / "PORT-B");
    }
    temp_dir dev, ports;
    pty_peer a, b;
    posix::device_namespace names{{dev.path(), ports.path()}};
};

TEST_F(VirtualPorts, AnOpenPortDropsOutOfTheNextScan) {
    serial port(names);
    port.clear_port_list();
    port.scan_ports();
    ASSERT_EQ(port.port_names()[0], "PORT-A");
    ASSERT_EQ(port.port_names()[1], "PORT-B");

    // open_port resolves plain names through the ports folder beside the program; this
    // folder is elsewhere, so the link is opened by its path.
    EXPECT_EQ(port.open_port((ports.path() / "PORT-B").native(), 115200, 0, 8, false), 0);
    EXPECT_EQ(port.port_present("PORT-B"), 0);
    port.clear_port_list();
    port.scan_ports(); // stops the thread first, so PORT-B is back
    EXPECT_EQ(port.port_names()[1], "PORT-B");
}

// A remembered port given by absolute path is listed by the rescan that follows its
// successful probe, so the link can choose it; an absent path is never listed.
TEST_F(VirtualPorts, AnAbsolutePathProbedPresentIsListedAfterTheOthers) {
    serial port(names);
    port.clear_port_list();
    port.scan_ports();
    EXPECT_EQ(port.port_names()[2], "");

    EXPECT_EQ(port.port_present("/nonexistent/tty"), 0);
    ASSERT_EQ(port.port_present(a.slave_path()), 1);
    port.clear_port_list();
    port.scan_ports();
    EXPECT_EQ(port.port_names()[2], a.slave_path());
    EXPECT_EQ(port.port_names()[3], "");

    port.select_port(a.slave_path());
    EXPECT_TRUE(port.port_selected());
    EXPECT_EQ(port.state_text(), a.slave_path() + " close");
}

TEST(PortState, SelectingAnUnlistedNameClosesTheConnectionAndKeepsTheChoice) {
    pty_peer peer;
    ASSERT_TRUE(peer.ok());
    // Candidates given as absolute paths open as they are.
    struct one_port final : port_namespace {
        std::string path;
        std::vector<std::string> candidates() override { return {path}; }
        probe_result probe(std::string_view name) override {
            return posix::probe_path(std::string(name));
        }
    } names;
    names.path = peer.slave_path();

    serial port(names);
    port.clear_port_list();
    port.scan_ports();
    port.select_port(peer.slave_path());
    port.open_close(115200);
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(port.state_text(), peer.slave_path() + " open");
    std::vector<std::uint8_t> b = {0x11, 0x22};
    ASSERT_TRUE(peer.write(b));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == 2; }));

    port.select_port("COM9");
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.running());
    EXPECT_EQ(port.selected_index(), 0);
    EXPECT_EQ(port.state_text(), peer.slave_path() + " close");

    port.open_close(115200);
    ASSERT_TRUE(port.is_open());
    port.open_close(115200); // open -> closes
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.thread_known());
    EXPECT_EQ(port.rx_count(), 2u);
}

} // namespace
} // namespace zev1
