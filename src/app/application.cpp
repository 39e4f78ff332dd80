#include "app/application.h"

#include <utility>

namespace zev1 {

Tlpc1xxx::Tlpc1xxx(settings_place settings, link_port& port)
    : Tini_file(std::move(settings)), link_(port, *this, log_relay_, counter_relay_),
      flash_(std::make_unique<Tflash>(link_, port, progress_relay_, log_relay_)), wifi_(*flash_) {
    link_.set_transfer(flash_.get());
}

Tlpc1xxx::~Tlpc1xxx() {
    // Nothing may reach a window any more.
    link_.set_transfer(nullptr);
    attach_views(nullptr, nullptr, nullptr);
}

void Tlpc1xxx::attach_views(traffic_log* log, counter_view* counter, progress_view* progress) {
    log_relay_.attach(log);
    counter_relay_.attach(counter);
    progress_relay_.attach(progress);
}

bool Tlpc1xxx::last_read_complete() const {
    // A read that ran to its end has requested and received every block of every range:
    // the range in progress is finished and no range is left. Cancel and the abort after
    // the fifth time-out both stop short of the end.
    return !flash_->is_busy() && flash_->current() == flash_->end() && !flash_->ranges().any();
}

} // namespace zev1
