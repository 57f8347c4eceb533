// Between the program's UTF-8 std::string and Qt's QString, its fonts and Qt's, and its
// template rectangles and Qt's.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <string>

#include "app/DialogTemplate.h"
#include "app/MainWindowView.h"

namespace qzx {

inline QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string S(const QString& s) {
    const QByteArray bytes = s.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

/// A font of the window as Qt describes it: the first of its faces that is installed.
inline QFont QtFont(const FontSpec& wanted) {
    QFont font;
    QStringList families;
    for (const std::string& face : wanted.faces) families << Q(face);
    font.setFamilies(families);
    font.setPointSizeF(wanted.tenthsOfPoint / 10.0);
    return font;
}

/// A template rectangle in dialog units as the pixels Qt places a widget at.
inline QRect TemplatePixels(const Rect& units) {
    const Rect r = TemplateRectToPixels(units);
    return QRect(r.x, r.y, r.width, r.height);
}

}  // namespace qzx
