#pragma once
// The program's message boxes (the main window's notices, the transfer's error box), the
// same under every toolkit: a box asked for is queued and opens from the toolkit's main
// loop once no tick runs and no other box is open, so
//  - a box whose toolkit runs a loop of its own until OK (a modal box) never runs that
//    loop inside the link's poll step, which refuses to nest: the ticks inside its loop
//    are whole ticks, and keep-alives go on while it is up;
//  - one box is open at a time; boxes asked for meanwhile open one after the other once
//    it is closed, and a box asked for while one of its kind still waits replaces that
//    one's text (the latest notice is the one that matters).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace zev1 {

enum class box_kind : std::uint8_t { notice, error };

// What a toolkit does for the queue.
class box_opener {
public:
    // Opens a box with one OK button, titled application_title. When OK (or the close box)
    // ends it, the toolkit calls message_boxes::closed(): inside this call for a box that
    // runs its own loop, later for one that does not.
    virtual void open_box(box_kind kind, std::string_view text) = 0;
    // Asks for message_boxes::open_waiting() soon, from the toolkit's main loop (posted,
    // never from inside this call).
    virtual void wake() = 0;

protected:
    ~box_opener() = default;
};

class message_boxes {
public:
    explicit message_boxes(box_opener& opener) : opener_(opener) {}
    message_boxes(const message_boxes&) = delete;
    message_boxes& operator=(const message_boxes&) = delete;

    // Queues a box; returns at once.
    void show(box_kind kind, std::string text);
    // Around each tick: a box asked for inside opens after it.
    void enter_tick() { ++ticks_; }
    void leave_tick();
    // Opens what waits, unless a tick runs or a box is open (the toolkit calls it when
    // woken).
    void open_waiting();
    // The open box was closed.
    void closed();

    bool open() const { return open_; }
    std::size_t waiting() const { return waiting_.size(); }

private:
    struct request {
        box_kind kind;
        std::string text;
    };

    box_opener& opener_;
    std::deque<request> waiting_;
    bool open_ = false;
    int ticks_ = 0;
};

} // namespace zev1
