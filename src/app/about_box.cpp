#include "app/about_box.h"

#include "app/qt_child.h"
#include "app/window_placement.h"

#include <QLabel>
#include <QPushButton>

namespace zev1 {

TAboutBox::TAboutBox() {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(298, 170);

    auto* product = make_child<QLabel>(this, QStringLiteral("ZEV1 wifi configurator"));
    product->setObjectName(QStringLiteral("ProductName"));
    QFont big = product->font();
    big.setPointSize(big.pointSize() + 3);
    big.setBold(true);
    product->setFont(big);
    product->setAlignment(Qt::AlignCenter);
    product->setGeometry(8, 16, 282, 28);

    auto* version = make_child<QLabel>(this, QStringLiteral("Version 1.0"));
    version->setObjectName(QStringLiteral("Version"));
    version->setAlignment(Qt::AlignCenter);
    version->setGeometry(8, 52, 282, 20);

    auto* comment =
        make_child<QLabel>(this, QStringLiteral("WiFi settings of the ZEV1 heating controller"));
    comment->setObjectName(QStringLiteral("Comments"));
    comment->setAlignment(Qt::AlignCenter);
    comment->setWordWrap(true);
    comment->setGeometry(8, 80, 282, 36);

    auto* ok = make_child<QPushButton>(this, QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    ok->setGeometry(111, 130, 75, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    centre_on_screen(*this);
}

} // namespace zev1
