#pragma once
// The port selector as the port list sees it (the main window's combo box).
#include <string_view>

namespace zev1 {

class port_list_view {
public:
    virtual void clear_items() = 0;
    virtual void append_item(std::string_view name) = 0;
    // Selects an item by index; not a user choice (raises no change event).
    virtual void set_item_index(int index) = 0;

protected:
    ~port_list_view() = default;
};

} // namespace zev1
