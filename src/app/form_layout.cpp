#include "app/form_layout.h"

#include <algorithm>

namespace zev1 {

std::vector<std::size_t> tab_sequence(std::span<const control_spec> controls) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].tab >= 0) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return controls[a].tab < controls[b].tab;
    });
    return order;
}

font_spec font_of(font_role role, const form_spec& form) {
    switch (role) {
    case font_role::window:
        break;
    case font_role::small_ui:
        return {"MS Sans Serif", 11};
    case font_role::large:
        return {"Tahoma", 27};
    case font_role::medium:
        return {"Tahoma", 19};
    case font_role::monospace:
        return {"Courier New", 11, false, true};
    case font_role::heading: {
        font_spec f = form.font;
        f.pixels = (f.pixels > 0 ? f.pixels : 13) + 5;
        f.bold = true;
        return f;
    }
    }
    return form.font;
}

int fitting_caption_pixels(int room, int pixels, int smallest,
                           const std::function<int(int pixels)>& width_at) {
    while (pixels > smallest && width_at(pixels) > room) {
        --pixels;
    }
    return pixels;
}

std::optional<std::size_t> find_control(std::span<const control_spec> controls,
                                        std::string_view name) {
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> label_of(const form_spec& form, std::size_t control) {
    for (const label_link& link : form.labels) {
        if (link.control == control) {
            return link.label;
        }
    }
    return std::nullopt;
}

} // namespace zev1
