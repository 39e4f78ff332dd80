// The whole configurator against zev1-sim on a pseudo-terminal: finding and opening the
// port, reading and writing the WiFi settings, the automatic server setting, the
// progress window with Cancel and time-outs, and the terminal's lines.
#include "configurator.h"
#include "sim_process.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <set>

using namespace zev1;
using namespace zev1::gui_test;

class simulator_test : public QObject {
    Q_OBJECT
private slots:
    void remembered_port_is_opened_and_identified();
    void port_chosen_from_the_list_is_opened();
    void read_fills_the_fields_and_write_sends_the_edits();
    void unknown_or_empty_security_shows_auto();
    void automatic_setting_writes_the_default_endpoint();
    void texts_read_are_written_back_byte_for_byte();
    void progress_moves_and_cancel_ends_the_read_quietly();
    void five_timeouts_raise_one_error_box_and_the_link_stays_alive();
    void terminal_shows_frames_and_logs_controller_texts();
};

namespace {

constexpr int connect_timeout_ms = 10000;
constexpr int read_timeout_ms = 20000;
// The settings file naming the simulator's link as the remembered port.
QByteArray remembered_port(const test_area& area) {
    return "[com]\ncom=" + area.link().toUtf8() + "\nopen=1\n";
}

QString text_of(configurator& c, const char* edit) {
    return c.find<QLineEdit>(edit)->text();
}

void click(configurator& c, const char* button) {
    QTest::mouseClick(c.find<QPushButton>(button), Qt::LeftButton);
}

bool wait_connected(configurator& c, const test_area& area,
                    const QString& id = QStringLiteral("ZEV1-SIM")) {
    const QString expected = area.link() + QStringLiteral(" open  ") + id;
    auto* state = c.find<QLabel>("stav_portu");
    if (QTest::qWaitFor([&] { return state->text() == expected; }, connect_timeout_ms)) {
        return true;
    }
    qWarning("state line: \"%s\", expected \"%s\"", qPrintable(state->text()),
             qPrintable(expected));
    return false;
}

// The four texts of a type-100 frame's body (each up to its zero byte).
struct sent_settings {
    QByteArray security, ssid, key, endpoint;
};
sent_settings body_of(const QByteArray& frame) {
    const QByteArray body = frame.mid(21, 256);
    auto field = [&](int offset, int size) {
        const QByteArray f = body.mid(offset, size);
        const qsizetype zero = f.indexOf('\0');
        return zero < 0 ? f : f.left(zero);
    };
    return {field(0, 10), field(10, 34), field(44, 65), field(109, 147)};
}

QByteArray default_endpoint() {
    return QByteArray(default_server_endpoint.data(),
                      static_cast<qsizetype>(default_server_endpoint.size()));
}

} // namespace

void simulator_test::remembered_port_is_opened_and_identified() {
    test_area area;
    area.write_settings(remembered_port(area));
    sim_process sim;
    QVERIFY(sim.start(area.link(), {"--id", "ZEV1 Kessel 7"}));
    configurator c(area);
    QVERIFY(wait_connected(c, area, QStringLiteral("ZEV1 Kessel 7")));
    auto* combo = c.find<QComboBox>("com_number");
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->itemText(0), area.link());
    QCOMPARE(combo->currentIndex(), 0);
    // The counter box shows the received-frame counter.
    QVERIFY(QTest::qWaitFor([&] { return !text_of(c, "test").isEmpty(); }, 2000));
    bool number = false;
    text_of(c, "test").toInt(&number);
    QVERIFY(number);
}

void simulator_test::port_chosen_from_the_list_is_opened() {
    test_area area;
    sim_process sim;
    QVERIFY(sim.start(area.link(), {}));
    configurator c(area);
    auto* combo = c.find<QComboBox>("com_number");
    QVERIFY(QTest::qWaitFor([&] { return combo->count() == 1; }, connect_timeout_ms));
    QTest::qWait(200);
    QCOMPARE(c.find<QLabel>("stav_portu")->text(), QStringLiteral("  ")); // nothing chosen
    QCOMPARE(sim.count_if("event", "peer-open"), std::size_t{0});

    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down); // the user picks the entry
    QVERIFY(wait_connected(c, area));
    QCOMPARE(QString::fromStdString(c.app().ReadString("com", "com", "")), area.link());
    QVERIFY(c.app().ReadBool("com", "open", false));
}

