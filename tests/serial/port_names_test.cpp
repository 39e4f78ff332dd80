// Port names on Linux: which device nodes and virtual ports are offered, in which order,
// how a name maps to a path, what decides presence without opening a device (a fake
// sysfs tree), and the port state, the open sequence and a busy port on ptys.
#include "pty_peer.h"
#include "serial/platform/posix/port_names.h"
#include "serial/platform/posix/tty_calls.h"
#include "serial/platform/posix/unique_fd.h"
#include "serial/serial.h"
#include "support/deadline.h"
#include "support/recording_port.h"
#include "support/temp_folder.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zev1 {
namespace {

namespace fs = std::filesystem;
using test::pty_peer;
using test::wait_until;

class temp_dir : public test::temp_folder {
public:
    temp_dir() : temp_folder("zev1-ports") {}
    void touch(const std::string& name) const { std::ofstream(path() / name).put('x'); }
    // Writes a file (and its folders) below this folder.
    void write(const fs::path& name, const std::string& text) const {
        fs::create_directories((path() / name).parent_path());
        std::ofstream(path() / name) << text;
    }
    // A link at name (folders made) pointing at target, relative to this folder.
    void link(const fs::path& name, const fs::path& target) const {
        fs::create_directories((path() / name).parent_path());
        fs::create_directories(path() / target);
        fs::create_directory_symlink(path() / target, path() / name);
    }
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

// What probe_path says of path to an ordinary user: run in a child that, when the suite
// runs as root (as CI does), first drops to nobody, for whom modes count.
int probe_as_ordinary_user(const fs::path& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t nobody = 65534;
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 ||
                                 ::setuid(nobody) != 0 || ::setuid(0) == 0)) {
            std::_Exit(100); // still root: the check would prove nothing
        }
        std::_Exit(static_cast<int>(posix::probe_path(path.native())));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// A port this user may not open is reported as such, never as absent (it would then
// vanish from the list without a word): checked as an ordinary user whoever runs this.
TEST(PortNames, ProbeSeesPermission) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 0755); // nobody may look inside, not open the file
    dir.touch("locked");
    dir.touch("open");
    ::chmod((dir.path() / "locked").c_str(), 0);
    ::chmod((dir.path() / "open").c_str(), 0666);
    EXPECT_EQ(probe_as_ordinary_user(dir.path() / "locked"),
              static_cast<int>(probe_result::no_permission));
    EXPECT_EQ(probe_as_ordinary_user(dir.path() / "open"), static_cast<int>(probe_result::present));
    EXPECT_EQ(probe_as_ordinary_user(dir.path() / "missing"),
              static_cast<int>(probe_result::absent));
}

// A machine as sysfs shows it: a USB ACM controller, a USB adapter another program holds
// with flock, a USB adapter whose driver is gone, a board's UART and a phantom ttyS, a
// bound Bluetooth link, a node sysfs does not know, and virtual ports.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* n :
             {"ttyACM0", "ttyUSB0", "ttyUSB1", "ttyS0", "ttyS1", "ttyAMA0", "rfcomm0"}) {
            root.write(fs::path("dev") / n, "");
        }
        const fs::path usb = "sys/devices/pci0/usb1";
        root.link("sys/class/tty/ttyACM0/device", usb / "1-2/1-2:1.0");
        root.link(usb / "1-2/1-2:1.0/driver", "sys/bus/usb/drivers/cdc_acm");
        root.write(usb / "1-2/idVendor", "1234\n");
        root.write(usb / "1-2/idProduct", "abcd\n");
        root.write(usb / "1-2/manufacturer", "Acme\n");
        root.write(usb / "1-2/product", "ZEV1 controller\n");
        root.write(usb / "1-2/serial", "0042\n");
        root.link("sys/class/tty/ttyUSB0/device", usb / "1-3/1-3:1.0/ttyUSB0");
        root.link(usb / "1-3/1-3:1.0/ttyUSB0/driver", "sys/bus/usb-serial/drivers/ftdi_sio");
        root.write(usb / "1-3/idVendor", "0403\n");
        root.link("sys/class/tty/ttyUSB1/device", usb / "1-4/1-4:1.0/ttyUSB1");
        const fs::path pnp = "sys/devices/pnp0/00:00";
        root.link("sys/class/tty/ttyS0/device", pnp / "00:00:0/00:00:0.0");
        root.link(pnp / "00:00:0/00:00:0.0/driver", "sys/bus/serial-base/drivers/port");
        root.link(pnp / "00:00:0/00:00:0.0/subsystem", "sys/bus/serial-base");
        root.link(pnp / "subsystem", "sys/bus/pnp");
        root.write("sys/class/tty/ttyS0/type", "4\n");
        root.link("sys/class/tty/ttyS1/device", "sys/devices/platform/serial8250");
        root.link("sys/devices/platform/serial8250/driver", "sys/bus/platform/drivers/serial8250");
        root.write("sys/class/tty/ttyS1/type", "0\n");
        root.write("sys/class/tty/rfcomm0/dev", "216:0\n");

        fs::create_directories(root.path() / "ports");
        fs::create_symlink(root.path() / "dev/ttyACM0", root.path() / "ports/CONTROLLER");
        fs::create_symlink(root.path() / "dev/pts/9", root.path() / "ports/GONE");

        struct stat held {};
        ASSERT_EQ(::stat((root.path() / "dev/ttyUSB0").c_str(), &held), 0);
        root.write("locks", "1: POSIX  ADVISORY  WRITE 77 fd:01:123 0 EOF\n2: FLOCK  ADVISORY  "
                            "WRITE 4242 " +
                                lock_key(held) + " 0 EOF\n");
    }
    static std::string lock_key(const struct stat& st) {
        std::array<char, 64> key{};
        std::snprintf(key.data(), key.size(), "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                      static_cast<unsigned long>(st.st_ino));
        return key.data();
    }
    posix::port_dirs dirs(const fs::path& sys) const {
        return {root.path() / "dev", root.path() / "ports", sys, root.path() / "locks"};
    }

    temp_dir root;
};

