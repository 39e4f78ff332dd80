#pragma once
// Attaches the windows' forms to the application object as the views of the link and the
// transfer sequencer for as long as it exists, and detaches them before the windows go.
// A toolkit's set of windows declares it after its windows.
namespace zev1 {

class Tlpc1xxx;
class traffic_log;
class counter_view;
class progress_view;

class attached_views {
public:
    attached_views(Tlpc1xxx& app, traffic_log& log, counter_view& counter, progress_view& progress);
    ~attached_views();
    attached_views(const attached_views&) = delete;
    attached_views& operator=(const attached_views&) = delete;

private:
    Tlpc1xxx& app_;
};

} // namespace zev1
