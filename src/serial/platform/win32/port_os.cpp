// The serial platform layer on Windows: the communications API with overlapped I/O.
// The three OVERLAPPED records carry the manual-reset "done" slots as their events, so
// the system itself signals slots 1, 3 and 5 when an operation completes, whether it
// completed at once or later.
#include "serial/port_os.h"

#include <array>
#include <atomic>
#include <string>
#include <system_error>
#include <windows.h>

namespace zev1 {
namespace {

// "\\.\COMn": the device namespace path, which also reaches COM10 and above. The path
// must fit 10 characters; a longer name is refused rather than cut to another port.
constexpr std::size_t max_device_path = 10;

bool device_path(std::string_view name, std::string& path) {
    if (name.empty() || name.find('\0') != std::string_view::npos) {
        return false;
    }
    path = "\\\\.\\";
    path.append(name);
    return path.size() <= max_device_path;
}

// The system's text for the error (FormatMessage).
std::string os_reason(DWORD error) {
    return std::error_code(static_cast<int>(error), std::system_category()).message();
}

bool manual_reset(int slot) {
    return slot == ev_read_done || slot == ev_write_done || slot == ev_line_done;
}

bool still_running(DWORD error) {
    // ERROR_IO_PENDING when starting; ERROR_IO_INCOMPLETE when collecting too early.
    return error == ERROR_IO_PENDING || error == ERROR_IO_INCOMPLETE;
}

} // namespace

struct port_os::state {
    std::array<HANDLE, event_slot_count> events{};
    std::atomic<HANDLE> port{INVALID_HANDLE_VALUE};
    // Used by the I/O thread while a connection runs, by open/close otherwise.
    OVERLAPPED read_ov{};
    OVERLAPPED write_ov{};
    OVERLAPPED line_ov{};
    bool read_active = false;
    bool write_active = false;
    bool line_active = false;
    DWORD line_mask = 0;

    // Starts an overlapped operation given its result.
    io_status started(BOOL ok, bool& active) {
        if (ok) {
            active = true; // its completion still comes through the event
            return io_status::done;
        }
        if (still_running(::GetLastError())) {
            active = true;
            return io_status::pending;
        }
        active = false;
        return io_status::failed;
    }

