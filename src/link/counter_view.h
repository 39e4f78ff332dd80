#pragma once
// The small box of the main window that shows the received-frame counter.
#include <string_view>

namespace zev1 {

class counter_view {
public:
    // The counter's value as decimal text, shown each time a whole frame has arrived.
    virtual void show_counter(std::string_view decimal) = 0;

protected:
    ~counter_view() = default;
};

} // namespace zev1
