#pragma once
// The simulator as a child process for integration tests: started on a pseudo-terminal
// link in a private temporary folder, commanded through its standard input, its JSON
// lines collected from its standard output by a reader thread.
#include "support/sim_lines.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zev1::test {

class sim_process {
public:
    explicit sim_process(const std::vector<std::string>& extra_args) {
        char pattern[] = "/tmp/zev1-integration-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            return;
        }
        dir_ = pattern;
        link_ = (dir_ / "COM5").native();

        int in_pipe[2];
        int out_pipe[2];
        if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<std::string> args = {ZEV1_SIM_PATH, "--link", link_};
        args.insert(args.end(), extra_args.begin(), extra_args.end());
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in_pipe[0]);
        ::close(out_pipe[1]);
        stdin_fd_ = in_pipe[1];
        stdout_fd_ = out_pipe[0];
        if (rc != 0) {
            pid_ = -1;
            return;
        }
        reader_ = std::thread([this] { read_lines(); });
    }

    ~sim_process() {
        if (pid_ > 0) {
            command("quit");
            ::close(stdin_fd_);
            stdin_fd_ = -1;
            bool ended = false;
            for (int i = 0; i < 200 && !ended; ++i) {
                ended = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
                if (!ended) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
            if (!ended) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
            }
        }
        if (reader_.joinable()) {
            reader_.join();
        }
        if (stdin_fd_ >= 0) {
            ::close(stdin_fd_);
        }
        if (stdout_fd_ >= 0) {
            ::close(stdout_fd_);
        }
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    sim_process(const sim_process&) = delete;
    sim_process& operator=(const sim_process&) = delete;

    const std::string& link() const { return link_; }

    // Waits (in real time) for the "ready" line.
    bool wait_ready() {
        for (int i = 0; i < 500; ++i) {
            if (count_lines([](std::string_view l) {
                    return l.find("\"event\":\"ready\"") != l.npos;
                }) > 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void command(std::string_view line) {
        std::string text(line);
        text += '\n';
        if (stdin_fd_ >= 0) {
            [[maybe_unused]] auto n = ::write(stdin_fd_, text.data(), text.size());
        }
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    template <class Pred>
    std::size_t count_lines(Pred pred) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const auto& l : lines_) {
            n += pred(l) ? 1 : 0;
        }
        return n;
    }

    // Frames in one direction, optionally of one type.
    std::vector<sim_frame> frames(std::string_view dir, int type = -1) const {
        return frames_in(lines(), dir, type);
    }

private:
    void read_lines() {
        std::string partial;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(stdout_fd_, buf, sizeof buf);
            if (n <= 0) {
                return;
            }
            partial.append(buf, static_cast<std::size_t>(n));
            std::size_t nl;
            while ((nl = partial.find('\n')) != std::string::npos) {
                std::lock_guard lock(mutex_);
                lines_.push_back(partial.substr(0, nl));
                partial.erase(0, nl + 1);
            }
        }
    }

    std::filesystem::path dir_;
    std::string link_;
    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

} // namespace zev1::test
