#include "app/qt/IgnoreListDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/DialogTemplate.h"
#include "app/MainWindow.h"
#include "app/qt/QtText.h"

namespace qzx {

IgnoreListDialog::IgnoreListDialog(const std::string& title, const std::string& text, bool checked,
                                   QWidget* parent)
    : QDialog(parent) {
    const DialogTemplate& t = IgnoreListTemplate();
    setWindowTitle(Q(title));
    setFont(QtFont(MainWindow::DialogFont()));
    setFixedSize(DialogUnitsToPixels(t.width), DialogUnitsToPixels(t.height));
    for (const TemplateControl& c : t.controls) {
        QWidget* w = nullptr;
        if (c.kind == ControlKind::Edit) {
            editor = new QPlainTextEdit(this);
            // A pattern is one line: a long one scrolls rather than looking like two.
            editor->setLineWrapMode(QPlainTextEdit::NoWrap);
            editor->setTabChangesFocus(true);
            editor->setPlainText(Q(text));
            w = editor;
        } else if (c.kind == ControlKind::CheckBox) {
            box = new QCheckBox(Q(c.caption), this);
            box->setChecked(checked);
            w = box;
        } else if (c.kind == ControlKind::DefaultPushButton || c.kind == ControlKind::PushButton) {
            auto* button = new QPushButton(Q(c.caption), this);
            // Enter in the text starts a new line; only a click or Space on the button is OK.
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this,
                    c.id == kIdOk ? &QDialog::accept : &QDialog::reject);
            w = button;
        } else {
            auto* label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setText(Q(c.caption));
            w = label;
        }
        w->setGeometry(TemplatePixels(c.units));
    }
    if (editor != nullptr) editor->setFocus();
}

bool IgnoreListDialog::Checked() const { return box != nullptr && box->isChecked(); }

std::string IgnoreListDialog::Text() const {
    return editor != nullptr ? S(editor->toPlainText()) : std::string();
}

}  // namespace qzx
