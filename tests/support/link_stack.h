#pragma once
// The program's stack above a test's port, wired as the program wires it: the settings
// file that remembers the port (the running test's own, gone before and after it), the
// link with recording views and, on request, the transfer sequencer. A fixture inherits
// it, builds it over its port in SetUp and takes it down in TearDown, before the port.
#include "link/komunikace.h"
#include "memory/flash.h"
#include "support/recording_views.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>

namespace zev1 {

class link_stack {
protected:
    ~link_stack() { take_down_stack(); }

    // remembered: the port the settings name (empty: none); ini: where they live (empty:
    // the test's temporary folder, named after the running test, so that tests in
    // processes of their own never share one).
    void build_stack(link_port& port, std::string_view remembered, bool with_flash,
                     std::filesystem::path ini = {}) {
        ini_path = ini.empty() ? test_file("INI") : std::move(ini);
        std::filesystem::remove(ini_path);
        settings.emplace(ini_path);
        if (!remembered.empty()) {
            settings->WriteString("com", "com", std::string(remembered));
        }
        link.emplace(port, *settings, log, counter);
        if (with_flash) {
            flash.emplace(*link, port, progress, log);
            link->set_transfer(&*flash);
        }
    }
    void take_down_stack() {
        flash.reset();
        link.reset();
        settings.reset();
        if (!ini_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove(ini_path, ignored);
        }
    }

    // One poll of the link as the main window makes it: a frame waiting is released.
    void poll() {
        if (link->poll_link()) {
            link->release_frame();
        }
    }

    std::filesystem::path ini_path;
    std::optional<Tini_file> settings;
    recording_log log;
    recording_counter counter;
    recording_progress progress;
    std::optional<komunikace> link;
    std::optional<Tflash> flash;

private:
    static std::filesystem::path test_file(std::string_view extension) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return std::filesystem::path(::testing::TempDir()) / (name + "." + std::string(extension));
    }
};

} // namespace zev1
