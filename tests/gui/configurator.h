#pragma once
// The whole configurator as the program builds it (serial port, application object,
// windows), but with its settings file and its port folders inside a temporary folder:
// the port list holds only what the test puts into <dir>/ports.
#include "app/app_windows.h"
#include "app/application.h"
#include "serial/platform/posix/port_names.h"
#include "serial/serial.h"

#include <QComboBox>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zev1::gui_test {

// A folder for one test: settings file, an empty dev folder and a ports folder.
class test_area {
public:
    test_area() {
        QDir(dir_.path()).mkpath(QStringLiteral("ports"));
        QDir(dir_.path()).mkpath(QStringLiteral("dev"));
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    std::filesystem::path fs(const QString& name) const {
        return std::filesystem::path(path(name).toStdString());
    }
    QString settings() const { return path(QStringLiteral("zev1-wifi-config.INI")); }
    QString link() const { return path(QStringLiteral("ports/ZEV1-SIM")); }
    void write_settings(const QByteArray& content) const {
        QFile f(settings());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray read_settings() const {
        QFile f(settings());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
};

// A pinned clock: 7 Dec 2026 23:54:24 local time.
inline std::time_t pinned_time() {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 7;
    tm.tm_hour = 23;
    tm.tm_min = 54;
    tm.tm_sec = 24;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// The test's own ports: every entry of <area>/ports, named by its absolute path (which
// the port layer opens as it is). No other port of the machine is listed or probed, so
// tests running side by side never touch each other's simulators.
class test_ports final : public port_namespace {
public:
    explicit test_ports(const test_area& area) : dir_(area.path(QStringLiteral("ports"))) {}
    std::vector<std::string> candidates() override {
        std::vector<std::string> names;
        const QDir dir(dir_);
        for (const QString& entry : dir.entryList(QDir::System | QDir::Files, QDir::Name)) {
            names.push_back(dir.filePath(entry).toStdString());
        }
        return names;
    }
    probe_result probe(std::string_view name) override {
        return posix::probe_path(std::string(name));
    }

private:
    QString dir_;
};

class configurator {
public:
    explicit configurator(const test_area& area)
        : names_(area), port_(names_), app_(area.fs(QStringLiteral("zev1-wifi-config.INI")), port_),
          windows_(std::make_unique<app_windows>(app_, [] { return pinned_time(); })) {}
    ~configurator() { windows_.reset(); }

    app_windows& windows() { return *windows_; }
    TSDIAppForm& main() { return windows_->main; }
    Tlpc1xxx& app() { return app_; }

    template <class T>
    T* find(const char* name) {
        for (QWidget* top :
             {static_cast<QWidget*>(&windows_->main), static_cast<QWidget*>(&windows_->log_win),
              static_cast<QWidget*>(&windows_->progress_win),
              static_cast<QWidget*>(&windows_->about)}) {
            if (top->objectName() == QLatin1String(name)) {
                if (auto* self = qobject_cast<T*>(top)) {
                    return self;
                }
            }
            if (auto* child = top->findChild<T*>(QLatin1String(name))) {
                return child;
            }
        }
        return nullptr;
    }

private:
    test_ports names_;
    serial port_;
    Tlpc1xxx app_;
    std::unique_ptr<app_windows> windows_;
};

} // namespace zev1::gui_test
