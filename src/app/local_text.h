#pragma once
// Texts that cross between the windows and the core (controller texts, log lines, port
// names) are byte strings in the system's 8-bit code page; the windows hold QStrings.
#include <QString>
#include <string>
#include <string_view>

namespace zev1 {

inline QString from_local(std::string_view bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string to_local(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace zev1