TEST_F(FakeSysfs, PresenceAndDescriptionsComeFromSysfsWithoutOpeningAnyDevice) {
    // Every open of a file in dev/ shows as an inotify event with the file's name.
    posix::unique_fd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_TRUE(watch.valid());
    ASSERT_GE(::inotify_add_watch(watch.get(), (root.path() / "dev").c_str(), IN_OPEN), 0);

    posix::device_namespace names(dirs(root.path() / "sys"));
    serial port(names);
    port.clear_port_list();
    port.scan_ports();
    EXPECT_EQ(port.port_names()[0], "ttyACM0");
    EXPECT_EQ(port.port_names()[1], "ttyS0");
    EXPECT_EQ(port.port_names()[2], "rfcomm0");
    EXPECT_EQ(port.port_names()[3], "CONTROLLER");
    EXPECT_EQ(port.port_names()[4], "");
    EXPECT_EQ(names.probe((root.path() / "dev/ttyS1").native()), probe_result::absent)
        << "a phantom ttyS given by its path";
    EXPECT_EQ(port.take_port_notes(),
              (std::vector<std::string>{"port ttyACM0: Acme ZEV1 controller, USB 1234:abcd, "
                                        "serial 0042",
                                        "port ttyS0: pnp 00:00", "port rfcomm0",
                                        "port CONTROLLER: link to " +
                                            (root.path() / "dev/ttyACM0").native()}));
    // A USB port's place on the bus; a board's UART marked as the machine's own.
    EXPECT_EQ(names.describe("ttyACM0").location, "1-2");
    EXPECT_FALSE(names.describe("ttyACM0").machine_port);
    EXPECT_TRUE(names.describe("ttyS0").machine_port);
    EXPECT_TRUE(names.describe("ttyAMA0").machine_port) << "by its family, unknown to sysfs";

    std::array<char, 4096> events{};
    const ssize_t n = ::read(watch.get(), events.data(), events.size());
    for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events.data() + at);
        EXPECT_EQ(e->len, 0u) << "opened: " << e->name;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }

    // Without a sysfs to ask (a container), every node that exists counts, but the held
    // port is still absent.
    posix::device_namespace blind(dirs(root.path() / "no-sys"));
    serial other(blind);
    other.scan_ports();
    EXPECT_EQ(other.port_names()[0], "ttyACM0");
    EXPECT_EQ(other.port_names()[1], "ttyUSB1");
    EXPECT_EQ(other.port_names()[4], "ttyAMA0");
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
    EXPECT_EQ(port.open_port((ports.path() / "PORT-B").native(), 115200, 0, 8, false),
              open_failure::none);
    EXPECT_FALSE(port.port_present("PORT-B"));
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

    EXPECT_FALSE(port.port_present("/nonexistent/tty"));
    ASSERT_TRUE(port.port_present(a.slave_path()));
    port.clear_port_list();
    port.scan_ports();
    EXPECT_EQ(port.port_names()[2], a.slave_path());
    EXPECT_EQ(port.port_names()[3], "");

    port.select_port(a.slave_path());
    EXPECT_TRUE(port.port_selected());
    EXPECT_EQ(port.state_text(), a.slave_path() + " close");
}

// Candidates given as absolute paths, which open as they are.
struct path_ports final : port_namespace {
    std::string path;
    std::vector<std::string> candidates() override { return {path}; }
    probe_result probe(std::string_view name) override {
        return posix::probe_path(std::string(name));
    }
};

// A port list of one pseudo-terminal, listed and chosen.
class PortState : public ::testing::Test {
protected:
    // An open that waits for a lock (a held port) fails here at once, not at CTest's limit.
    test::deadline limit{std::chrono::seconds(10)};

    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        names.path = peer.slave_path();
        port.clear_port_list();
        port.scan_ports();
        port.select_port(peer.slave_path());
        ASSERT_TRUE(port.port_selected());
        port.take_port_notes();
    }
    pty_peer peer;
    path_ports names;
    serial port{names};
};

TEST_F(PortState, SelectingAnUnlistedNameClosesTheConnectionAndKeepsTheChoice) {
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

    EXPECT_EQ(port.rx_count(), 2u) << "what came before the close is still readable";

    port.open_close(115200);
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(port.rx_count(), 0u) << "a new connection starts with nothing of the last";
    port.open_close(115200); // open -> closes
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.thread_known());
}

