// The simulator for the Wine scenarios: the native zev1-sim (a Linux program) behind COM5
// of the Wine prefix, the link $WINEPREFIX/dosdevices/com5 to its pseudo-terminal. Wine
// starts Linux programs from CreateProcess but does not connect their standard streams to
// a Windows pipe, so a small shell script does: the simulator reads its commands from a
// file that tail follows and writes its JSON lines to another. tail stops with this
// process, which ends the simulator's input, and the simulator then quits (--exit-on-eof).
#include "support/wait_until.h"
#include "windows/simulator.h"
#include "windows/test_area.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <windows.h>

namespace zev1::scenario {

namespace {

using namespace std::chrono_literals;

// The Linux path of a Windows path (Wine's own function).
std::string unix_name(const std::filesystem::path& path) {
    using unix_name_fn = char*(CDECL*)(LPCWSTR);
    static const auto convert = reinterpret_cast<unix_name_fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) {
        return {};
    }
    char* name = convert(path.wstring().c_str());
    if (name == nullptr) {
        return {};
    }
    std::string out(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return out;
}

// This process's Linux process id, from Linux's own view of it.
std::string linux_pid() {
    std::ifstream stat("Z:\\proc\\self\\stat");
    std::string pid;
    stat >> pid;
    return pid;
}

// text in single quotes for the shell.
std::string quoted(std::string_view text) {
    std::string out(1, '\'');
    for (const char c : text) {
        if (c == '\'') {
            out.append("'\\''");
        } else {
            out.push_back(c);
        }
    }
    out.push_back('\'');
    return out;
}

// The whole lines of a file that another process is still appending to, read on from
// where the last call stopped: the scenarios poll the simulator's output every few
// milliseconds, and reading it all again each time would cost more with every line.
class appended_lines {
public:
    const std::vector<std::string>& read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(taken_));
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        std::size_t start = 0;
        for (std::size_t end = text.find('\n'); end != std::string::npos;
             end = text.find('\n', start)) {
            lines_.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        taken_ += start; // a line still being written is read whole next time
        return lines_;
    }

private:
    std::vector<std::string> lines_;
    std::size_t taken_ = 0;
};

} // namespace

struct simulator::process {
    std::filesystem::path dir;
    bool ready = false;

    std::filesystem::path commands() const { return dir / "in.txt"; }
    std::filesystem::path output() const { return dir / "out.jsonl"; }
    // The scenario's thread alone reads it (the driver's conditions run there too).
    mutable appended_lines output_lines;
    const std::vector<std::string>& lines() const { return output_lines.read(output()); }
    std::size_t count(std::string_view event) const {
        const auto& all = lines();
        return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](auto& l) {
            return test::json_field(l, "event") == std::string(event);
        }));
    }
    bool wait_for(std::string_view event, std::chrono::milliseconds timeout) const {
        return test::wait_until([&] { return count(event) > 0; }, timeout, 20ms);
    }
};

simulator::simulator(const std::vector<std::string>& options)
    : process_(std::make_unique<process>()) {
    std::mt19937 random(static_cast<unsigned>(::GetTickCount() ^ ::GetCurrentProcessId()));
    process_->dir = std::filesystem::temp_directory_path() /
                    ("zev1-sim-" + std::to_string(random() % 100000000U));
    std::filesystem::create_directories(process_->dir);
    write_file(process_->commands(), "");

    const char* prefix = std::getenv("WINEPREFIX");
    const std::string link = std::string(prefix != nullptr ? prefix : "") + "/dosdevices/com5";
    const std::string dir = unix_name(process_->dir);
    const std::string pid = linux_pid();
    std::ostringstream script;
    script << "rm -f " << quoted(link) << "\n"
           << "tail -n +1 -s 0.05 -f " << (pid.empty() ? "" : "--pid=" + pid + " ")
           << quoted(dir + "/in.txt") << " | " << quoted(ZEV1_NATIVE_SIM) << " --link "
           << quoted(link) << " --baud 0 --exit-on-eof";
    for (const std::string& option : options) {
        script << " " << quoted(option);
    }
    script << " > " << quoted(dir + "/out.jsonl") << " 2> " << quoted(dir + "/err.txt") << "\n";
    write_file(process_->dir / "run.sh", script.str());

    std::wstring command = L"/bin/sh " + std::filesystem::path(dir + "/run.sh").wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &started)) {
        if (started.hProcess != nullptr) {
            ::CloseHandle(started.hProcess);
        }
        if (started.hThread != nullptr) {
            ::CloseHandle(started.hThread);
        }
        process_->ready = process_->wait_for("ready", 20s);
    }
}

simulator::~simulator() {
    command("quit");
    process_->wait_for("exit", 3s);
    std::error_code ec;
    std::filesystem::remove_all(process_->dir, ec);
}

bool simulator::ready() const {
    return process_->ready;
}

std::string simulator::port() const {
    return "COM5";
}

void simulator::command(std::string_view line) {
    std::ofstream out(process_->commands(), std::ios::binary | std::ios::app);
    out << line << '\n';
}

std::vector<std::vector<std::uint8_t>> simulator::received(int type) const {
    std::vector<std::vector<std::uint8_t>> out;
    for (auto& f : test::frames_in(process_->lines(), "rx", type)) {
        out.push_back(std::move(f.bytes));
    }
    return out;
}

std::size_t simulator::events(std::string_view event) const {
    return process_->count(event);
}

std::string simulator::native_path(const std::filesystem::path& path) {
    return unix_name(path);
}

} // namespace zev1::scenario
