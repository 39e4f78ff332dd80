#pragma once
// A deadline of a test's own: a call that blocks (an open waiting for a lock another
// program holds, a read that never returns) ends the test program at once with a line
// that names the test, instead of hanging until CTest's limit.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>

namespace zev1::test {

class deadline {
public:
    explicit deadline(std::chrono::seconds limit) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info != nullptr
                               ? std::string(info->test_suite_name()) + "." + info->name()
                               : std::string("test");
        watcher_ = std::thread([this, limit, name = std::move(name)] {
            std::unique_lock lock(mutex_);
            if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
                std::fprintf(stderr, "%s: still blocked after %lld s, failed\n", name.c_str(),
                             static_cast<long long>(limit.count()));
                std::fflush(stderr);
                std::_Exit(1);
            }
        });
    }
    ~deadline() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_one();
        watcher_.join();
    }
    deadline(const deadline&) = delete;
    deadline& operator=(const deadline&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread watcher_;
};

} // namespace zev1::test
