#include "app/terminal_window.h"

#include "app/local_text.h"
#include "app/qt_child.h"
#include "log/message_text.h"

#include <QCheckBox>
#include <QFont>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace zev1 {

namespace {

constexpr std::string_view section = "log_win";

QPlainTextEdit* make_memo(QWidget* parent, const char* name) {
    auto* memo = make_child<QPlainTextEdit>(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap); // both scroll bars
    memo->setMaximumBlockCount(Tlog_win::max_view_lines);
    return memo;
}

QCheckBox* make_box(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* box = make_child<QCheckBox>(parent, caption);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

} // namespace

Tlog_win::Tlog_win(Tini_file& settings, clock_source clock) : clock_(std::move(clock)) {
    setObjectName(QStringLiteral("log_win"));
    QFont window_font(QStringLiteral("Tahoma"));
    window_font.setPointSize(8);
    setFont(window_font);

    log = make_memo(this, "log");
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    mono.setPointSize(8);
    if (!QFontInfo(mono).fixedPitch()) {
        mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPointSize(8);
    }
    log->setFont(mono);
    log->setGeometry(0, memo_top, 699, 402);

    txt = make_memo(this, "txt");
    txt->setGeometry(0, 432, 699, 217);

    psat_txt = make_box(this, "psat_txt", QStringLiteral("Txt"), {8, 8, 58, 17});
    psat_txt->setChecked(true);
    psat_hex = make_box(this, "psat_hex", QStringLiteral("Hex"), {72, 9, 66, 17});
    psat_hlavicky = make_box(this, "psat_hlavicky", QStringLiteral("Headers"), {144, 9, 89, 17});
    jen_prijem = make_box(this, "jen_prijem", QStringLiteral("Receive Only"), {239, 9, 97, 17});
    StandardOFF = make_box(this, "StandardOFF", QStringLiteral("Standard OFF"), {342, 9, 97, 17});

    NewLog = make_child<QPushButton>(this, QStringLiteral("START Log"));
    NewLog->setObjectName(QStringLiteral("NewLog"));
    NewLog->setGeometry(456, 1, 75, 25);
    connect(NewLog, &QPushButton::clicked, this, [this] { NewLogClick(); });

    // Design place and size: top left of the screen, client 702 x 659.
    move(0, 0);
    resize(design_client_width, design_client_height);
    layout(design_client_width, design_client_height);

    FormCreate(settings);
    layout(width(), height());
}

Tlog_win::~Tlog_win() {
    if (log_file_.is_open()) {
        log_file_.close(); // writes out what is still buffered
    }
}

void Tlog_win::FormCreate(Tini_file& settings) {
    // Geometry: each value applied right after it is read, the current one as default.
    // Width and Height are the outer size; before the window is first shown the frame
    // is not known yet and the outer size is the client size.
    const QSize frame_extra = frameGeometry().size() - size();
    const int top = settings.ReadInteger(section, "Top", frameGeometry().top());
    move(frameGeometry().left(), top);
    const int left = settings.ReadInteger(section, "Left", frameGeometry().left());
    move(left, frameGeometry().top());
    const int width = settings.ReadInteger(section, "Width", frameGeometry().width());
    resize(std::max(1, width - frame_extra.width()), height());
    const int height_value = settings.ReadInteger(section, "Height", frameGeometry().height());
    resize(QWidget::width(), std::max(1, height_value - frame_extra.height()));

    const bool maximised = settings.ReadBool(section, "InitMax", isMaximized());
    setWindowState(maximised ? (windowState() | Qt::WindowMaximized)
                             : (windowState() & ~Qt::WindowMaximized));

    psat_txt->setChecked(settings.ReadInteger(section, "psat_txt", 1) != 0);
    psat_hex->setChecked(settings.ReadInteger(section, "psat_hex", 0) != 0);
    psat_hlavicky->setChecked(settings.ReadInteger(section, "psat_hlavicky", 0) != 0);
    jen_prijem->setChecked(settings.ReadInteger(section, "jen_prijem", 1) != 0);

    psat_txt->setText(from_local(message_text(9)));
    psat_hex->setText(from_local(message_text(10)));
    psat_hlavicky->setText(from_local(message_text(11)));
    jen_prijem->setText(from_local(message_text(12)));
    setWindowTitle(from_local(message_text(13)));
}

Tlog_win::memo_geometry Tlog_win::layout_for(int client_height) {
    memo_geometry g{};
    g.log_height = std::max(0, static_cast<int>((client_height - memo_top) * 0.6));
    g.txt_top = memo_top + g.log_height + 1;
    g.txt_height = std::max(0, client_height - g.txt_top - 1);
    return g;
}

void Tlog_win::layout(int client_width, int client_height) {
    const memo_geometry g = layout_for(client_height);
    log->setGeometry(0, memo_top, client_width, g.log_height);
    txt->setGeometry(0, g.txt_top, client_width, g.txt_height);
}

void Tlog_win::resizeEvent(QResizeEvent* event) {
    layout(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

view_options Tlog_win::options() const {
    view_options o;
    o.txt = psat_txt->isChecked();
    o.hex = psat_hex->isChecked();
    o.headers = psat_hlavicky->isChecked();
    o.receive_only = jen_prijem->isChecked();
    o.standard_off = StandardOFF->isChecked();
    return o;
}

void Tlog_win::add_packet_line(std::span<const std::uint8_t> frame, bool received,
                               std::string_view name, std::string_view text) {
    if (const auto line = compose_packet_line(frame, received, options(), name, text)) {
        log->appendPlainText(from_local(*line));
    }
}

void Tlog_win::log_text(std::string_view text) {
    const std::time_t now = clock_();
    txt->appendPlainText(from_local(text_view_line(now, text)));
    if (log_file_.is_open()) {
        log_file_ << log_file_line(now, text);
        log_file_.flush();
    }
}

void Tlog_win::NewLogClick() {
    if (log_file_.is_open()) {
        log_file_.close();
    }
    open_new_log();
    NewLog->setText(QStringLiteral("New Log"));
}

void Tlog_win::open_new_log() {
    // Relative to the process's current directory; appended to when it exists (two
    // clicks within one second share a name). Text mode: CR LF on Windows.
    const std::string name = log_file_name(clock_());
    log_path_.clear();
    log_file_.clear();
    log_file_.open(name, std::ios::out | std::ios::app);
    if (log_file_.is_open()) {
        log_path_ = name;
        return;
    }
    const int error = errno;
    const std::string reason = error != 0 ? std::strerror(error) : "unknown error";
    log_text("Cannot open the log file " + name + ": " + reason);
}

} // namespace zev1
