// The terminal window on its own: options from the settings file, packet and text
// lines, log files, the memo layout.
#include "app/terminal_window.h"
#include "configurator.h"
#include "link/frame.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>

using namespace zev1;
using namespace zev1::gui_test;

class terminal_window_test : public QObject {
    Q_OBJECT
private slots:
    void defaults_without_settings();
    void settings_restore_options_and_geometry();
    void packet_lines_follow_the_options();
    void text_lines_go_to_the_view_and_the_started_log();
    void log_file_that_cannot_open_is_reported();
    void memos_fill_the_window_after_a_resize();
};

namespace {

struct terminal {
    explicit terminal(const QByteArray& settings_text = {}) {
        area.write_settings(settings_text);
        settings = std::make_unique<Tini_file>(area.fs(QStringLiteral("zev1-wifi-config.INI")));
        window = std::make_unique<Tlog_win>(*settings, [] { return pinned_time(); });
    }
    QCheckBox* box(const char* name) { return window->findChild<QCheckBox*>(QLatin1String(name)); }
    QPlainTextEdit* memo(const char* name) {
        return window->findChild<QPlainTextEdit*>(QLatin1String(name));
    }
    QStringList lines(const char* name) {
        const QString text = memo(name)->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    test_area area;
    std::unique_ptr<Tini_file> settings;
    std::unique_ptr<Tlog_win> window;
};

std::vector<std::uint8_t> frame_of(std::uint8_t type, std::vector<std::uint8_t> data = {}) {
    std::array<std::uint8_t, frame_buffer_size> out{};
    const std::size_t n = build_frame(out, type, frame_header{}, data);
    return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)};
}

// Runs the body with the process's current directory set to dir.
template <class Body>
void in_directory(const QString& dir, Body body) {
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir));
    body();
    QDir::setCurrent(saved);
}

} // namespace

void terminal_window_test::defaults_without_settings() {
    terminal t;
    QCOMPARE(t.window->windowTitle(), QStringLiteral("Terminal"));
    QVERIFY(!t.window->isVisible());
    QVERIFY(!t.window->isMaximized());
    QCOMPARE(t.window->size(), QSize(702, 659));
    QCOMPARE(t.window->pos(), QPoint(0, 0));
    QVERIFY(t.box("psat_txt")->isChecked());
    QVERIFY(!t.box("psat_hex")->isChecked());
    QVERIFY(!t.box("psat_hlavicky")->isChecked());
    QVERIFY(t.box("jen_prijem")->isChecked());
    QVERIFY(!t.box("StandardOFF")->isChecked());
    QCOMPARE(t.box("psat_txt")->text(), QStringLiteral("Txt"));
    QCOMPARE(t.box("psat_hex")->text(), QStringLiteral("Hex"));
    QCOMPARE(t.box("psat_hlavicky")->text(), QStringLiteral("Headers"));
    QCOMPARE(t.box("jen_prijem")->text(), QStringLiteral("Receive-only"));
    QCOMPARE(t.box("StandardOFF")->text(), QStringLiteral("Standard OFF"));
    QCOMPARE(t.window->findChild<QPushButton*>(QStringLiteral("NewLog"))->text(),
             QStringLiteral("START Log"));
    QVERIFY(t.memo("log")->isReadOnly());
    QVERIFY(QFontInfo(t.memo("log")->font()).fixedPitch());
}

void terminal_window_test::settings_restore_options_and_geometry() {
    {
        terminal t("[log_win]\nInitMax=1\npsat_hex=2\npsat_txt=0\njen_prijem=abc\n"
                   "Top=20\nLeft=30\nWidth=500\nHeight=400\n");
        QVERIFY(t.window->windowState().testFlag(Qt::WindowMaximized));
        QVERIFY(t.box("psat_hex")->isChecked());   // 2 counts as ticked
        QVERIFY(!t.box("psat_txt")->isChecked());  // 0 unticks
        QVERIFY(t.box("jen_prijem")->isChecked()); // abc: the default, ticked
        QCOMPARE(t.window->pos(), QPoint(30, 20));
        QCOMPARE(t.window->size(), QSize(500, 400));
    }
    terminal t("[log_win]\npsat_hex=abc\nInitMax=0\n");
    QVERIFY(!t.box("psat_hex")->isChecked());
    QVERIFY(!t.window->windowState().testFlag(Qt::WindowMaximized));
}

