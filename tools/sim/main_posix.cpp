// zev1-sim: the ZEV1 controller's end of the serial link, on a pseudo-terminal.
#include "command_line.h"
#include "simulator.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void on_signal(int) {
    stop_requested = 1;
}

// The folder of the running program, for the default link next to the configurator.
std::string program_dir(const char* argv0) {
    std::array<char, 4096> path{};
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    std::string exe = n > 0 ? std::string(path.data(), static_cast<std::size_t>(n))
                            : std::string(argv0 != nullptr ? argv0 : "");
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash == 0 ? 1 : slash);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    zev1::sim::parse_result parsed =
        zev1::sim::parse_options(args, program_dir(argc > 0 ? argv[0] : nullptr));
    if (!parsed.options) {
        std::fputs(parsed.text.c_str(), parsed.status == 0 ? stdout : stderr);
        return parsed.status;
    }

    // The stop signals are blocked except inside ppoll, so one arriving between two
    // checks of the flag still ends the wait at once.
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
        sigaddset(&stop_signals, sig);
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t wait_mask;
    sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigdelset(&wait_mask, sig);
    }

    zev1::sim::simulator sim(std::move(*parsed.options));
    if (!sim.start()) {
        return 1;
    }
    return sim.run(stop_requested, wait_mask);
}
