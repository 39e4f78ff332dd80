#pragma once
// zev1-wifi as a child process: started with arguments, standard output and standard
// error collected in files of a private folder, waited for with a time limit.
#include "support/child_process.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
        : out_path_(folder / "cli.out"), err_path_(folder / "cli.err"),
          child_(with_program(program, args),
                 {child_stream::null(), child_stream::to_file(out_path_),
                  child_stream::to_file(err_path_)}) {}

    void signal(int number) { child_.signal(number); }

    // Waits at most `limit`; the status is -1 when the program did not end in time.
    cli_result wait(std::chrono::milliseconds limit) {
        child_.wait(limit);
        return {child_.exit_status().value_or(-1), slurp(out_path_), slurp(err_path_)};
    }

    // The program's resource use (CPU time, peak memory) once it has ended.
    const struct rusage& usage() const { return child_.usage(); }

private:
    static std::vector<std::string> with_program(const std::filesystem::path& program,
                                                 std::vector<std::string> args) {
        args.insert(args.begin(), program.native());
        return args;
    }
    static std::string slurp(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path out_path_;
    std::filesystem::path err_path_;
    child_process child_;
};

// Runs zev1-wifi to its end (at most `limit`).
inline cli_result run_cli(const std::filesystem::path& program, const std::filesystem::path& folder,
                          const std::vector<std::string>& args,
                          std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    cli_process p(program, folder, args);
    return p.wait(limit);
}

} // namespace zev1::test
