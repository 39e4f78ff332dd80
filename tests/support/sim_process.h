#pragma once
// zev1-sim as a child process: started on a pseudo-terminal link in a private temporary
// folder (at 0 baud, unpaced, unless the arguments name a baud), commanded through its
// standard input; its JSON lines and its standard error are read back from the files
// they go to. The program's path is ZEV1_SIM_PATH.
#include "support/child_process.h"
#include "support/sim_lines.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <concepts>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zev1::test {

class sim_process {
public:
    using ms = std::chrono::milliseconds;

    // Starts the simulator with --link <folder>/ports/COM5 and the arguments, and waits
    // for its ready line unless told not to.
    explicit sim_process(std::vector<std::string> args = {}, bool wait_for_ready = true)
        : folder_("zev1-sim-test"), dir_(folder_.path().string()) {
        if (dir_.empty()) {
            return;
        }
        link_ = dir_ + "/ports/COM5";
        std::vector<std::string> argv{ZEV1_SIM_PATH, "--link", link_};
        if (std::find(args.begin(), args.end(), "--baud") == args.end()) {
            argv.insert(argv.end(), {"--baud", "0"});
        }
        argv.insert(argv.end(), args.begin(), args.end());
        child_ = std::make_unique<child_process>(
            std::move(argv), child_streams{child_stream::piped(), child_stream::to_file(out_path()),
                                           child_stream::to_file(dir_ + "/stderr.txt")});
        if (wait_for_ready) {
            wait_ready();
        }
    }
    ~sim_process() {
        if (child_ != nullptr && !child_->ended()) {
            command("quit");
            child_->stop(std::chrono::seconds(2));
        }
    }
    sim_process(const sim_process&) = delete;
    sim_process& operator=(const sim_process&) = delete;

    const std::string& dir() const { return dir_; }
    const std::string& link() const { return link_; }

    // Waits (in real time) for the ready line.
    bool wait_ready(ms timeout = ms(5000)) const {
        return wait_line({"\"event\":\"ready\""}, timeout).has_value();
    }
    void command(std::string_view line) {
        if (child_ != nullptr) {
            child_->write(std::string(line) + "\n");
        }
    }
    // Sends a command and waits until the simulator reports it carried out.
    bool command_done(const std::string& line) {
        const std::size_t from = line_count();
        command(line);
        return wait_line({"\"event\":\"command\",\"line\":\"" + line + "\""}, ms(2000), from)
            .has_value();
    }
    void close_stdin() {
        if (child_ != nullptr) {
            child_->close_stdin();
        }
    }
    void signal(int number) {
        if (child_ != nullptr) {
            child_->signal(number);
        }
    }
    // Waits for the process to end: its exit status (128 + the signal's number when a
    // signal ended it), or -1 after the timeout.
    int wait_exit(ms timeout = ms(3000)) {
        if (child_ == nullptr || !child_->wait(timeout)) {
            return -1;
        }
        return child_->exit_status().value_or(128 + child_->end_signal());
    }

    // Every complete line printed so far.
    std::vector<std::string> lines() const {
        std::ifstream in(out_path());
        std::vector<std::string> out;
        std::string line;
        while (std::getline(in, line) && !in.eof()) { // the last one may still be written
            out.push_back(line);
        }
        return out;
    }
    std::size_t line_count() const { return lines().size(); }
    template <std::predicate<const std::string&> Pred>
    std::size_t count_lines(Pred pred) const {
        const auto all = lines();
        return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), pred));
    }
    // The lines that hold part.
    std::size_t count_lines(std::string_view part) const {
        return count_lines([&](std::string_view l) { return l.find(part) != l.npos; });
    }
    // The first line (from index `from` on) holding every one of the parts, waiting up to
    // timeout for it.
    std::optional<std::string> wait_line(std::vector<std::string> parts, ms timeout = ms(2000),
                                         std::size_t from = 0) const {
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
            std::this_thread::sleep_for(ms(5));
        } while (std::chrono::steady_clock::now() < end);
        return std::nullopt;
    }
    // Frames in one direction ("rx", "tx"), optionally of one type.
    std::vector<sim_frame> frames(std::string_view direction, int type = -1) const {
        return frames_in(lines(), direction, type);
    }
    std::string stderr_text() const {
        std::ifstream in(dir_ + "/stderr.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::string out_path() const { return dir_ + "/stdout.jsonl"; }

    temp_folder folder_; // removed after the child has ended
    std::string dir_;
    std::string link_;
    std::unique_ptr<child_process> child_;
};

} // namespace zev1::test
