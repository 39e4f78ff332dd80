#include "app/attached_views.h"

#include "app/application.h"

namespace zev1 {

attached_views::attached_views(Tlpc1xxx& app, traffic_log& log, counter_view& counter,
                               progress_view& progress)
    : app_(app) {
    app_.attach_views(&log, &counter, &progress);
}

attached_views::~attached_views() {
    app_.attach_views(nullptr, nullptr, nullptr);
}

} // namespace zev1
