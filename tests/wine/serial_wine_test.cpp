// The Win32 serial layer end to end under Wine. zev1-pty-peer holds the native end of
// the COM ports: COM5 echoes, COM6 never reads, COM7 follows the control commands
// ('H' a 200-byte burst, 'S' line check, 'X' hang up and plug in again).
#include "serial/serial.h"
#include "support/recording_port.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>
#include <windows.h>

namespace zev1 {
namespace {

using namespace std::chrono_literals;
using bytes = std::vector<std::uint8_t>;
using test::pattern;
using test::recording_port;
using test::take;
using test::wait_until;

constexpr const char* echo_port = "COM5";
constexpr const char* deaf_port = "COM6";
constexpr const char* control_port = "COM7";

// Wine does not enforce the exclusive sharing mode on serial devices.
bool under_wine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

open_failure open_on(Tserial_event& port, const char* name) {
    return port.open_port(name, 115200, 0, 8, false);
}

// How long stop_thread takes.
std::chrono::steady_clock::duration time_to_stop(Tserial_event& port) {
    const auto t0 = std::chrono::steady_clock::now();
    port.stop_thread();
    return std::chrono::steady_clock::now() - t0;
}

TEST(WinSerial, EchoedBlocksComeBackWholeAndInOrder) {
    serial port;
    ASSERT_EQ(open_on(port, echo_port), open_failure::none);
    auto block = pattern(1023, 3);
    ASSERT_TRUE(port.send_bytes(block));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == block.size(); }))
        << port.rx_count() << " bytes came back";
    EXPECT_EQ(take(port, block.size()), block);

    ASSERT_TRUE(wait_until([&] { return !port.write_pending(); }));
    EXPECT_FALSE(port.send_bytes(pattern(1024, 1)));
    auto next = pattern(10, 99);
    EXPECT_TRUE(port.send_bytes(next)) << "the block after SE_WRITTEN is taken";
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == next.size(); }));
    EXPECT_EQ(take(port, next.size()), next);
    EXPECT_EQ(port.overrun_count(), 0u);
}

TEST(WinSerial, ASecondBlockWhileOneIsBeingWrittenIsDropped) {
    serial port;
    ASSERT_EQ(open_on(port, deaf_port), open_failure::none);
    auto block = pattern(1023, 9);
    for (int accepted = 0; accepted < 1000; ++accepted) {
        ASSERT_TRUE(port.send_bytes(block)) << "block " << accepted;
        if (!wait_until([&] { return !port.write_pending(); }, 300ms)) {
            break;
        }
    }
    ASSERT_TRUE(port.write_pending());
    EXPECT_FALSE(port.send_bytes(pattern(5, 0)));
    EXPECT_LT(time_to_stop(port), 2000ms) << "with a write outstanding";
    EXPECT_FALSE(port.running());
}

TEST(WinSerial, OpenFailureCodes) {
    recording_port port;
    EXPECT_EQ(open_on(port, "COM88"), open_failure::no_device);
    EXPECT_FALSE(port.port_valid());
    EXPECT_FALSE(port.thread_known());
    EXPECT_EQ(open_on(port, ""), open_failure::no_name);
    // "\\.\COM1234567" does not fit the device path: refused, not cut to another port.
    EXPECT_EQ(open_on(port, "COM5555555"), open_failure::no_device);
    EXPECT_EQ(probe_port("COM5555555"), probe_result::absent);
    EXPECT_FALSE(port.thread_known());
    EXPECT_EQ(port.count_of(Tserial_event::SE_STARTED), 0u);
}

TEST(WinSerial, APortThisProcessHoldsIsBusy) {
    serial port;
    ASSERT_TRUE(port.port_present(echo_port));
    ASSERT_EQ(open_on(port, echo_port), open_failure::none);
    if (under_wine()) {
        GTEST_SKIP() << "Wine opens a COM device twice despite sharing mode 0";
    }
    recording_port second;
    EXPECT_EQ(open_on(second, echo_port), open_failure::no_device);
    EXPECT_FALSE(second.thread_known());
    EXPECT_FALSE(port.port_present(echo_port));
    port.stop_thread();
    EXPECT_TRUE(port.port_present(echo_port));
}

TEST(WinSerial, LineSettingsReachTheDevice) {
    serial port;
    ASSERT_EQ(open_on(port, control_port), open_failure::none);
    ASSERT_TRUE(port.send_bytes(bytes{'S'}));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == 1; }));
    EXPECT_EQ(port.rx_get(), '1') << "the peer saw another line setting than raw 115200 8N1";
    port.set_dtr();
    port.set_rts();
    port.clear_dtr();
    port.clear_rts();
    EXPECT_TRUE(port.running());
}

TEST(WinSerial, HangUpEndsTheThreadAndTheRingKeepsItsBytes) {
    serial port;
    ASSERT_EQ(open_on(port, control_port), open_failure::none);
    ASSERT_TRUE(port.send_bytes(bytes{'H'}));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == 200; }));
    ASSERT_TRUE(wait_until([&] { return !port.write_pending(); }));
    ASSERT_TRUE(port.send_bytes(bytes{'X'}));
    ASSERT_TRUE(wait_until([&] { return !port.running(); }))
        << "the I/O thread did not end when the line was hung up";
    EXPECT_FALSE(port.port_valid());
    EXPECT_EQ(port.rx_count(), 200u);

    // Plugged in again: the next connection appends to what is still in the ring.
    port.stop_thread();
    ASSERT_TRUE(wait_until([&] { return port.port_present(control_port); }));
    ASSERT_EQ(open_on(port, control_port), open_failure::none);
    ASSERT_TRUE(port.send_bytes(bytes{1, 2, 3}));
    ASSERT_TRUE(wait_until([&] { return port.rx_count() == 203; }));
    bytes burst_then_more = pattern(200, 40);
    burst_then_more.insert(burst_then_more.end(), {1, 2, 3});
    EXPECT_EQ(take(port), burst_then_more);
}

TEST(WinSerial, StopThreadReturnsAtOnceOrWithinTwoSeconds) {
    recording_port port;
    EXPECT_LT(time_to_stop(port), 50ms);
    ASSERT_EQ(open_on(port, echo_port), open_failure::none);
    EXPECT_LT(time_to_stop(port), 2000ms);
    EXPECT_FALSE(port.thread_known());
    EXPECT_EQ(port.count_of(Tserial_event::SE_ENDED), 1u);
}

TEST(WinSerial, ScanListsThePeerPortsAndAnUnlistedChoiceCloses) {
    serial port;
    port.clear_port_list();
    port.scan_ports();
    EXPECT_THAT(port.port_names(), testing::IsSupersetOf({echo_port, deaf_port, control_port}));

    port.select_port(echo_port);
    port.open_close(115200);
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(port.state_text(), "COM5 open");
    int chosen = port.selected_index();
    port.select_port("COM9");
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(port.running());
    EXPECT_EQ(port.selected_index(), chosen);
    EXPECT_EQ(port.state_text(), "COM5 close");
}

} // namespace
} // namespace zev1
