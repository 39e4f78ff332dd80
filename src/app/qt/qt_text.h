#pragma once
// Texts between the forms (UTF-8) and Qt (QString), and the 8-bit code page of the
// controller's texts and port names (QString::toLocal8Bit / fromLocal8Bit).
#include "app/text_codec.h"

#include <QString>
#include <string>
#include <string_view>

namespace zev1::qt {

inline QString qstr(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string utf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

class local_codec final : public text_codec {
public:
    std::string to_window(std::string_view local) const override {
        return utf8(QString::fromLocal8Bit(local.data(), static_cast<qsizetype>(local.size())));
    }
    std::string to_local(std::string_view window) const override {
        const QByteArray bytes = qstr(window).toLocal8Bit();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
};

} // namespace zev1::qt
