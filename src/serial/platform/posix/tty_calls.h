#pragma once
// The system calls with which a connection opens its tty, claims it, applies the line
// settings and sets the modem lines. They go through this table so that a test can
// record them and see the order of what happens right after the open, which a
// pseudo-terminal (no modem lines) cannot show; so does the flush of the input when a
// held connection resumes, which the I/O thread's draining of a pseudo-terminal hides.
// The I/O thread's reads, writes and polls do not go through it.
#include <termios.h>

namespace zev1::posix {

class tty_calls {
public:
    virtual ~tty_calls() = default;
    virtual int open(const char* path, int flags);
    virtual int flock(int fd, int operation);
    // TIOCEXCL (arg unused), TIOCMBIS, TIOCMBIC (arg: the line bits).
    virtual int ioctl(int fd, unsigned long request, int* arg);
    virtual int tcsetattr(int fd, int when, const termios& settings);
    virtual int tcflush(int fd, int queue);
};

// The calls in use: the system's unless a test put others in place.
tty_calls& active_tty_calls();
// Puts calls in place of the system's (null: the system's again); returns the previous
// ones (null for the system's). For tests; the calls must outlive their use.
tty_calls* use_tty_calls(tty_calls* calls);

} // namespace zev1::posix
