#pragma once
// A program run as a child process for the tests and benchmarks: its standard streams
// each inherited, a pipe, /dev/null or a file, waited for with a time limit, killed when
// it outlives its owner.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace zev1::test {

// Where one standard stream of the child goes.
struct child_stream {
    enum class kind : std::uint8_t { inherit, pipe, null, file };
    kind how = kind::inherit;
    std::string path; // the file (written afresh)

    static child_stream piped() { return {kind::pipe, {}}; }
    static child_stream null() { return {kind::null, {}}; }
    static child_stream to_file(std::string path) { return {kind::file, std::move(path)}; }
};

struct child_streams {
    child_stream in;
    child_stream out;
    child_stream err;
};

class child_process {
public:
    // argv[0] is the program's path, or its name looked up in PATH when search_path.
    child_process(std::vector<std::string> argv, const child_streams& streams,
                  bool search_path = false) {
        std::vector<char*> args;
        for (std::string& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int ours[3] = {-1, -1, -1};
        int theirs[3] = {-1, -1, -1};
        const child_stream* each[3] = {&streams.in, &streams.out, &streams.err};
        for (int fd = 0; fd < 3; ++fd) {
            const child_stream& s = *each[fd];
            const int write_flags = O_WRONLY | O_CREAT | O_TRUNC;
            switch (s.how) {
            case child_stream::kind::inherit:
                break;
            case child_stream::kind::pipe: {
                int p[2];
                if (::pipe2(p, O_CLOEXEC) == 0) {
                    ours[fd] = fd == 0 ? p[1] : p[0];
                    theirs[fd] = fd == 0 ? p[0] : p[1];
                    posix_spawn_file_actions_adddup2(&actions, theirs[fd], fd);
                }
                break;
            }
            case child_stream::kind::null:
                posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                                 fd == 0 ? O_RDONLY : O_WRONLY, 0);
                break;
            case child_stream::kind::file:
                posix_spawn_file_actions_addopen(&actions, fd, s.path.c_str(),
                                                 fd == 0 ? O_RDONLY : write_flags, 0644);
                break;
            }
        }
        const int rc = search_path
                           ? posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ)
                           : posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        for (int fd = 0; fd < 3; ++fd) {
            if (theirs[fd] >= 0) {
                ::close(theirs[fd]);
            }
        }
        in_ = ours[0];
        out_ = ours[1];
        err_ = ours[2];
        if (rc != 0) {
            pid_ = -1;
        }
    }
    ~child_process() {
        stop(std::chrono::milliseconds(0));
        for (int fd : {out_, err_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    bool started() const { return pid_ > 0; }
    // The ends of the pipes here (-1 for a stream that is no pipe).
    int in_fd() const { return in_; }
    int out_fd() const { return out_; }

    // Writes all of text to the child's standard input; false when it cannot.
    bool write(std::string_view text) {
        while (!text.empty() && in_ >= 0) {
            const ssize_t n = ::write(in_, text.data(), text.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return text.empty();
    }
    void close_stdin() {
        if (in_ >= 0) {
            ::close(in_);
            in_ = -1;
        }
    }
    void signal(int number) {
        if (started() && !ended_) {
            ::kill(pid_, number);
        }
    }

    // Waits at most `limit` for the child's end; false while it still runs.
    bool wait(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (started() && !ended_) {
            int raw = 0;
            if (::wait4(pid_, &raw, WNOHANG, &usage_) == pid_) {
                ended_ = true;
                raw_status_ = raw;
                break;
            }
            if (std::chrono::steady_clock::now() >= until) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return ended_;
    }
    bool ended() const { return ended_; }
    // Once ended: the exit status, or nothing when a signal ended it.
    std::optional<int> exit_status() const {
        if (!ended_ || !WIFEXITED(raw_status_)) {
            return std::nullopt;
        }
        return WEXITSTATUS(raw_status_);
    }
    // Once ended: the signal that ended it, or 0.
    int end_signal() const {
        return ended_ && WIFSIGNALED(raw_status_) ? WTERMSIG(raw_status_) : 0;
    }
    // Once ended: its CPU time and peak memory.
    const struct rusage& usage() const { return usage_; }

    // Closes its standard input, gives it `grace` to end, then kills it.
    void stop(std::chrono::milliseconds grace) {
        close_stdin();
        if (started() && !wait(grace)) {
            ::kill(pid_, SIGKILL);
            int raw = 0;
            if (::wait4(pid_, &raw, 0, &usage_) == pid_) {
                ended_ = true;
                raw_status_ = raw;
            }
        }
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool ended_ = false;
    int raw_status_ = 0;
    struct rusage usage_ {};
};

} // namespace zev1::test
