#pragma once
// The main window: port selector, port state and controller identification, the
// received-frame counter, the WiFi settings with their four buttons, the language
// switch, and the 10 ms timer that is the program's main loop.
//
// Beyond the plain behaviour:
//  - Ctrl+T shows the terminal window and F1 the about box (named in the tooltip);
//  - a text too long for its field in the settings packet is not cut silently: the
//    user is told which field and its limit, and nothing is sent;
//  - WiFi settings that never reach the port (no port open, the device unplugged, the
//    send queue full) are told to the user in the window's language;
//  - a read that ended early (Cancel, or the error box after five time-outs) leaves the
//    fields as they were, and the automatic server setting then writes nothing, so
//    a half-read memory image never reaches the fields or the controller.
// Notices open without a nested event loop, so the link keeps running behind them.
#include "link/counter_view.h"
#include "link/dropped_frame_view.h"
#include "memory/wifi_settings.h"
#include "serial/port_list_view.h"

#include <QWidget>
#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QTimer;

namespace zev1 {

class Tlpc1xxx;

class TSDIAppForm final : public QWidget,
                          public port_list_view,
                          public counter_view,
                          public dropped_frame_view {
    Q_OBJECT
public:
    static constexpr int client_width = 337;
    static constexpr int client_height = 391;
    static constexpr int tick_ms = 10;

    explicit TSDIAppForm(Tlpc1xxx& app);
    ~TSDIAppForm() override;

    // port_list_view: the port selector, refilled by the port list (no change event).
    void clear_items() override;
    void append_item(std::string_view name) override;
    void set_item_index(int index) override;
    // counter_view: the `test` box.
    void show_counter(std::string_view decimal) override;
    // dropped_frame_view: a WiFi settings frame that was dropped gives a notice.
    void frame_dropped(std::uint8_t type, drop_reason why) override;

    // One run of the poll loop (Timer1's handler).
    void Timer1Timer();

    bool german() const { return german_; }
    // The notice box (hidden unless a notice is up), for tests.
    QMessageBox* notice_box() const { return notice_; }

signals:
    void terminal_requested();
    void about_requested();
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_controls();
    void FormCreate();
    void apply_captions();
    void nemecke_textyClick(bool checked);
    void com_numberChange(int index);
    void btn_config_cti_jerClick();
    void btn_automatic_setClick();
    void btn_nast_serverClick();
    void btn_wifi_writeClick();
    void fill_wifi_fields(const wifi_workflow::read_result& result);
    void write_wifi_settings();
    wifi_settings settings_from_fields() const;
    void show_notice(const QString& text);

    // What a read put into a text field: the controller's bytes and the text shown for
    // them. A field still showing that text is written back with those very bytes, so a
    // text that does not survive the trip through the local encoding (a Latin-1 SSID on
    // a UTF-8 desktop) reaches the controller unchanged.
    struct read_text {
        QString shown;
        std::string bytes;
    };
    static void show_read_text(QLineEdit* edit, read_text& read, const std::string& bytes);
    static std::string bytes_of(const QLineEdit* edit, const read_text& read);

    Tlpc1xxx& app_;
    bool german_ = true;
    int chosen_index_ = -1; // the port list's last choice in com_number

    QLabel* LbComunication = nullptr;
    QComboBox* com_number = nullptr;
    QLineEdit* test = nullptr;
    QLabel* stav_portu = nullptr;
    QPushButton* btn_automatic_set = nullptr;
    QPushButton* btn_config_cti_jer = nullptr;
    QLabel* wifi_ssid_txt = nullptr;
    QLineEdit* wifi_SSID = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* wifi_key = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* wifi_security = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* wifi_IP = nullptr;
    QPushButton* btn_nast_server = nullptr;
    QPushButton* btn_wifi_write = nullptr;
    QCheckBox* nemecke_texty = nullptr;
    QTimer* Timer1 = nullptr;
    QMessageBox* notice_ = nullptr;
    read_text read_ssid_;
    read_text read_key_;
    read_text read_endpoint_;
};

} // namespace zev1