void simulator_test::read_fills_the_fields_and_write_sends_the_edits() {
    test_area area;
    area.write_settings(remembered_port(area));
    sim_process sim;
    QVERIFY(sim.start(area.link(), {"--ssid", "Heizraum", "--key", "geheim 123", "--security",
                                    "wpa2", "--endpoint", "10.0.0.5,5555"}));
    configurator c(area);
    QVERIFY(wait_connected(c, area));

    click(c, "btn_config_cti_jer");
    QVERIFY(
        QTest::qWaitFor([&] { return text_of(c, "wifi_SSID") == "Heizraum"; }, read_timeout_ms));
    QCOMPARE(text_of(c, "wifi_key"), QStringLiteral("geheim 123"));
    QCOMPARE(c.find<QComboBox>("wifi_security")->currentText(), QStringLiteral("WPA2"));
    QCOMPARE(text_of(c, "wifi_IP"), QStringLiteral("10.0.0.5,5555"));
    QCOMPARE(sim.received(5).size(), std::size_t{64});

    // The server button changes the endpoint field only and sends nothing.
    click(c, "btn_nast_server");
    QCOMPARE(text_of(c, "wifi_IP"), QString::fromLatin1(default_endpoint()));
    QCOMPARE(text_of(c, "wifi_SSID"), QStringLiteral("Heizraum"));
    QCOMPARE(text_of(c, "wifi_key"), QStringLiteral("geheim 123"));
    QTest::qWait(300);
    QVERIFY(sim.received(100).empty());

    c.find<QLineEdit>("wifi_SSID")->setText(QString::fromUtf8("Wärmepumpe"));
    c.find<QLineEdit>("wifi_key")->setText(QStringLiteral("neu-456"));
    c.find<QComboBox>("wifi_security")->setCurrentText(QStringLiteral("WPA2AES"));
    c.find<QLineEdit>("wifi_IP")->setText(QStringLiteral("server.local,5555"));
    click(c, "btn_wifi_write");
    QVERIFY(QTest::qWaitFor([&] { return !sim.received(100).empty(); }, 3000));
    QTest::qWait(200);
    const auto writes = sim.received(100);
    QCOMPARE(writes.size(), std::size_t{1});
    QCOMPARE(writes[0].size(), 279);
    const sent_settings s = body_of(writes[0]);
    QCOMPARE(s.security, QByteArray("WPA2AES"));
    QCOMPARE(s.ssid, QByteArray("W\xC3\xA4rmepumpe"));
    QCOMPARE(s.key, QByteArray("neu-456"));
    QCOMPARE(s.endpoint, QByteArray("server.local,5555"));

    // A text too long for its field is refused with a notice naming it; nothing is sent.
    c.find<QLineEdit>("wifi_SSID")->setText(QString(40, QLatin1Char('x')));
    click(c, "btn_wifi_write");
    QVERIFY(c.main().notice_box()->isVisible());
    QVERIFY(c.main().notice_box()->text().contains(QStringLiteral("SSID")));
    QVERIFY(c.main().notice_box()->text().contains(QStringLiteral("33")));
    QTest::qWait(300);
    QCOMPARE(sim.received(100).size(), std::size_t{1});
}

void simulator_test::unknown_or_empty_security_shows_auto() {
    test_area area;
    area.write_settings(remembered_port(area));
    sim_process sim;
    QVERIFY(sim.start(area.link(), {"--ssid", "Dachboden"})); // security stored empty
    configurator c(area);
    QVERIFY(wait_connected(c, area));
    c.find<QComboBox>("wifi_security")->setCurrentIndex(3);
    click(c, "btn_config_cti_jer");
    QVERIFY(
        QTest::qWaitFor([&] { return text_of(c, "wifi_SSID") == "Dachboden"; }, read_timeout_ms));
    QCOMPARE(c.find<QComboBox>("wifi_security")->currentText(), QStringLiteral("AUTO"));
    QVERIFY(text_of(c, "wifi_key").isEmpty());
}

