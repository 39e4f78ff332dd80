#pragma once
// How a port tells the loop that ticks it that something happened on the connection
// (bytes arrived, the connection ended by itself, the browser reported an event), so a
// loop that lets idle ticks pass runs its next tick on time. Called on the thread that
// saw it: the I/O thread on the desktops, the page's one thread in the browser.
namespace zev1 {

class arrival_wake {
public:
    // Must return at once; may be called from any thread, at any rate.
    virtual void arrived() = 0;

protected:
    ~arrival_wake() = default;
};

} // namespace zev1
