// Between the program's UTF-8 std::string and Qt's QString.
#pragma once

#include <QString>
#include <string>

namespace qzx {

inline QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string S(const QString& s) {
    const QByteArray bytes = s.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace qzx
