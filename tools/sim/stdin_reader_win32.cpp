#include "stdin_reader.h"

#include <array>
#include <thread>
#include <windows.h>

namespace zev1::sim {

namespace {
// Unread input beyond this waits in the pipe rather than in memory.
constexpr std::size_t pending_limit = 65536;
} // namespace

stdin_reader::stdin_reader(std::shared_ptr<wake_signal> wake) : state_(std::make_shared<shared>()) {
    state_->wake = std::move(wake);
}

void stdin_reader::start() {
    if (started_) {
        return;
    }
    started_ = true;
    std::thread(&stdin_reader::read_loop, state_).detach();
}

bool stdin_reader::take(std::string& out) {
    const std::lock_guard lock(state_->mutex);
    out += state_->pending;
    state_->pending.clear();
    return !state_->ended;
}

void stdin_reader::read_loop(std::shared_ptr<shared> state) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    std::array<char, 4096> buffer{};
    for (;;) {
        {
            // Back-pressure: wait while the loop has not taken the last chunks.
            std::unique_lock lock(state->mutex);
            while (state->pending.size() >= pending_limit) {
                lock.unlock();
                ::Sleep(10);
                lock.lock();
            }
        }
        DWORD got = 0;
        const bool ok =
            input != nullptr && input != INVALID_HANDLE_VALUE &&
            ::ReadFile(input, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0;
        {
            const std::lock_guard lock(state->mutex);
            if (ok && got > 0) {
                state->pending.append(buffer.data(), got);
            } else {
                state->ended = true;
            }
        }
        state->wake->notify();
        if (!ok || got == 0) {
            return;
        }
    }
}

} // namespace zev1::sim
