#pragma once
// The exit statuses of zev1-wifi; each failure also prints one line on standard error.
#include <string>

namespace zev1::cli {

enum class exit_status : int {
    ok = 0,
    failure = 1,       // anything not covered below (an output error, for one)
    usage = 2,         // bad command line
    no_port = 3,       // no port to use, or the port cannot be opened or vanished
    no_answer = 4,     // the controller did not answer within 3 s of the open attempts
    aborted = 5,       // the transfer was aborted after five time-outs
    mismatch = 6,      // --verify read back something other than what was written
    too_long = 7,      // a text does not fit its field; nothing was sent
    some_failed = 8,   // batch: some units failed
    interrupted = 130, // Ctrl+C (128 + SIGINT, as shells report it)
};

// How a step ended: ok, or a status with its one-line message.
struct outcome {
    exit_status status = exit_status::ok;
    std::string message;

    bool ok() const { return status == exit_status::ok; }
    static outcome success() { return {}; }
    static outcome fail(exit_status s, std::string text) { return {s, std::move(text)}; }
};

} // namespace zev1::cli
