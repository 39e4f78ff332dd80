#include "port_choice.h"

#include "serial/serial.h"

#include <algorithm>

namespace zev1::cli {

std::vector<std::string> cli_port_namespace::candidates() {
    std::vector<std::string> names;
    if (!first_.empty()) {
        names.push_back(first_);
    }
    for (auto& name : system_->candidates()) {
        if (names.size() >= max_port_candidates) {
            break;
        }
        if (name != first_) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

std::string port_list_text(const std::vector<std::string>& present) {
    if (present.empty()) {
        return "none";
    }
    std::string text;
    for (const auto& name : present) {
        if (!text.empty()) {
            text += ", ";
        }
        text += name;
    }
    return text;
}

port_choice choose_port(const std::optional<std::string>& given, std::string_view remembered,
                        const std::vector<std::string>& present,
                        const std::function<bool(std::string_view)>& is_present,
                        const std::vector<std::string>& denied) {
    const std::string listing = "present ports: " + port_list_text(present);
    const std::string refused = denied.empty() ? "" : "; " + permission_note(denied);
    if (given) {
        if (is_present(*given)) {
            return {*given, outcome::success()};
        }
        if (std::find(denied.begin(), denied.end(), *given) != denied.end()) {
            return {
                {},
                outcome::fail(exit_status::no_port, permission_note({*given}) + "; " + listing)};
        }
        return {
            {},
            outcome::fail(exit_status::no_port,
                          "port " + *given + " is not present or is in use; " + listing + refused)};
    }
    if (!remembered.empty() && is_present(remembered)) {
        return {std::string(remembered), outcome::success()};
    }
    if (present.size() == 1) {
        return {present.front(), outcome::success()};
    }
    std::string why = present.empty() ? "no port is present" : "more than one port is present";
    if (!remembered.empty()) {
        why = "the remembered port " + std::string(remembered) + " is not present and " + why;
    }
    return {{},
            outcome::fail(exit_status::no_port,
                          why + "; choose one with --port NAME; " + listing + refused)};
}

} // namespace zev1::cli
