#include "serial/port_list_state.h"

namespace zev1 {

void port_list_state::fill(port_list_view& view, std::span<const std::string> names, int chosen) {
    if (refill_pending_) {
        view.clear_items();
        for (const std::string& name : names) {
            if (!name.empty()) {
                view.append_item(name);
            }
        }
        refill_pending_ = false;
        selection_pending_ = selection_pending_ || rule_ == after_refill::show_choice;
    }
    if (selection_pending_) {
        view.set_item_index(chosen);
        selection_pending_ = false;
    }
}

void port_list_state::note_port(std::string_view name, std::string_view description) {
    std::string line = "port " + std::string(name);
    if (!description.empty()) {
        line += ": " + std::string(description);
    }
    if (ports_said_.insert(line).second) {
        notes_.push_back(std::move(line));
    }
}

std::vector<std::string> port_list_state::take_notes() {
    std::vector<std::string> lines = std::move(notes_);
    notes_.clear();
    return lines;
}

} // namespace zev1
