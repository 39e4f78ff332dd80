// The main window without a controller: language switch and its setting, the layout
// table, the list search, the shortcuts.
#include "configurator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace zev1;
using namespace zev1::gui_test;

class main_window_test : public QObject {
    Q_OBJECT
private slots:
    void first_start_is_german_and_unticking_is_remembered();
    void layout_follows_the_design_table();
    void tab_order_follows_the_design_table();
    void timer_is_a_precise_ten_millisecond_timer();
    void typed_port_text_chooses_nothing();
    void shortcuts_show_terminal_and_about_box();
    void settings_that_reach_no_port_are_said_not_written();
};

namespace {

QString button_text(configurator& c, const char* name) {
    return c.find<QPushButton>(name)->text();
}

} // namespace

void main_window_test::first_start_is_german_and_unticking_is_remembered() {
    test_area area;
    {
        configurator c(area);
        QCOMPARE(c.main().windowTitle(), QStringLiteral("ZEV1 wifi configurator V1.0"));
        auto* box = c.find<QCheckBox>("nemecke_texty");
        QVERIFY(box->isChecked());
        QCOMPARE(c.find<QLabel>("LbComunication")->text(), QStringLiteral("Kommunikation"));
        QCOMPARE(button_text(c, "btn_config_cti_jer"), QStringLiteral("Lesen von ZEV"));
        QCOMPARE(button_text(c, "btn_automatic_set"),
                 QStringLiteral("Automatische server einstellung"));
        QCOMPARE(button_text(c, "btn_nast_server"),
                 QStringLiteral("Server Einstellung auf ") +
                     QString::fromLatin1(default_server_endpoint.data(),
                                         static_cast<qsizetype>(default_server_endpoint.size())));
        QCOMPARE(button_text(c, "btn_wifi_write"), QStringLiteral("Eintragen Wifi Einstellung"));

        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(!box->isChecked());
        QCOMPARE(c.find<QLabel>("LbComunication")->text(), QStringLiteral("Komunikace"));
        QCOMPARE(button_text(c, "btn_config_cti_jer"), QStringLiteral("Cteni z ZEV"));
        QCOMPARE(button_text(c, "btn_automatic_set"),
                 QString::fromUtf8("Automatické nastavení serveru"));
        QVERIFY(button_text(c, "btn_nast_server")
                    .startsWith(QString::fromUtf8("Nastavení serveru na ")));
        QCOMPARE(button_text(c, "btn_wifi_write"), QString::fromUtf8("Zápis nastavení wifi"));
        // Captions that do not change with the language.
        QCOMPARE(c.find<QLabel>("Label2")->text(), QStringLiteral("IP,port "));
        QCOMPARE(box->text(), QStringLiteral("DEUTSCH"));
        QCOMPARE(c.app().ReadInteger("main", "nemecky", 7), 0);
    }
    // Written at exit, read at the next start.
    QVERIFY(area.read_settings().contains("nemecky=0"));
    configurator again(area);
    QVERIFY(!again.find<QCheckBox>("nemecke_texty")->isChecked());
    QCOMPARE(again.find<QLabel>("LbComunication")->text(), QStringLiteral("Komunikace"));
}

void main_window_test::layout_follows_the_design_table() {
    test_area area;
    configurator c(area);
    TSDIAppForm& w = c.main();
    QCOMPARE(w.size(), QSize(337, 391));
    QCOMPARE(w.minimumSize(), w.maximumSize()); // not resizable

    struct expected {
        const char* name;
        QRect geometry;
    };
    const expected table[] = {
        {"com_number", {8, 27, 145, 24}},        {"test", {159, 27, 73, 24}},
        {"btn_automatic_set", {8, 79, 318, 25}}, {"btn_config_cti_jer", {8, 121, 318, 25}},
        {"wifi_SSID", {118, 152, 208, 24}},      {"wifi_key", {118, 182, 208, 24}},
        {"wifi_security", {118, 210, 91, 24}},   {"wifi_IP", {118, 240, 208, 24}},
        {"btn_nast_server", {8, 270, 318, 25}},  {"btn_wifi_write", {8, 301, 318, 25}},
        {"nemecke_texty", {230, 361, 96, 22}},
    };
    for (const expected& e : table) {
        auto* widget = c.find<QWidget>(e.name);
        QVERIFY2(widget != nullptr, e.name);
        QCOMPARE(widget->geometry(), e.geometry);
    }
    const expected labels[] = {
        {"LbComunication", {8, 5, 0, 0}},   {"stav_portu", {9, 57, 0, 0}},
        {"wifi_ssid_txt", {16, 155, 0, 0}}, {"Label1", {16, 185, 0, 0}},
        {"Label3", {16, 213, 0, 0}},        {"Label2", {16, 243, 0, 0}},
    };
    for (const expected& e : labels) {
        auto* label = c.find<QLabel>(e.name);
        QVERIFY2(label != nullptr, e.name);
        QCOMPARE(label->pos(), e.geometry.topLeft());
        // Auto-sized: the whole caption is visible.
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    }

    // Initial contents before the first tick.
    QCOMPARE(c.find<QComboBox>("com_number")->currentText(), QStringLiteral("com_number"));
    QVERIFY(c.find<QComboBox>("com_number")->isEditable());
    QCOMPARE(c.find<QLabel>("stav_portu")->text(), QStringLiteral("..."));
    QVERIFY(c.find<QLineEdit>("test")->text().isEmpty());
    auto* security = c.find<QComboBox>("wifi_security");
    QVERIFY(security->isEditable());
    QStringList items;
    for (int i = 0; i < security->count(); ++i) {
        items << security->itemText(i);
    }
    QCOMPARE(items,
             (QStringList{"AUTO", "OPEN", "WEP", "WPA", "WPAAES", "WPA2AES", "WPA2TKIP", "WPA2"}));
    QCOMPARE(security->currentText(), QStringLiteral("AUTO"));

    // Every caption fits its button.
    for (const char* name :
         {"btn_automatic_set", "btn_config_cti_jer", "btn_nast_server", "btn_wifi_write"}) {
        auto* b = c.find<QPushButton>(name);
        QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= b->width() - 8, name);
    }
}

