#include "app/qt/AboutDialog.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/DialogTemplate.h"
#include "app/MainWindow.h"
#include "app/Texts.h"
#include "app/qt/QtText.h"

namespace qzx {
AboutDialog::AboutDialog(const std::string& logFolder, QWidget* parent) : QDialog(parent) {
    const DialogTemplate& t = AboutBoxTemplate();
    setWindowTitle(QString::fromStdString(t.caption));
    // A window takes no font from its parent: the template's font is set here as well.
    setFont(QtFont(MainWindow::DialogFont()));
    const int boxWidth = DialogUnitsToPixels(t.width);
    const int boxHeight = DialogUnitsToPixels(t.height);
    const int lineHeight = DialogUnitsToPixels(kAboutLogLineHeight);
    setFixedSize(boxWidth, boxHeight + lineHeight);
    for (const TemplateControl& c : t.controls) {
        const QString caption = QString::fromStdString(c.caption);
        if (c.kind == ControlKind::Picture) {
            auto* icon = new QLabel(this);
            icon->setPixmap(QPixmap(":/res/icon128.png"));
            icon->setScaledContents(true);
            icon->setGeometry(TemplatePixels(c.units));
        } else if (c.kind == ControlKind::DefaultPushButton || c.kind == ControlKind::PushButton) {
            auto* ok = new QPushButton(caption, this);
            ok->setDefault(true);
            ok->setGeometry(TemplatePixels(c.units));
            connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        } else {
            auto* label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setText(caption);
            label->setGeometry(TemplatePixels(c.units));
        }
    }
    auto* log = new QLabel(this);
    log->setTextFormat(Qt::PlainText);
    log->setText(Q(std::string(texts::kAboutLogFolder) + logFolder));
    log->setTextInteractionFlags(Qt::TextSelectableByMouse);
    log->setObjectName("logFolder");
    const Rect line =
        AboutLogLineRect(boxWidth, boxHeight, DialogUnitsToPixels(kAboutLogLineIndent), lineHeight);
    log->setGeometry(line.x, line.y, line.width, line.height);
}

}  // namespace qzx
