#include "app/progress_window.h"

#include "app/local_text.h"
#include "app/qt_child.h"
#include "app/window_placement.h"
#include "log/message_text.h"
#include "memory/progress_percent.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

namespace zev1 {

namespace {

QFont tahoma(int pixel_height) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixel_height);
    return font;
}

} // namespace

Tprogress_win::Tprogress_win()
    : QWidget(nullptr,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("progress_win"));
    setWindowTitle(QStringLiteral("Progress"));
    setWindowModality(Qt::NonModal);
    setFont(tahoma(11));
    setFixedSize(client_width, client_height);

    // The description is centred over the whole width of the window.
    text_ = make_child<QLabel>(this);
    text_->setObjectName(QStringLiteral("text"));
    text_->setFont(tahoma(27));
    text_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text_->setGeometry(8, 8, client_width - 16, 36);

    Bar = make_child<QProgressBar>(this);
    Bar->setObjectName(QStringLiteral("Bar"));
    Bar->setGeometry(8, 47, 385, 25);
    Bar->setRange(0, 100);
    Bar->setValue(0);
    Bar->setTextVisible(false); // smooth bar; the number stands beside it

    // Right-aligned number that ends just before the "%" sign at 435.
    Procenta = make_child<QLabel>(this, QStringLiteral("0"));
    Procenta->setObjectName(QStringLiteral("Procenta"));
    Procenta->setFont(tahoma(19));
    Procenta->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Procenta->setGeometry(397, 47, 36, 25);

    staticky_text_procent = make_child<QLabel>(this, QStringLiteral("%"));
    staticky_text_procent->setObjectName(QStringLiteral("staticky_text_procent"));
    staticky_text_procent->setFont(tahoma(19));
    staticky_text_procent->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    staticky_text_procent->setGeometry(435, 47, 24, 25);

    Cancel = make_child<QPushButton>(this, QStringLiteral("Cancel"));
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setGeometry(198, 88, 75, 25);
    connect(Cancel, &QPushButton::clicked, this, [this] { CancelClick(); });

    error_box_ = std::make_unique<QMessageBox>();
    error_box_->setObjectName(QStringLiteral("error_box"));
    error_box_->setIcon(QMessageBox::Critical);
    error_box_->setStandardButtons(QMessageBox::Ok);
    error_box_->setWindowModality(Qt::ApplicationModal);

    centre_on_screen(*this);
}

Tprogress_win::~Tprogress_win() = default;

void Tprogress_win::show_progress(std::string_view text, std::uint32_t total, bool visible) {
    text_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    total_ = total;
    if (visible) {
        centre_on_screen(*this);
        show();
        raise();
    } else {
        hide();
    }
    // Let the window appear or vanish (and repaint) before the transfer goes on. Timer
    // ticks and clicks that were waiting run here.
    QCoreApplication::processEvents();
    Bar->setValue(0);
    if (visible) {
        cancel_requested_ = false;
    }
    setWindowTitle(from_local(message_text(14)));
}

void Tprogress_win::set_remaining(std::uint32_t remaining) {
    if (total_ == 0) {
        return;
    }
    Bar->setValue(static_cast<int>(progress_percent(total_, remaining)));
    Procenta->setText(QString::number(Bar->value()));
}

bool Tprogress_win::take_cancel() {
    const bool requested = cancel_requested_;
    cancel_requested_ = false;
    return requested;
}

void Tprogress_win::show_error(std::string_view text) {
    error_box_->setText(from_local(text));
    // One box: a second error while it is still open only updates its text.
    if (!error_box_->isVisible()) {
        error_box_->show();
        centre_on_screen(*error_box_);
    }
    error_box_->raise();
    error_box_->activateWindow();
    emit error_shown();
}

void Tprogress_win::CancelClick() {
    cancel_requested_ = true;
}

} // namespace zev1
