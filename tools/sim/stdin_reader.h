#pragma once
// Standard input on Windows, where a console or pipe handle cannot join the loop's wait:
// a thread reads it and hands the chunks over, waking the loop for each.
//
// A blocking read cannot be called off reliably on every kind of handle, so the thread is
// detached; everything it touches is held by shared ownership and outlives the simulator
// until the process ends.
#include "wake_signal.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zev1::sim {

class stdin_reader {
public:
    explicit stdin_reader(std::shared_ptr<wake_signal> wake);

    // Starts the reader thread (once).
    void start();
    // Appends what arrived since the last call to out; false once input has ended and
    // everything was handed over.
    bool take(std::string& out);

private:
    struct shared {
        std::mutex mutex;
        std::string pending;
        bool ended = false;
        std::shared_ptr<wake_signal> wake;
    };
    static void read_loop(std::shared_ptr<shared> state);

    std::shared_ptr<shared> state_;
    bool started_ = false;
};

} // namespace zev1::sim
