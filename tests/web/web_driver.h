#pragma once
// The window scenarios' driver for the browser configurator: the built page in headless
// Chromium, worked through its DOM by harness.mjs (Node, Playwright), with a stand-in for
// navigator.serial whose far end is the scenario's zev1-sim. Beside the driver's common
// calls it offers what only a browser has: a page without Web Serial, the port chooser,
// what the page asked of the ports, its storage.
#include "windows/driver.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zev1::scenario {

// How the page lists the port of a simulator's link: by the USB ids its stand-in reports
// ("USB 1209:5a01"); every link gets ids of its own.
std::string web_port_name(const std::string& link);

struct web_setup {
    std::filesystem::path settings; // the settings text put into the page's storage
    std::vector<std::string> ports; // web_port_name()s of the ports the browser offers
    bool granted = true;            // the page may use them already (an earlier visit)
    bool web_serial = true;         // false: a browser without navigator.serial
    bool cancel_chooser = false;    // the user cancels the browser's port chooser
    std::string open_error{};       // open() rejects with this DOMException ("NetworkError")
    bool insecure = false;          // the page served over plain http from another name
    int signals_delay_ms = 0;       // setSignals() resolves this late
};

class web_program : public program_driver {
public:
    // The calls the page made on its serial ports, in order (open, setSignals, write, close
    // ...), as the stand-in recorded them.
    virtual nlohmann::json serial_trace() = 0;
    // The page's storage: every key and its text.
    virtual nlohmann::json storage() = 0;
    // Milliseconds from the start of loading the page until its main window was shown.
    virtual int load_ms() const = 0;
    virtual void screenshot(const std::filesystem::path& file) = 0;
    // The screen resized to width x height: the shown controls that reach past its right
    // edge ("page N px wide" when the page scrolls sideways).
    virtual nlohmann::json beyond_right(int width, int height) = 0;
    // Clicks a control that saves a file: the file the browser was handed, {name, text}.
    virtual nlohmann::json download(std::string_view control) = 0;
    // A line error on the open port (BreakError, FramingError, ParityError,
    // BufferOverrunError), the next `lose` bytes garbled away; false when none was open.
    virtual bool line_error(std::string_view name, int lose) = 0;
    // What the accessibility audit (axe-core, WCAG 2.1 A and AA) finds wrong with the page
    // as it is shown: one text a violation, naming the rule and the elements.
    virtual nlohmann::json audit() = 0;
    // The page loaded again: in its tab, or (fresh_tab) in a new one after the old closed.
    virtual void reload(bool fresh_tab) = 0;
    // What the server hands out as the page's files: "" the built page, "offline" nothing
    // (as without network), any other name a copy of the built page made into a build of
    // that name, whose script and style sheet say it (globalThis.zev1Build, --zev1-build).
    virtual void serve(std::string_view files) = 0;
    // What keeps the browser from offering to install the page as an app (empty: it offers).
    virtual nlohmann::json installability_errors() = 0;
    // A JavaScript expression's value in the page (a promise's once settled).
    virtual nlohmann::json evaluate(std::string_view expression) = 0;
    // The open port's next write fails with this error; false when none was open.
    virtual bool write_error(std::string_view name) = 0;
};

std::unique_ptr<web_program> start_web_program(const web_setup& setup);

} // namespace zev1::scenario
