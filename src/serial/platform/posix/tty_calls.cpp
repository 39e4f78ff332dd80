#include "serial/platform/posix/tty_calls.h"

#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

namespace zev1::posix {
namespace {

tty_calls system_calls;
std::atomic<tty_calls*> replaced{nullptr};

} // namespace

int tty_calls::open(const char* path, int flags) {
    return ::open(path, flags);
}

int tty_calls::flock(int fd, int operation) {
    return ::flock(fd, operation);
}

int tty_calls::ioctl(int fd, unsigned long request, int* arg) {
    return ::ioctl(fd, request, arg);
}

int tty_calls::tcsetattr(int fd, int when, const termios& settings) {
    return ::tcsetattr(fd, when, &settings);
}

int tty_calls::tcflush(int fd, int queue) {
    return ::tcflush(fd, queue);
}

tty_calls& active_tty_calls() {
    tty_calls* calls = replaced.load(std::memory_order_acquire);
    return calls != nullptr ? *calls : system_calls;
}

tty_calls* use_tty_calls(tty_calls* calls) {
    return replaced.exchange(calls, std::memory_order_acq_rel);
}

} // namespace zev1::posix
