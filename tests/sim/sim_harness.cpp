#include "sim_harness.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zev1::simtest {

bytes make_frame(std::uint8_t type, const frame_header& header, const bytes& data) {
    bytes out(data.size() + frame_overhead);
    out.resize(build_frame(out, type, header, data));
    return out;
}

bytes block_header(std::uint32_t length, std::uint32_t address, std::uint32_t status) {
    bytes out;
    for (std::uint32_t v : {length, address, status}) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}

bytes text_bytes(std::string_view text, bool zero) {
    bytes out(text.begin(), text.end());
    if (zero) {
        out.push_back(0);
    }
    return out;
}

bytes concat(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string hex(const bytes& b) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t x : b) {
        out += digits[x >> 4];
        out += digits[x & 15];
    }
    return out;
}

sim_process::sim_process(std::vector<std::string> args, bool wait_ready) {
    std::string templ = (std::filesystem::temp_directory_path() / "zev1-sim-test-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) {
        return;
    }
    dir_ = templ;
    link_ = dir_ + "/ports/COM5";
    std::vector<std::string> argv_text{ZEV1_SIM_PATH, "--link", link_};
    if (std::find(args.begin(), args.end(), "--baud") == args.end()) {
        argv_text.insert(argv_text.end(), {"--baud", "0"});
    }
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::string out = dir_ + "/stdout.jsonl";
    const std::string err = dir_ + "/stderr.txt";

    int in_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in_pipe[0], 0);
        ::dup2(out_fd, 1);
        ::dup2(err_fd, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    stdin_fd_ = in_pipe[1];
    if (wait_ready) {
        wait_line({"\"event\":\"ready\""}, 5000ms);
    }
}

sim_process::~sim_process() {
    if (pid_ > 0 && wait_exit(0ms) == -1) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    close_stdin();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

void sim_process::command(std::string_view line) {
    const std::string text = std::string(line) + "\n";
    [[maybe_unused]] const ssize_t n = ::write(stdin_fd_, text.data(), text.size());
}

void sim_process::close_stdin() {
    if (stdin_fd_ >= 0) {
        ::close(stdin_fd_);
        stdin_fd_ = -1;
    }
}

std::vector<std::string> sim_process::lines() const {
    std::ifstream in(dir_ + "/stdout.jsonl");
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) {
            break; // a line still being written
        }
        out.push_back(line);
    }
    return out;
}

std::optional<std::string> sim_process::wait_line(std::vector<std::string> parts, ms timeout,
                                                  std::size_t from) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        const auto all = lines();
        for (std::size_t i = from; i < all.size(); ++i) {
            if (std::all_of(parts.begin(), parts.end(), [&](const std::string& p) {
                    return all[i].find(p) != std::string::npos;
                })) {
                return all[i];
            }
        }
        std::this_thread::sleep_for(5ms);
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
}

int sim_process::wait_exit(ms timeout) {
    if (pid_ <= 0) {
        return -1;
    }
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(5ms);
    } while (std::chrono::steady_clock::now() < end);
    return -1;
}

void sim_process::signal(int sig) {
    if (pid_ > 0) {
        ::kill(pid_, sig);
    }
}

std::string sim_process::stderr_text() const {
    std::ifstream in(dir_ + "/stderr.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

client::client(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    ::tcsetattr(fd_, TCSANOW, &tio);
}

client::~client() {
    close();
}

void client::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void client::send(const bytes& b) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < b.size()) {
        const ssize_t n = ::write(fd_, b.data() + done, b.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

bytes client::read(std::size_t n, ms timeout) {
    bytes out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0 && out.size() < n) {
        const auto left = std::chrono::duration_cast<ms>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        std::uint8_t buffer[512];
        const ssize_t got = ::read(fd_, buffer, std::min(sizeof buffer, n - out.size()));
        if (got > 0) {
            out.insert(out.end(), buffer, buffer + got);
        } else if (got == 0 || errno != EAGAIN) {
            break; // hung up
        }
    }
    return out;
}

bool client::sees_hangup(ms timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0 && std::chrono::steady_clock::now() < end) {
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, 10);
        std::uint8_t buffer[256];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EAGAIN)) {
            return true;
        }
    }
    return false;
}

} // namespace zev1::simtest