void main_window_test::tab_order_follows_the_design_table() {
    test_area area;
    configurator c(area);
    const char* order[] = {"btn_config_cti_jer", "nemecke_texty",  "wifi_SSID",
                           "btn_wifi_write",     "wifi_key",       "wifi_IP",
                           "wifi_security",      "test",           "com_number",
                           "btn_automatic_set",  "btn_nast_server"};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget* previous = c.find<QWidget>(order[i - 1]);
        QWidget* next = previous->nextInFocusChain();
        // Skip what takes no tab focus (labels) and the inner line edit of a combo box.
        while (next != nullptr &&
               (next->parentWidget() == previous || !(next->focusPolicy() & Qt::TabFocus))) {
            next = next->nextInFocusChain();
        }
        QCOMPARE(next, c.find<QWidget>(order[i]));
    }
}

void main_window_test::timer_is_a_precise_ten_millisecond_timer() {
    test_area area;
    configurator c(area);
    auto* timer = c.main().findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer != nullptr);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 10);
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);
    // The first ticks build the (here empty) port list and the state line: two blanks.
    QTest::qWait(100);
    QCOMPARE(c.find<QLabel>("stav_portu")->text(), QStringLiteral("  "));
}

void main_window_test::typed_port_text_chooses_nothing() {
    test_area area;
    configurator c(area);
    auto* combo = c.find<QComboBox>("com_number");
    QVERIFY(combo->completer() != nullptr);
    QCOMPARE(combo->completer()->caseSensitivity(), Qt::CaseInsensitive);
    combo->setFocus();
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("ttyNOTHERE"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QTest::qWait(50);
    QCOMPARE(combo->count(), 0);
    QCOMPARE(c.app().link().port_name(), std::string());
}

void main_window_test::shortcuts_show_terminal_and_about_box() {
    test_area area;
    configurator c(area);
    c.windows().show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.main()));
    QVERIFY(c.main().toolTip().contains(QStringLiteral("Ctrl+T")));
    QVERIFY(c.main().toolTip().contains(QStringLiteral("F1")));
    QVERIFY(!c.windows().log_win.isVisible());
    QVERIFY(!c.windows().about.isVisible());
    QVERIFY(!c.windows().progress_win.isVisible());

    c.main().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&c.main()));
    QTest::keyClick(&c.main(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(QTest::qWaitFor([&] { return c.windows().log_win.isVisible(); }, 2000));
    QCOMPARE(c.windows().log_win.windowTitle(), QStringLiteral("Terminal"));

    c.main().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&c.main()));
    QTest::keyClick(&c.main(), Qt::Key_F1);
    QVERIFY(QTest::qWaitFor([&] { return c.windows().about.isVisible(); }, 2000));
    QCOMPARE(c.windows().about.windowTitle(), QStringLiteral("About"));
    auto* ok = c.windows().about.findChild<QPushButton*>(QStringLiteral("OKButton"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(!c.windows().about.isVisible());
}

// With no port open the settings frame is dropped by the link; the window says so in its
// language.
void main_window_test::settings_that_reach_no_port_are_said_not_written() {
    test_area area;
    configurator c(area);
    c.windows().show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.main()));
    QVERIFY(!c.main().notice_box()->isVisible());
    QTest::mouseClick(c.find<QPushButton>("btn_wifi_write"), Qt::LeftButton);
    QVERIFY(c.main().notice_box()->isVisible());
    QCOMPARE(c.main().notice_box()->text(),
             QString::fromUtf8("Wifi Einstellung wurde nicht eingetragen: der Port ist "
                               "geschlossen."));
    c.main().notice_box()->hide();
    QTest::mouseClick(c.find<QCheckBox>("nemecke_texty"), Qt::LeftButton);
    QTest::mouseClick(c.find<QPushButton>("btn_wifi_write"), Qt::LeftButton);
    QCOMPARE(c.main().notice_box()->text(),
             QString::fromUtf8("Nastavení wifi nebylo zapsáno: port je zavřený."));
}

QTEST_MAIN(main_window_test)
#include "main_window_test.moc"
