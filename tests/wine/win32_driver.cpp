// The scenario driver for the Win32 windows under Wine. The program runs as it ships, on a
// thread of its own with its own message loop; the scenario's thread works it through a
// message-only window on that thread: SendMessage runs a piece of the driver there (so
// every window is touched on its own thread, also while a message box's loop runs), and
// keys go through the program's message loop as posted keyboard messages, so Tab, the
// accelerators and the combo boxes' keys take the program's own path.
#include "app/win32/dpi.h"
#include "app/win32/program.h"
#include "app/win32/win_text.h"
#include "support/wait_until.h"
#include "windows/driver.h"
#include "windows/test_area.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <commctrl.h>
#include <functional>
#include <future>
#include <map>
#include <stdexcept>
#include <thread>
#include <windows.h>

namespace zev1::scenario {
namespace {

using win32::form_window;

constexpr UINT run_message = WM_APP + 40;
constexpr UINT flush_message = WM_APP + 41; // posted after keys: they have all been handled
constexpr int message_text_id = 0xFFFF;     // the text of a message box

LRESULT CALLBACK caller_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == run_message) {
        (*reinterpret_cast<std::function<void()>*>(lparam))();
        return 0;
    }
    if (message == flush_message) {
        reinterpret_cast<std::atomic<WPARAM>*>(lparam)->store(wparam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

HWND make_caller() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = caller_proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ZEV1ScenarioCaller";
        return ::RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    return ::CreateWindowExW(0, L"ZEV1ScenarioCaller", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

HWND edit_of(HWND control) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (::GetComboBoxInfo(control, &info) && info.hwndItem != nullptr) {
        return info.hwndItem;
    }
    return control;
}

// SendMessageW for the messages whose answer is a number.
int send_to(HWND target, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return static_cast<int>(::SendMessageW(target, message, wparam, lparam));
}

void post_key(HWND target, WPARAM key) {
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

std::vector<HWND> open_boxes(DWORD thread) {
    std::vector<HWND> boxes;
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM found) -> BOOL {
            std::array<wchar_t, 16> name{};
            ::GetClassNameW(window, name.data(), static_cast<int>(name.size()));
            if (std::wstring_view(name.data()) == L"#32770" && ::IsWindowVisible(window)) {
                reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

class win32_program final : public program_driver {
public:
    explicit win32_program(const program_setup& setup) {
        std::promise<void> started;
        ui_ = std::thread([this, &setup, &started] {
            win32::program program(setup.settings, [] { return pinned_time(); });
            caller_ = make_caller();
            program_ = &program;
            thread_ = ::GetCurrentThreadId();
            main_ = program.main().hwnd();
            started.set_value();
            program.run();
            program_ = nullptr;
            ::DestroyWindow(caller_);
        });
        started.get_future().wait();
    }

    ~win32_program() override {
        ::PostMessageW(main_, WM_CLOSE, 0, 0);
        ui_.join(); // the program's objects go, and the settings file is written
    }

    std::string text(std::string_view name) override {
        return on_ui([&] {
            const auto [window, row] = find(name);
            return row ? window->text(*row) : win32::utf8(win32::window_text(window->hwnd()));
        });
    }

    void click(std::string_view name) override {
        on_ui([&] { send_to(control(name), BM_CLICK); });
    }

    void click_at(std::string_view name) override {
        // A mouse click as the hardware sends it: it goes to the window under the point
        // or to one that holds the mouse (an open list does).
        const POINT at = on_ui([&] {
            HWND c = control(name);
            RECT r{};
            ::GetWindowRect(c, &r);
            return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        });
        const int width = ::GetSystemMetrics(SM_CXSCREEN);
        const int height = ::GetSystemMetrics(SM_CYSCREEN);
        std::array<INPUT, 3> inputs{};
        for (INPUT& in : inputs) {
            in.type = INPUT_MOUSE;
            in.mi.dx = static_cast<LONG>(at.x * 65535 / std::max(1, width - 1));
            in.mi.dy = static_cast<LONG>(at.y * 65535 / std::max(1, height - 1));
            in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
        }
        inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
        inputs[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
        ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        pause(200);
    }

    void type(std::string_view name, std::string_view text) override {
        // The keys go through the program's message loop, as typed keys do.
        on_ui([&] {
            HWND edit = edit_of(control(name));
            ::SetFocus(edit);
            send_to(edit, EM_SETSEL, 0, -1);
            ::PostMessageW(edit, WM_CHAR, VK_BACK, 1);
            for (const wchar_t ch : win32::wide(text)) {
                ::PostMessageW(edit, WM_CHAR, ch, 1);
            }
        });
        flush();
    }

    void press(std::string_view key) override {
        static const std::map<std::string_view, WPARAM> keys{
            {"Enter", VK_RETURN}, {"Tab", VK_TAB}, {"Space", VK_SPACE}};
        const auto vk = keys.find(key);
        if (vk == keys.end()) {
            throw std::invalid_argument("unknown key");
        }
        on_ui([&] { post_key(::GetFocus(), vk->second); });
        flush();
        pause(50);
    }

    void leave(std::string_view name) override {
        HWND edit = on_ui([&] {
            HWND target = edit_of(control(name));
            ::SetFocus(target);
            post_key(target, VK_TAB);
            return target;
        });
        wait_for([&] { return on_ui([&] { return ::GetFocus() != edit; }); }, 2000);
    }

    void choose(std::string_view name, int index) override {
        on_ui([&] {
            HWND edit = edit_of(control(name));
            ::SetFocus(edit);
            post_key(edit, VK_F4); // opens the list
            for (int i = -1; i < index; ++i) {
                post_key(edit, VK_DOWN);
            }
            post_key(edit, VK_RETURN);
        });
        pause(100);
    }

    void shortcut(std::string_view keys) override {
        const bool ctrl = keys == "Ctrl+T";
        if (!ctrl && keys != "F1") {
            throw std::invalid_argument("unknown shortcut");
        }
        on_ui([&] {
            ::SetFocus(main_);
            set_control_key(ctrl);
            post_key(main_, ctrl ? 'T' : VK_F1);
        });
        pause(100);
        on_ui([&] { set_control_key(false); });
    }

    int suggested(std::string_view name) override {
        return on_ui([&] { return program_->main().suggestion(*find(name).second); });
    }

    std::string active_window() override {
        return on_ui([&] {
            const auto all = windows();
            const auto active = std::find_if(all.begin(), all.end(), [](form_window* window) {
                return window->hwnd() == ::GetActiveWindow();
            });
            return active == all.end() ? std::string() : std::string((*active)->spec().name);
        });
    }

    int font_pixels(std::string_view name) override {
        return on_ui([&] {
            const auto [window, row] = find(name);
            return win32::to_design(window->font_pixels(*row), window->dpi());
        });
    }

    // What Windows names a field by: the static text right before it in the window order,
    // else the name the window set for it (Wine keeps none that could be read back).
    std::string accessible_name(std::string_view name) override {
        return on_ui([&] {
            const auto [window, row] = find(name);
            HWND before = ::GetWindow(window->control(*row), GW_HWNDPREV);
            std::array<wchar_t, 8> kind{};
            if (before != nullptr) {
                ::GetClassNameW(before, kind.data(), static_cast<int>(kind.size()));
            }
            if (::lstrcmpiW(kind.data(), L"STATIC") == 0) {
                std::string text = win32::utf8(win32::window_text(before));
                return text.erase(text.find_last_not_of(' ') + 1);
            }
            return window->accessible_name(*row);
        });
    }

    std::string hint(std::string_view name) override {
        return on_ui([&] {
            const auto [window, row] = find(name);
            std::array<wchar_t, 512> text{};
            TOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.hwnd = window->hwnd();
            tool.uId = reinterpret_cast<UINT_PTR>(window_or_control(name));
            tool.lpszText = text.data();
            send_to(window->hints(), TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
            return win32::utf8(text.data());
        });
    }

    bool checked(std::string_view name) override {
        return on_ui([&] { return send_to(control(name), BM_GETCHECK) == BST_CHECKED; });
    }

    bool visible(std::string_view name) override {
        return on_ui([&] { return ::IsWindowVisible(window_or_control(name)) != FALSE; });
    }

    int value(std::string_view name) override {
        return on_ui([&] {
            const auto [window, row] = find(name);
            const bool bar = window->spec().controls[*row].kind == control_kind::progress_bar;
            return send_to(control(name), bar ? PBM_GETPOS : CB_GETCURSEL);
        });
    }

    std::vector<std::string> items(std::string_view name) override {
        return on_ui([&] {
            HWND c = control(name);
            std::vector<std::string> out(static_cast<std::size_t>(send_to(c, CB_GETCOUNT)));
            for (std::size_t i = 0; i < out.size(); ++i) {
                const auto length = static_cast<std::size_t>(send_to(c, CB_GETLBTEXTLEN, i));
                std::wstring item(length + 1, L'\0');
                send_to(c, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
                out[i] = win32::utf8(std::wstring_view(item).substr(0, length));
            }
            return out;
        });
    }

    int first_visible_line(std::string_view name) override {
        return on_ui([&] { return send_to(control(name), EM_GETFIRSTVISIBLELINE); });
    }
    void scroll_to_line(std::string_view name, int line) override {
        on_ui([&] {
            HWND memo = control(name);
            send_to(memo, EM_LINESCROLL, 0, line - send_to(memo, EM_GETFIRSTVISIBLELINE));
        });
    }

    design_box geometry(std::string_view name) override {
        return on_ui([&] {
            const auto [window, row] = find(name);
            RECT r{};
            ::GetWindowRect(control(name), &r);
            ::MapWindowPoints(HWND_DESKTOP, window->hwnd(), reinterpret_cast<POINT*>(&r), 2);
            const int dpi = window->dpi();
            return design_box{win32::to_design(r.left, dpi), win32::to_design(r.top, dpi),
                              win32::to_design(r.right - r.left, dpi),
                              win32::to_design(r.bottom - r.top, dpi)};
        });
    }

    bool text_fits(std::string_view name) override {
        return on_ui([&] {
            const auto [window, row] = find(name);
            HWND c = control(name);
            const std::wstring caption = win32::window_text(c);
            win32::window_dc dc(c);
            const win32::selected font(
                dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(c, WM_GETFONT, 0, 0)));
            SIZE size{};
            ::GetTextExtentPoint32W(dc.get(), caption.data(), static_cast<int>(caption.size()),
                                    &size);
            RECT client{};
            ::GetClientRect(c, &client);
            const bool button = window->spec().controls[*row].kind == control_kind::button;
            return size.cx <=
                   client.right - (button ? win32::to_device(caption_margin, window->dpi()) : 0);
        });
    }

    std::vector<std::string> tab_order(std::string_view name) override {
        std::vector<std::string> order;
        for (int presses = 0; presses < 64; ++presses) {
            const std::string at = focused(name);
            if (at.empty() || (!order.empty() && (at == order.front() || at == order.back()))) {
                break; // back at the start, stuck, or out of the window
            }
            order.push_back(at);
            HWND before = on_ui([] {
                HWND focus = ::GetFocus();
                post_key(focus, VK_TAB);
                return focus;
            });
            wait_for([&] { return on_ui([&] { return ::GetFocus() != before; }); }, 500);
        }
        return order;
    }

    window_traits traits(std::string_view name) override {
        return on_ui([&] {
            HWND w = find(name).first->hwnd();
            const auto style = static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_STYLE));
            const auto ex = static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_EXSTYLE));
            return window_traits{(ex & WS_EX_TOOLWINDOW) != 0, (ex & WS_EX_TOPMOST) != 0,
                                 (style & WS_SYSMENU) != 0, (style & WS_THICKFRAME) != 0};
        });
    }

    screen_rect outer_geometry(std::string_view name) override {
        return on_ui([&] {
            RECT r{};
            ::GetWindowRect(find(name).first->hwnd(), &r);
            return screen_rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
        });
    }

    design_box client_area(std::string_view name) override {
        return on_ui([&] { return find(name).first->client_design(); });
    }

    bool maximised(std::string_view name) override {
        return on_ui([&] {
            if (name == terminal_form_spec.name) {
                return program_->log_win().maximised();
            }
            return ::IsZoomed(find(name).first->hwnd()) != FALSE;
        });
    }

    void minimise(std::string_view name) override {
        on_ui([&] { ::ShowWindow(find(name).first->hwnd(), SW_MINIMIZE); });
    }
    bool minimised(std::string_view name) override {
        return on_ui([&] { return ::IsIconic(find(name).first->hwnd()) != FALSE; });
    }

    void resize_client(std::string_view name, int width, int height) override {
        on_ui([&] {
            form_window* window = find(name).first;
            HWND w = window->hwnd();
            const int dpi = window->dpi();
            const SIZE outer =
                win32::outer_size(static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_STYLE)),
                                  static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_EXSTYLE)),
                                  win32::to_device(width, dpi), win32::to_device(height, dpi), dpi);
            ::SetWindowPos(w, nullptr, 0, 0, outer.cx, outer.cy,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        });
    }

    std::vector<std::string> boxes() override {
        return on_ui([&] {
            std::vector<std::string> texts;
            for (HWND box : open_boxes(thread_)) {
                texts.push_back(
                    win32::utf8(win32::window_text(::GetDlgItem(box, message_text_id))));
            }
            return texts;
        });
    }

    void close_box() override {
        on_ui([&] {
            const auto open = open_boxes(thread_);
            if (!open.empty()) {
                ::PostMessageW(open.front(), WM_COMMAND, IDOK, 0);
            }
        });
        pause(50);
    }

    long long ticks() override {
        return on_ui([&] { return program_->app().schedule().ticks_passed(); });
    }
    void let_idle_ticks_pass(bool allowed) override {
        on_ui([&] {
            program_->app().schedule().allow_idle(allowed);
            return true;
        });
    }

    // done() runs on the scenario's thread, each of its calls on the program's: the
    // program's thread is not held while a condition reads the simulator's output, so
    // its ticks come when its timer says, as they do without a driver beside it.
    bool wait_for(const std::function<bool()>& done, int timeout_ms) override {
        return test::wait_until(done, std::chrono::milliseconds(timeout_ms),
                                std::chrono::milliseconds(10));
    }

private:
    // Runs job on the program's thread and hands back its result (or its exception).
    template <class Job>
    auto on_ui(Job job) -> decltype(job()) {
        if (::GetCurrentThreadId() == thread_) {
            return job(); // called from a job already
        }
        // Left unrun when the program's thread has ended: the result is a default one.
        using result_type = decltype(job());
        std::packaged_task<result_type()> task(std::move(job));
        std::future<result_type> result = task.get_future();
        std::function<void()> run = [&task] { task(); };
        ::SendMessageW(caller_, run_message, 0, reinterpret_cast<LPARAM>(&run));
        if (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            return result_type();
        }
        return result.get();
    }

    // Waits until the messages posted so far to the program's thread have been handled.
    void flush() {
        const WPARAM ticket = ++flush_tickets_;
        ::PostMessageW(caller_, flush_message, ticket, reinterpret_cast<LPARAM>(&flushed_));
        wait_for([&] { return flushed_.load() == ticket; }, 5000);
    }

    std::array<form_window*, 4> windows() {
        return {&program_->main(), &program_->about(), &program_->log_win(),
                &program_->progress_win()};
    }

    // The window of that name, or the window and the row of the control of that name.
    std::pair<form_window*, std::optional<std::size_t>> find(std::string_view name) {
        for (form_window* window : windows()) {
            if (window->spec().name == name) {
                return {window, std::nullopt};
            }
            if (const auto row = find_control(window->spec().controls, name)) {
                return {window, row};
            }
        }
        throw std::invalid_argument("no control named " + std::string(name));
    }

    HWND control(std::string_view name) {
        const auto [window, row] = find(name);
        if (!row) {
            throw std::invalid_argument(std::string(name) + " is a window");
        }
        return window->control(*row);
    }

    // The control of a window that has the focus (a combo box for its text field).
    std::string focused(std::string_view window_name) {
        return on_ui([&] {
            form_window* window = find(window_name).first;
            HWND focus = ::GetFocus();
            auto row = window->row_of(focus);
            if (!row && focus != nullptr) {
                row = window->row_of(::GetParent(focus));
            }
            return row ? std::string(window->spec().controls[*row].name) : std::string();
        });
    }

    HWND window_or_control(std::string_view name) {
        const auto [window, row] = find(name);
        return row ? window->control(*row) : window->hwnd();
    }

    static void set_control_key(bool down) {
        std::array<BYTE, 256> keys{};
        ::GetKeyboardState(keys.data());
        keys[VK_CONTROL] = down ? 0x80 : 0;
        keys[VK_LCONTROL] = keys[VK_CONTROL];
        ::SetKeyboardState(keys.data());
    }

    std::thread ui_;
    std::atomic<WPARAM> flushed_{0}; // the last flush the program's thread reached
    WPARAM flush_tickets_ = 0;
    HWND caller_ = nullptr;
    HWND main_ = nullptr;
    DWORD thread_ = 0;
    win32::program* program_ = nullptr;
};

} // namespace

std::unique_ptr<program_driver> start_program(const program_setup& setup) {
    return std::make_unique<win32_program>(setup);
}

} // namespace zev1::scenario