void terminal_window_test::packet_lines_follow_the_options() {
    terminal t;
    const auto ping = frame_of(P_PING);
    t.window->add_packet_line(ping, true, packet_log_name(P_PING), "");
    t.window->add_packet_line(ping, false, packet_log_name(P_PING), ""); // receive-only
    QCOMPARE(t.lines("log"), QStringList{QStringLiteral("-->     <P_PING> ")});

    t.box("psat_hex")->setChecked(true);
    t.box("jen_prijem")->setChecked(false);
    const auto echo = frame_of(P_ECHO, {0x0A, 0xFF});
    t.window->add_packet_line(echo, false, packet_log_name(P_ECHO), "");
    QCOMPARE(t.lines("log").last(), QStringLiteral("<-- 0A FF     <P_ECHO> "));

    t.box("StandardOFF")->setChecked(true);
    t.window->add_packet_line(ping, true, packet_log_name(P_PING), "");
    QCOMPARE(t.lines("log").size(), 2);

    t.box("psat_hex")->setChecked(false);
    const std::string hello = "Hello";
    const auto text = frame_of(p_text, {hello.begin(), hello.end()});
    t.window->add_packet_line(text, true, packet_log_name(p_text), " Hello");
    QCOMPARE(t.lines("log").last(), QStringLiteral("-->     <p_text>  Hello"));
}

void terminal_window_test::text_lines_go_to_the_view_and_the_started_log() {
    terminal t;
    QTemporaryDir cwd;
    auto* button = t.window->findChild<QPushButton*>(QStringLiteral("NewLog"));
    t.window->log_text("before any log");
    in_directory(cwd.path(), [&] {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QStringLiteral("New Log"));
        t.window->log_text("Hello");
        QTest::mouseClick(button, Qt::LeftButton); // same second: same file, appended
        t.window->log_text("W\xC3\xA4rme");
    });
    QCOMPARE(t.lines("txt"), (QStringList{QStringLiteral("07.12.2026 23:54:24     before any log"),
                                          QStringLiteral("07.12.2026 23:54:24     Hello"),
                                          QString::fromUtf8("07.12.2026 23:54:24     Wärme")}));
    QFile file(cwd.filePath(QStringLiteral("2026-12-07-23-54-24.log")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    // Lines reach the file at once, not only when it is closed.
    QCOMPARE(file.readAll(), QByteArray("07.12.2026 23:54:24    Hello\n"
                                        "07.12.2026 23:54:24    W\xC3\xA4rme\n"));
    QCOMPARE(QDir(cwd.path()).entryList(QDir::Files).size(), 1);
}

void terminal_window_test::log_file_that_cannot_open_is_reported() {
    terminal t;
    QTemporaryDir cwd;
    // A folder in the way of the log file's name.
    QVERIFY(QDir(cwd.path()).mkdir(QStringLiteral("2026-12-07-23-54-24.log")));
    in_directory(cwd.path(), [&] {
        QTest::mouseClick(t.window->findChild<QPushButton*>(QStringLiteral("NewLog")),
                          Qt::LeftButton);
    });
    QVERIFY(t.window->log_path().empty());
    QVERIFY(t.lines("txt").last().contains(QStringLiteral("2026-12-07-23-54-24.log")));
}

void terminal_window_test::memos_fill_the_window_after_a_resize() {
    terminal t;
    t.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(t.window.get()));
    t.window->resize(600, 432);
    QTest::qWait(20);
    const QSize client = t.window->size();
    QPlainTextEdit* log = t.memo("log");
    QPlainTextEdit* txt = t.memo("txt");
    QCOMPARE(log->geometry(), QRect(0, 32, client.width(), (client.height() - 32) * 6 / 10));
    QCOMPARE(txt->y(), log->y() + log->height() + 1);
    QCOMPARE(txt->y() + txt->height(), client.height() - 1);
    QCOMPARE(txt->width(), client.width());
}

QTEST_MAIN(terminal_window_test)
#include "terminal_window_test.moc"
