#pragma once
// What the port box and the text view are told about the port list, the same for every
// port object: the box is filled again only after a scan (or a change of the list), the
// chosen entry is shown only after it changed, and each line about a port is said once.
// The port object keeps the names themselves and which one is chosen.
#include "serial/port_list_view.h"

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class port_list_state {
public:
    // Whether a refill shows the chosen entry again. A port chosen by its slot keeps its
    // place and the box shows it once after the choice; a port chosen by name may stand
    // elsewhere after a refill.
    enum class after_refill : std::uint8_t { keep_choice, show_choice };

    explicit port_list_state(after_refill rule) : rule_(rule) {}

    // A scan has run: the list counts as built and the next fill shows it.
    void scanned() {
        built_ = true;
        refill_pending_ = true;
    }
    // The list changed by itself; shown only once it has been built.
    void changed() { refill_pending_ = refill_pending_ || built_; }
    // Another entry was chosen: the next fill shows it.
    void chosen() { selection_pending_ = true; }
    bool built() const { return built_; }
    // Something waits for the next fill.
    bool fill_due() const { return refill_pending_ || selection_pending_; }
    // Shows what waits: the names (empty ones are free slots, not listed), then the
    // entry at chosen (-1: none).
    void fill(port_list_view& view, std::span<const std::string> names, int chosen);

    // "port NAME: DESCRIPTION" (without ": ..." when there is no description), the first
    // time the list finds the port so.
    void note_port(std::string_view name, std::string_view description);
    void note(std::string line) { notes_.push_back(std::move(line)); }
    std::vector<std::string> take_notes();

private:
    after_refill rule_;
    bool built_ = false;
    bool refill_pending_ = false;
    bool selection_pending_ = false;
    std::vector<std::string> notes_;
    std::set<std::string, std::less<>> ports_said_;
};

} // namespace zev1
