#pragma once
// The program's message boxes (the main window's notices, the transfer's error box). A
// message box runs a message loop of its own until OK is pressed, and the main window's
// timer ticks run inside it. Opened from inside a tick, that loop would run within the
// link's poll step, which refuses to nest, and the link would stand still behind the box.
// So a box is only queued where it is asked for and opens from the program's own message
// loop once no tick is running: then the ticks inside its loop are whole ticks, and the
// keep-alives go on while it is up. While a box is open, a further box of the same kind
// replaces the one waiting, so there is one box at a time.
#include <deque>
#include <string>
#include <windows.h>

namespace zev1::win32 {

// Posted to the owner window when a box is waiting.
inline constexpr UINT box_waiting_message = WM_APP + 1;

class message_boxes {
public:
    enum class kind { notice, error };

    // The window that owns the boxes (disabled while one is up) and gets the posts.
    void set_owner(HWND owner) { owner_ = owner; }

    // Queues a box; returns at once.
    void show(std::wstring text, kind k);
    // Opens what is waiting (called on box_waiting_message).
    void show_waiting();

    // Around each tick: a box asked for inside opens after it.
    void enter_tick() { ++ticks_; }
    void leave_tick();

    bool open() const { return open_; }

private:
    struct waiting {
        std::wstring text;
        kind what;
    };

    HWND owner_ = nullptr;
    std::deque<waiting> waiting_;
    bool open_ = false;
    int ticks_ = 0;
};

} // namespace zev1::win32
