// The progress window on its own: window kind, percentages, Cancel, the error box.
#include "app/progress_window.h"

#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <vector>

using namespace zev1;

class progress_window_test : public QObject {
    Q_OBJECT
private slots:
    void is_an_always_on_top_tool_window_without_close_box();
    void percent_counts_the_part_already_requested();
    void no_total_shows_no_percentage();
    void cancel_is_taken_once_and_forgotten_on_show();
    void error_box_returns_at_once_and_events_keep_flowing();
};

namespace {

int bar(Tprogress_win& w) {
    return w.findChild<QProgressBar*>(QStringLiteral("Bar"))->value();
}
QString percent(Tprogress_win& w) {
    return w.findChild<QLabel*>(QStringLiteral("Procenta"))->text();
}

} // namespace

void progress_window_test::is_an_always_on_top_tool_window_without_close_box() {
    Tprogress_win w;
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags.testFlag(Qt::Tool));
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!w.isModal());
    QVERIFY(!w.isVisible());
    QCOMPARE(w.size(), QSize(464, 124));
    QCOMPARE(w.findChild<QProgressBar*>(QStringLiteral("Bar"))->geometry(), QRect(8, 47, 385, 25));
    QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("Cancel"))->geometry(),
             QRect(198, 88, 75, 25));
    QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("Cancel"))->text(), QStringLiteral("Cancel"));
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("staticky_text_procent"))->text(),
             QStringLiteral("%"));

    w.show_progress("\xC4\x8Cten\xC3\xAD z MCU", 100, true);
    QVERIFY(w.isVisible());
    QCOMPARE(w.windowTitle(), QStringLiteral("Progress"));
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("text"))->text(),
             QString::fromUtf8("Čtení z MCU"));
    w.show_progress("", 1, false);
    QVERIFY(!w.isVisible());
}

void progress_window_test::percent_counts_the_part_already_requested() {
    Tprogress_win w;
    w.show_progress("read", 16384, true);
    std::vector<int> shown;
    for (std::uint32_t remaining = 16384; remaining > 0; remaining -= 256) {
        w.set_remaining(remaining);
        shown.push_back(bar(w));
        QCOMPARE(percent(w), QString::number(bar(w)));
    }
    QCOMPARE(shown.size(), std::size_t{64});
    const std::vector<int> head(shown.begin(), shown.begin() + 7);
    QCOMPARE(head, (std::vector<int>{0, 2, 4, 5, 7, 8, 10}));
    QCOMPARE(shown[61], 96);
    QCOMPARE(shown[62], 97);
    QCOMPARE(shown[63], 99);
    // A new show starts the bar at 0 again.
    w.show_progress("read", 16384, true);
    QCOMPARE(bar(w), 0);
    // More remaining than the total never wraps to a large number.
    w.set_remaining(20000);
    QCOMPARE(bar(w), 0);
}

void progress_window_test::no_total_shows_no_percentage() {
    Tprogress_win w;
    w.show_progress("read", 0, true);
    w.set_remaining(0);
    w.set_remaining(123);
    QCOMPARE(bar(w), 0);
    QCOMPARE(percent(w), QStringLiteral("0"));
}

void progress_window_test::cancel_is_taken_once_and_forgotten_on_show() {
    Tprogress_win w;
    w.show_progress("read", 100, true);
    auto* cancel = w.findChild<QPushButton*>(QStringLiteral("Cancel"));
    QVERIFY(!w.take_cancel());
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(w.isVisible()); // Cancel alone changes nothing on the window
    QVERIFY(w.take_cancel());
    QVERIFY(!w.take_cancel()); // two presses before a look count once

    QTest::mouseClick(cancel, Qt::LeftButton);
    w.show_progress("", 1, false);
    w.show_progress("next", 100, true); // the next transfer forgets it
    QVERIFY(!w.take_cancel());
}

void progress_window_test::error_box_returns_at_once_and_events_keep_flowing() {
    Tprogress_win w;
    QSignalSpy shown(&w, &Tprogress_win::error_shown);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();

    w.show_error("Writing to the device"); // must not block
    QCOMPARE(shown.count(), 1);
    QMessageBox* box = w.error_box();
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("Writing to the device"));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);

    const int before = ticks;
    QTest::qWait(200);
    QVERIFY2(ticks - before >= 5, "the timer stood still while the box was open");
    QVERIFY(box->isVisible());

    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !box->isVisible(); }, 1000));
}

QTEST_MAIN(progress_window_test)
#include "progress_window_test.moc"
