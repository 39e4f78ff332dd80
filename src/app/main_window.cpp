#include "app/main_window.h"

#include "app/application.h"
#include "app/captions.h"
#include "app/local_text.h"
#include "app/qt_child.h"
#include "app/window_placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <array>

namespace zev1 {

namespace {

constexpr std::string_view settings_section = "main";
constexpr std::string_view settings_key = "nemecky";

QLabel* make_label(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = make_child<QLabel>(parent, text);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* make_edit(QWidget* parent, const char* name, QRect geometry) {
    auto* edit = make_child<QLineEdit>(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    return edit;
}

QPushButton* make_button(QWidget* parent, const char* name, int top) {
    auto* button = make_child<QPushButton>(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(8, top, 318, 25);
    return button;
}

QComboBox* make_combo(QWidget* parent, const char* name, QRect geometry) {
    auto* combo = make_child<QComboBox>(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setGeometry(geometry);
    combo->setEditable(true);
    // Typed text never becomes a list entry; the list search ignores letter case.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->completer()->setCaseSensitivity(Qt::CaseInsensitive);
    combo->completer()->setCompletionMode(QCompleter::InlineCompletion);
    return combo;
}

// Sets a button's caption in the window's font, made smaller where the caption would not
// fit (the server button's caption carries the whole default endpoint).
void set_fitting_caption(QPushButton* button, const QString& caption) {
    constexpr int margin = 8;
    constexpr int smallest_pixel_size = 8;
    QFont font = button->parentWidget()->font();
    while (QFontMetrics(font).horizontalAdvance(caption) > button->width() - margin &&
           font.pixelSize() > smallest_pixel_size) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    button->setFont(font);
    button->setText(caption);
}

} // namespace

TSDIAppForm::TSDIAppForm(Tlpc1xxx& app) : app_(app) {
    setObjectName(QStringLiteral("SDIAppForm"));
    setWindowTitle(QStringLiteral("ZEV1 wifi configurator V1.0"));
    QFont window_font = font();
    window_font.setPixelSize(13);
    setFont(window_font);
    setFixedSize(client_width, client_height);
    setToolTip(QStringLiteral("Ctrl+T: terminal window\nF1: about"));

    build_controls();

    auto* show_terminal = make_child<QShortcut>(this, QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(show_terminal, &QShortcut::activated, this, &TSDIAppForm::terminal_requested);
    auto* show_about = make_child<QShortcut>(this, QKeySequence(Qt::Key_F1));
    connect(show_about, &QShortcut::activated, this, &TSDIAppForm::about_requested);

    notice_ = make_child<QMessageBox>(this);
    notice_->setObjectName(QStringLiteral("notice_box"));
    notice_->setIcon(QMessageBox::Warning);
    notice_->setStandardButtons(QMessageBox::Ok);
    notice_->setWindowModality(Qt::WindowModal);

    Timer1 = make_child<QTimer>(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(tick_ms);
    connect(Timer1, &QTimer::timeout, this, &TSDIAppForm::Timer1Timer);

    FormCreate();
    centre_on_screen(*this);
    app_.link().set_dropped_frame_view(this);
    Timer1->start();
}

TSDIAppForm::~TSDIAppForm() {
    app_.link().set_dropped_frame_view(nullptr);
}

void TSDIAppForm::build_controls() {
    LbComunication = make_label(this, "LbComunication", QString(), 8, 5);

    com_number = make_combo(this, "com_number", {8, 27, 145, 24});
    com_number->setEditText(QStringLiteral("com_number"));
    // Only a choice from the list (or the list search) picks a port; text typed into
    // the box that matches no entry chooses nothing.
    connect(com_number, &QComboBox::activated, this, &TSDIAppForm::com_numberChange);

    test = make_edit(this, "test", {159, 27, 73, 24});
    test->setReadOnly(true);
    test->setToolTip(QStringLiteral("Frames received (Ctrl+T: terminal window)"));

    stav_portu = make_label(this, "stav_portu", QStringLiteral("..."), 9, 57);
    stav_portu->setMaximumWidth(client_width - 9 - 4);

    btn_automatic_set = make_button(this, "btn_automatic_set", 79);
    connect(btn_automatic_set, &QPushButton::clicked, this, &TSDIAppForm::btn_automatic_setClick);
    btn_config_cti_jer = make_button(this, "btn_config_cti_jer", 121);
    connect(btn_config_cti_jer, &QPushButton::clicked, this, &TSDIAppForm::btn_config_cti_jerClick);

    wifi_ssid_txt = make_label(this, "wifi_ssid_txt", QStringLiteral("SSID"), 16, 155);
    wifi_SSID = make_edit(this, "wifi_SSID", {118, 152, 208, 24});
    Label1 = make_label(this, "Label1", QStringLiteral("password"), 16, 185);
    wifi_key = make_edit(this, "wifi_key", {118, 182, 208, 24});
    Label3 = make_label(this, "Label3", QStringLiteral("Security type"), 16, 213);
    wifi_security = make_combo(this, "wifi_security", {118, 210, 91, 24});
    for (const std::string_view type : wifi_security_types) {
        wifi_security->addItem(from_local(type));
    }
    wifi_security->setCurrentIndex(0);
    Label2 = make_label(this, "Label2", QStringLiteral("IP,port "), 16, 243);
    wifi_IP = make_edit(this, "wifi_IP", {118, 240, 208, 24});

    btn_nast_server = make_button(this, "btn_nast_server", 270);
    connect(btn_nast_server, &QPushButton::clicked, this, &TSDIAppForm::btn_nast_serverClick);
    btn_wifi_write = make_button(this, "btn_wifi_write", 301);
    connect(btn_wifi_write, &QPushButton::clicked, this, &TSDIAppForm::btn_wifi_writeClick);

    nemecke_texty = make_child<QCheckBox>(this, QStringLiteral("DEUTSCH"));
    nemecke_texty->setObjectName(QStringLiteral("nemecke_texty"));
    nemecke_texty->setGeometry(230, 361, 96, 22);
    QFont box_font(QStringLiteral("MS Sans Serif"));
    box_font.setPixelSize(11);
    nemecke_texty->setFont(box_font);
    connect(nemecke_texty, &QCheckBox::clicked, this, &TSDIAppForm::nemecke_textyClick);

    // Tab order 0 .. 10.
    const std::array<QWidget*, 11> tab_order = {
        btn_config_cti_jer, nemecke_texty, wifi_SSID,  btn_wifi_write,    wifi_key,       wifi_IP,
        wifi_security,      test,          com_number, btn_automatic_set, btn_nast_server};
    for (std::size_t i = 1; i < tab_order.size(); ++i) {
        setTabOrder(tab_order[i - 1], tab_order[i]);
    }
}

void TSDIAppForm::FormCreate() {
    german_ = app_.ReadBool(settings_section, settings_key, true);
    nemecke_texty->setChecked(german_);
    apply_captions();
}

void TSDIAppForm::apply_captions() {
    const main_captions c = captions_for(german_);
    LbComunication->setText(c.communication);
    LbComunication->adjustSize();
    set_fitting_caption(btn_config_cti_jer, c.read);
    set_fitting_caption(btn_automatic_set, c.automatic);
    set_fitting_caption(btn_nast_server, c.server);
    set_fitting_caption(btn_wifi_write, c.write);
}

void TSDIAppForm::nemecke_textyClick(bool checked) {
    german_ = checked;
    app_.WriteBool(settings_section, settings_key, german_);
    apply_captions();
}

void TSDIAppForm::com_numberChange(int index) {
    if (index < 0 || index >= com_number->count()) {
        return;
    }
    app_.select_port(to_local(com_number->itemText(index)));
}

void TSDIAppForm::clear_items() {
    const QSignalBlocker block(com_number);
    com_number->clear();
}

void TSDIAppForm::append_item(std::string_view name) {
    const QSignalBlocker block(com_number);
    com_number->addItem(from_local(name));
    // A combo box makes its first item current by itself; here only the port list
    // chooses, so the entry the list chose last stays the chosen one (or none).
    com_number->setCurrentIndex(chosen_index_ < com_number->count() ? chosen_index_ : -1);
}

void TSDIAppForm::set_item_index(int index) {
    const QSignalBlocker block(com_number);
    chosen_index_ = index;
    com_number->setCurrentIndex(index);
}

void TSDIAppForm::show_counter(std::string_view decimal) {
    test->setText(from_local(decimal));
}

void TSDIAppForm::Timer1Timer() {
    app_.fill_port_list(*this);
    const QString state = from_local(app_.port_state_line());
    if (state != stav_portu->text()) {
        stav_portu->setText(state);
        stav_portu->adjustSize();
    }
    if (app_.poll_link()) {
        app_.release_frame();
    }
    if (const auto result = app_.wifi_after_poll()) {
        fill_wifi_fields(*result);
    }
}

void TSDIAppForm::btn_config_cti_jerClick() {
    app_.start_wifi_read(false);
}

void TSDIAppForm::btn_automatic_setClick() {
    app_.start_wifi_read(true);
}

void TSDIAppForm::btn_nast_serverClick() {
    wifi_IP->setText(from_local(default_server_endpoint));
}

void TSDIAppForm::btn_wifi_writeClick() {
    write_wifi_settings();
}

void TSDIAppForm::fill_wifi_fields(const wifi_workflow::read_result& result) {
    if (!app_.last_read_complete()) {
        return; // cancelled or aborted: the image does not hold the controller's texts
    }
    show_read_text(wifi_SSID, read_ssid_, result.settings.ssid);
    show_read_text(wifi_key, read_key_, result.settings.key);
    show_read_text(wifi_IP, read_endpoint_, result.settings.endpoint);
    wifi_security->setCurrentIndex(static_cast<int>(result.security_index));
    if (result.automatic) {
        wifi_IP->setText(from_local(default_server_endpoint));
        write_wifi_settings();
    }
}

void TSDIAppForm::show_read_text(QLineEdit* edit, read_text& read, const std::string& bytes) {
    edit->setText(from_local(bytes));
    read.shown = edit->text();
    read.bytes = bytes;
}

std::string TSDIAppForm::bytes_of(const QLineEdit* edit, const read_text& read) {
    const QString now = edit->text();
    return now == read.shown ? read.bytes : to_local(now);
}

wifi_settings TSDIAppForm::settings_from_fields() const {
    wifi_settings s;
    s.security = to_local(wifi_security->currentText());
    s.ssid = bytes_of(wifi_SSID, read_ssid_);
    s.key = bytes_of(wifi_key, read_key_);
    s.endpoint = bytes_of(wifi_IP, read_endpoint_);
    return s;
}

void TSDIAppForm::write_wifi_settings() {
    const wifi_body body = build_wifi_body(settings_from_fields());
    if (!body.cuts.empty()) {
        QString text = QStringLiteral("Nothing was written: too long for the controller.\n");
        for (const wifi_cut& cut : body.cuts) {
            text +=
                QStringLiteral("\n%1: at most %2 bytes").arg(from_local(cut.field)).arg(cut.limit);
        }
        show_notice(text);
        return;
    }
    // A frame that does not reach the port comes back through frame_dropped.
    app_.send_packet(wifi_packet_type, body.bytes);
}

void TSDIAppForm::frame_dropped(std::uint8_t type, drop_reason why) {
    if (type == wifi_packet_type) {
        show_notice(wifi_not_written(german_, why));
    }
}

void TSDIAppForm::show_notice(const QString& text) {
    // Shown without a nested event loop: the poll loop goes on behind the box.
    notice_->setText(text);
    notice_->show();
    notice_->raise();
    notice_->activateWindow();
}

void TSDIAppForm::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    emit closed();
    QWidget::closeEvent(event);
}

} // namespace zev1