// Records the calls of the open sequence and the line controls. The modem-line calls
// are refused, as a pseudo-terminal refuses them, after being recorded.
class recording_calls final : public posix::tty_calls {
public:
    std::vector<std::string> seen;
    recording_calls() { posix::use_tty_calls(this); }
    ~recording_calls() override { posix::use_tty_calls(nullptr); }
    int open(const char* path, int flags) override {
        seen.emplace_back("open");
        return tty_calls::open(path, flags);
    }
    int flock(int fd, int operation) override {
        seen.emplace_back("flock");
        return tty_calls::flock(fd, operation);
    }
    int ioctl(int fd, unsigned long request, int* arg) override {
        if (request == TIOCMBIS || request == TIOCMBIC) {
            std::string line = request == TIOCMBIS ? "raise" : "lower";
            line += (*arg & TIOCM_DTR) != 0 ? " DTR" : "";
            line += (*arg & TIOCM_RTS) != 0 ? " RTS" : "";
            seen.push_back(line);
            errno = EINVAL;
            return -1;
        }
        seen.emplace_back(request == TIOCEXCL ? "exclusive" : "ioctl");
        return tty_calls::ioctl(fd, request, arg);
    }
    int tcsetattr(int fd, int when, const termios& settings) override {
        seen.emplace_back("line settings");
        return tty_calls::tcsetattr(fd, when, settings);
    }
    int tcflush(int fd, int queue) override {
        seen.emplace_back(queue == TCIFLUSH ? "flush input" : "flush");
        return tty_calls::tcflush(fd, queue);
    }
};

// Linux raises DTR and RTS in open(); the connection lowers both as soon as it holds the
// lock and again after the line settings, before any I/O, and a refusal does not fail
// the open. The line controls of
// the ISP path still reach the port.
TEST_F(PortState, DtrAndRtsAreLoweredRightAfterTheOpenAndTheLineControlsStillWork) {
    recording_calls calls;
    port.open_close(115200);
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(calls.seen, (std::vector<std::string>{"open", "flock", "lower DTR RTS", "exclusive",
                                                    "line settings", "lower DTR RTS"}));
    calls.seen.clear();
    port.set_dtr();
    port.clear_rts();
    EXPECT_EQ(calls.seen, (std::vector<std::string>{"raise DTR", "lower RTS"}));
}

// The watchdog's close of a silent port keeps the device open: the next open opens
// nothing (every open raises DTR and RTS on Linux), yet the connection reads as closed
// meanwhile and what arrived while it was closed is gone. A device that went away while
// held is really closed and opened afresh.
TEST_F(PortState, AHeldPortOpensNoDeviceAgainAndDropsWhatCameMeanwhile) {
    recording_calls calls;
    port.open_close(115200);
    ASSERT_TRUE(port.is_open());
    ASSERT_TRUE(peer.write(std::vector<std::uint8_t>{0x28, 0x93, 0x01}));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == 3; }));

    port.hold_port();
    EXPECT_FALSE(port.is_open());
    EXPECT_TRUE(port.holding());
    EXPECT_EQ(port.state_text(), peer.slave_path() + " close");
    ASSERT_TRUE(peer.write(std::vector<std::uint8_t>{1, 2, 3, 4}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(port.rx_count(), 3u) << "nothing is taken in while the connection is closed";

    calls.seen.clear();
    port.open_close(115200);
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(calls.seen, std::vector<std::string>{"flush input"})
        << "no device was opened, and what the device held meanwhile is gone";
    calls.seen.clear();
    EXPECT_EQ(port.rx_count(), 0u);
    ASSERT_TRUE(peer.write(std::vector<std::uint8_t>{7, 8}));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == 2; }));
    EXPECT_EQ(port.rx_get(), 7);

    port.hold_port();
    peer.close();
    ASSERT_TRUE(wait_until([&] { return !port.running(); }, std::chrono::seconds(2)));
    port.open_close(115200);
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.holding());
    EXPECT_EQ(calls.seen.front(), "open") << "a device that went away is opened afresh";
}

// A port that another program holds: it probes absent, and once chosen it fails to open,
// stays " close" and is said to be in use once, not on every retry; freed, it opens.
TEST_F(PortState, APortHeldByAnotherProgramIsSaidToBeInUseOnce) {
    posix::unique_fd other(::open(peer.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(other.valid());
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(port.port_present(peer.slave_path()));
    for (int attempt = 0; attempt < 3; ++attempt) {
        port.open_close(115200);
    }
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(port.state_text(), peer.slave_path() + " close");
    EXPECT_EQ(port.take_port_notes(),
              (std::vector<std::string>{peer.slave_path() + " is in use by another program"}));

    other.reset();
    EXPECT_TRUE(port.port_present(peer.slave_path()));
    port.open_close(115200);
    EXPECT_TRUE(port.is_open());
    EXPECT_TRUE(port.take_port_notes().empty());
}

} // namespace
} // namespace zev1