void simulator_test::automatic_setting_writes_the_default_endpoint() {
    test_area area;
    area.write_settings(remembered_port(area));
    sim_process sim;
    QVERIFY(sim.start(area.link(), {"--ssid", "Heizraum", "--key", "geheim", "--security", "WEP",
                                    "--endpoint", "old.example,5555"}));
    configurator c(area);
    QVERIFY(wait_connected(c, area));
    click(c, "btn_automatic_set");
    QVERIFY(QTest::qWaitFor([&] { return !sim.received(100).empty(); }, read_timeout_ms));
    QTest::qWait(200);
    QCOMPARE(sim.received(5).size(), std::size_t{64});
    const auto writes = sim.received(100);
    QCOMPARE(writes.size(), std::size_t{1});
    QCOMPARE(writes[0].size(), 279);
    const sent_settings s = body_of(writes[0]);
    QCOMPARE(s.endpoint, default_endpoint());
    QCOMPARE(s.ssid, QByteArray("Heizraum"));
    QCOMPARE(s.key, QByteArray("geheim"));
    QCOMPARE(s.security, QByteArray("WEP"));
    QCOMPARE(text_of(c, "wifi_IP"), QString::fromLatin1(default_endpoint()));
}

// A controller holding a Latin-1 SSID (not valid UTF-8) and an erased password (0xFF):
// the automatic setting and a write that edits another field send those bytes as read.
void simulator_test::texts_read_are_written_back_byte_for_byte() {
    test_area area;
    area.write_settings(remembered_port(area));
    QByteArray memory(0x5400, '\xFF');
    const QByteArray ssid("K\xFC"
                          "che");
    auto put = [&](int address, const QByteArray& text) {
        memory.replace(address, text.size() + 1, text + '\0');
    };
    put(0x530B, ssid);
    put(0x536D, "WPA2");
    put(0x5377, "old.example,5555");
    QFile state(area.path(QStringLiteral("state.bin")));
    QVERIFY(state.open(QIODevice::WriteOnly));
    state.write(memory);
    state.close();
    sim_process sim;
    QVERIFY(sim.start(area.link(), {"--state", state.fileName()}));
    configurator c(area);
    QVERIFY(wait_connected(c, area));

    click(c, "btn_automatic_set");
    QVERIFY(QTest::qWaitFor([&] { return !sim.received(100).empty(); }, read_timeout_ms));
    sent_settings s = body_of(sim.received(100)[0]);
    QCOMPARE(s.ssid, ssid);
    QCOMPARE(s.key, QByteArray(64, '\xFF'));
    QCOMPARE(s.security, QByteArray("WPA2"));
    QCOMPARE(s.endpoint, default_endpoint());

    c.find<QLineEdit>("wifi_key")->setText(QStringLiteral("neu-456"));
    click(c, "btn_wifi_write");
    QVERIFY(QTest::qWaitFor([&] { return sim.received(100).size() == 2; }, 3000));
    s = body_of(sim.received(100)[1]);
    QCOMPARE(s.ssid, ssid);
    QCOMPARE(s.key, QByteArray("neu-456"));
}