    io_status collect(OVERLAPPED& ov, bool& active, DWORD& count) {
        HANDLE h = port.load();
        if (h == INVALID_HANDLE_VALUE) {
            active = false;
            return io_status::failed;
        }
        if (::GetOverlappedResult(h, &ov, &count, FALSE)) {
            active = false;
            return io_status::done;
        }
        if (still_running(::GetLastError())) {
            return io_status::pending;
        }
        active = false;
        return io_status::failed;
    }
};

port_os::port_os() : s_(std::make_unique<state>()) {
    for (int slot = 0; slot < event_slot_count; ++slot) {
        s_->events[static_cast<std::size_t>(slot)] =
            ::CreateEventA(nullptr, manual_reset(slot) ? TRUE : FALSE, FALSE, nullptr);
    }
}

port_os::~port_os() {
    close();
    for (HANDLE& e : s_->events) {
        if (e != nullptr) {
            ::CloseHandle(e);
            e = nullptr;
        }
    }
}

bool port_os::events_valid() const {
    for (HANDLE e : s_->events) {
        if (e == nullptr) {
            return false;
        }
    }
    return true;
}

void port_os::set_event(int slot) {
    if (slot >= 0 && slot < event_slot_count && s_->events[static_cast<std::size_t>(slot)]) {
        ::SetEvent(s_->events[static_cast<std::size_t>(slot)]);
    }
}

void port_os::reset_event(int slot) {
    if (slot >= 0 && slot < event_slot_count && s_->events[static_cast<std::size_t>(slot)]) {
        ::ResetEvent(s_->events[static_cast<std::size_t>(slot)]);
    }
}

int port_os::wait_any() {
    if (!events_valid()) {
        return -1;
    }
    // With several events signalled the lowest index is reported; automatic-reset
    // events are consumed by the wait itself.
    DWORD r = ::WaitForMultipleObjects(event_slot_count, s_->events.data(), FALSE, INFINITE);
    if (r < WAIT_OBJECT_0 + event_slot_count) {
        return static_cast<int>(r - WAIT_OBJECT_0);
    }
    return -1;
}

open_result port_os::open(std::string_view name, const line_settings& settings) {
    close();
    state& s = *s_;
    open_result result;

    s.read_ov = {};
    s.write_ov = {};
    s.line_ov = {};
    s.read_active = s.write_active = s.line_active = false;
    s.line_mask = 0;

    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = settings.baud;
    dcb.fBinary = 1;
    switch (settings.parity) {
    case 1:
        dcb.Parity = ODDPARITY;
        dcb.fParity = 1;
        break;
    case 2:
        dcb.Parity = EVENPARITY;
        dcb.fParity = 1;
        break;
    default:
        dcb.Parity = NOPARITY;
        dcb.fParity = 0;
        break;
    }
    dcb.ByteSize = static_cast<BYTE>(settings.byte_size);
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.XonLim = 2;
    dcb.XoffLim = 4;
    dcb.XonChar = 0x13;
    dcb.XoffChar = 0x19;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    // No interval or total time-outs: a read completes when its bytes have arrived.
    COMMTIMEOUTS timeouts{};

    std::string path;
    HANDLE h = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (device_path(name, path)) {
        h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
        error = ::GetLastError();
    }
    s.read_ov.hEvent = s.events[ev_read_done];
    s.write_ov.hEvent = s.events[ev_write_done];
    s.line_ov.hEvent = s.events[ev_line_done];
    if (h == INVALID_HANDLE_VALUE) {
        // Access denied here means another program holds the port, not a missing right.
        result.failure = open_failure::no_device;
        result.busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        result.reason = os_reason(error);
        return result;
    }
    const auto failed = [&result](open_failure step) {
        result.failure = step;
        result.reason = os_reason(::GetLastError());
    };
    if (!::SetCommMask(h, settings.line_events ? (EV_RING | EV_RLSD) : 0)) {
        failed(open_failure::line_events);
    }
    if (!::SetCommTimeouts(h, &timeouts)) {
        failed(open_failure::time_outs);
    }
    if (!::SetCommState(h, &dcb)) {
        failed(open_failure::line_settings);
    }
    if (result.failure != open_failure::none) {
        ::CloseHandle(h);
        return result;
    }
    s.port.store(h);
    return result;
}

bool port_os::is_open() const {
    return s_->port.load() != INVALID_HANDLE_VALUE;
}

void port_os::close() {
    state& s = *s_;
    HANDLE h = s.port.exchange(INVALID_HANDLE_VALUE);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    // The system writes into the OVERLAPPED records and buffers until an operation has
    // completed: cancel what is outstanding and wait for it before the handle goes.
    if (s.read_active || s.write_active || s.line_active) {
        ::CancelIoEx(h, nullptr);
        DWORD n = 0;
        for (auto [ov, active] :
             {std::pair{&s.read_ov, &s.read_active}, std::pair{&s.write_ov, &s.write_active},
              std::pair{&s.line_ov, &s.line_active}}) {
            if (*active) {
                ::GetOverlappedResult(h, ov, &n, TRUE);
                *active = false;
            }
        }
    }
    ::CloseHandle(h);
}

void port_os::escape(line_escape what) {
    HANDLE h = s_->port.load();
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD fn = SETDTR;
    switch (what) {
    case line_escape::set_dtr:
        fn = SETDTR;
        break;
    case line_escape::clear_dtr:
        fn = CLRDTR;
        break;
    case line_escape::set_rts:
        fn = SETRTS;
        break;
    case line_escape::clear_rts:
        fn = CLRRTS;
        break;
    }
    (void)::EscapeCommFunction(h, fn);
}

void port_os::purge_input() {
    HANDLE h = s_->port.load();
    if (h != INVALID_HANDLE_VALUE) {
        (void)::PurgeComm(h, PURGE_RXCLEAR);
    }
}

bool open_raises_modem_lines() {
    return false;
}

io_status port_os::start_read(std::span<std::uint8_t> buffer) {
    state& s = *s_;
    HANDLE h = s.port.load();
    if (h == INVALID_HANDLE_VALUE) {
        return io_status::failed;
    }
    return s.started(
        ::ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &s.read_ov),
        s.read_active);
}

io_status port_os::collect_read(std::uint32_t& count) {
    DWORD n = 0;
    io_status st = s_->collect(s_->read_ov, s_->read_active, n);
    count = n;
    return st;
}

io_status port_os::start_write(std::span<const std::uint8_t> block) {
    state& s = *s_;
    HANDLE h = s.port.load();
    if (h == INVALID_HANDLE_VALUE) {
        return io_status::failed;
    }
    return s.started(
        ::WriteFile(h, block.data(), static_cast<DWORD>(block.size()), nullptr, &s.write_ov),
        s.write_active);
}

io_status port_os::collect_write() {
    DWORD n = 0;
    return s_->collect(s_->write_ov, s_->write_active, n);
}

io_status port_os::start_line_wait() {
    state& s = *s_;
    HANDLE h = s.port.load();
    if (h == INVALID_HANDLE_VALUE) {
        return io_status::failed;
    }
    return s.started(::WaitCommEvent(h, &s.line_mask, &s.line_ov), s.line_active);
}

io_status port_os::collect_line_wait() {
    DWORD n = 0;
    return s_->collect(s_->line_ov, s_->line_active, n);
}

std::uint32_t port_os::line_mask() const {
    return s_->line_mask;
}

std::uint32_t port_os::modem_status() {
    DWORD status = 0;
    HANDLE h = s_->port.load();
    if (h == INVALID_HANDLE_VALUE || !::GetCommModemStatus(h, &status)) {
        return 0;
    }
    return status & (MS_RING_ON | MS_RLSD_ON);
}

probe_result probe_port(std::string_view name) {
    std::string path;
    if (!device_path(name, path)) {
        return probe_result::absent;
    }
    HANDLE h = ::CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return probe_result::absent;
    }
    ::CloseHandle(h);
    return probe_result::present;
}

} // namespace zev1
