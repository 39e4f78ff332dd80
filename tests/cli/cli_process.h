#pragma once
// zev1-wifi as a child process: started with arguments, standard output and standard
// error collected in files of a private folder, waited for with a time limit.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace zev1::test {

struct cli_result {
    int status = -1; // exit status; -1 when it did not end in time or died of a signal
    std::string out;
    std::string err;
};

class cli_process {
public:
    cli_process(const std::filesystem::path& program, const std::filesystem::path& folder,
                const std::vector<std::string>& args)
        : out_path_(folder / "cli.out"), err_path_(folder / "cli.err") {
        std::vector<std::string> all = {program.native()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~cli_process() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    cli_process(const cli_process&) = delete;
    cli_process& operator=(const cli_process&) = delete;

    void signal(int number) {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, number);
        }
    }

    // Waits at most `limit`; the status is -1 when the program did not end in time.
    cli_result wait(std::chrono::milliseconds limit) {
        cli_result r;
        const auto until = std::chrono::steady_clock::now() + limit;
        int raw = 0;
        while (pid_ > 0 && !ended_) {
            const pid_t done = ::wait4(pid_, &raw, WNOHANG, &usage_);
            if (done == pid_) {
                ended_ = true;
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > until) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        r.status = ended_ ? status_ : -1;
        r.out = slurp(out_path_);
        r.err = slurp(err_path_);
        return r;
    }

    // The program's resource use (CPU time, peak memory) once it has ended.
    const struct rusage& usage() const { return usage_; }

private:
    static std::string slurp(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path out_path_;
    std::filesystem::path err_path_;
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = -1;
    struct rusage usage_ {};
};

// Runs zev1-wifi to its end (at most `limit`).
inline cli_result run_cli(const std::filesystem::path& program, const std::filesystem::path& folder,
                          const std::vector<std::string>& args,
                          std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    cli_process p(program, folder, args);
    return p.wait(limit);
}

} // namespace zev1::test