void simulator_test::progress_moves_and_cancel_ends_the_read_quietly() {
    test_area area;
    area.write_settings(remembered_port(area));
    sim_process sim;
    QVERIFY(sim.start(area.link(), {"--ssid", "Heizraum", "--delay", "40"}));
    configurator c(area);
    QVERIFY(wait_connected(c, area));
    Tprogress_win& progress = c.windows().progress_win;
    QSignalSpy errors(&progress, &Tprogress_win::error_shown);
    auto* bar = progress.findChild<QProgressBar*>(QStringLiteral("Bar"));

    click(c, "btn_config_cti_jer");
    QVERIFY(progress.isVisible());
    QVERIFY(QTest::qWaitFor([&] { return bar->value() >= 5; }, read_timeout_ms));
    QCOMPARE(progress.findChild<QLabel*>(QStringLiteral("Procenta"))->text(),
             QString::number(bar->value()));
    QTest::mouseClick(progress.findChild<QPushButton*>(QStringLiteral("Cancel")), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !progress.isVisible(); }, 5000));
    QTest::qWait(300);
    QCOMPARE(errors.count(), 0);
    QVERIFY(!progress.error_box()->isVisible());
    QVERIFY(sim.received(5).size() < 64);
    // A read that did not reach its end leaves the fields alone.
    QVERIFY(text_of(c, "wifi_SSID").isEmpty());

    // The next read runs to its end and fills them.
    click(c, "btn_config_cti_jer");
    QVERIFY(
        QTest::qWaitFor([&] { return text_of(c, "wifi_SSID") == "Heizraum"; }, read_timeout_ms));
    QVERIFY(!progress.isVisible());
    QCOMPARE(errors.count(), 0);
}

void simulator_test::five_timeouts_raise_one_error_box_and_the_link_stays_alive() {
    test_area area;
    area.write_settings(remembered_port(area));
    sim_process sim;
    QVERIFY(sim.start(area.link(), {"--wrong-address"})); // read answers never match
    configurator c(area);
    QVERIFY(wait_connected(c, area));
    Tprogress_win& progress = c.windows().progress_win;
    QSignalSpy errors(&progress, &Tprogress_win::error_shown);

    click(c, "btn_config_cti_jer");
    QVERIFY(QTest::qWaitFor([&] { return errors.count() > 0; }, 15000));
    QVERIFY(!progress.isVisible());
    QMessageBox* box = progress.error_box();
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("Writing to the device"));
    QCOMPARE(sim.received(5).size(), std::size_t{5});

    // While the box is open the poll loop goes on: keep-alives reach the controller and
    // the link stays connected.
    const std::size_t before = sim.received(1).size() + sim.received(3).size();
    QTest::qWait(1600);
    QVERIFY(box->isVisible());
    const std::size_t after = sim.received(1).size() + sim.received(3).size();
    QVERIFY2(after >= before + 2, "no keep-alives while the error box was open");
    QVERIFY(c.find<QLabel>("stav_portu")->text().startsWith(area.link() + " open"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(sim.received(5).size(), std::size_t{5});
    QVERIFY(text_of(c, "wifi_SSID").isEmpty());
}

void simulator_test::terminal_shows_frames_and_logs_controller_texts() {
    test_area area;
    area.write_settings(remembered_port(area));
    sim_process sim;
    QVERIFY(sim.start(area.link(), {}));
    configurator c(area);
    QVERIFY(wait_connected(c, area));
    auto* log = c.find<QPlainTextEdit>("log");
    auto* txt = c.find<QPlainTextEdit>("txt");
    // Default options: received frames only, name and a blank.
    QVERIFY(log->toPlainText().contains(QStringLiteral("-->     <P_ECHO_A> ")));
    QVERIFY(!log->toPlainText().contains(QStringLiteral("<-- ")));

    QTemporaryDir cwd;
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(cwd.path()));
    auto* button = c.find<QPushButton>("NewLog");
    QCOMPARE(button->text(), QStringLiteral("START Log"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("New Log"));
    QDir::setCurrent(saved);

    sim.command("say Kessel bereit");
    QVERIFY(QTest::qWaitFor(
        [&] { return txt->toPlainText().contains(QStringLiteral("Kessel bereit")); }, 3000));
    QVERIFY(txt->toPlainText().contains(QStringLiteral("07.12.2026 23:54:24     Kessel bereit")));
    QVERIFY(log->toPlainText().contains(QStringLiteral("-->     <p_text>  Kessel bereit")));
    QFile file(cwd.filePath(QStringLiteral("2026-12-07-23-54-24.log")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("07.12.2026 23:54:24    Kessel bereit\n"));
}

QTEST_MAIN(simulator_test)
#include "simulator_test.moc"
