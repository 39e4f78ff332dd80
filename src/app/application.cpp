#include "app/application.h"

#include <utility>

namespace zev1 {

Tlpc1xxx::Tlpc1xxx(settings_place settings, link_port& port)
    : Tini_file(std::move(settings)), port_(port),
      session_(port, *this, log_relay_, counter_relay_, progress_relay_), schedule_(session_) {
    port_.set_arrival_wake(&schedule_);
}

Tlpc1xxx::~Tlpc1xxx() {
    port_.set_arrival_wake(nullptr);
    // Nothing may reach a window any more.
    attach_views(nullptr, nullptr, nullptr);
}

void Tlpc1xxx::attach_views(traffic_log* log, counter_view* counter, progress_view* progress) {
    log_relay_.attach(log);
    counter_relay_.attach(counter);
    progress_relay_.attach(progress);
}

} // namespace zev1
