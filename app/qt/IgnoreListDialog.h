// The ignore list's dialog, built from its template: the hint, the patterns as text, the check
// box for the tree's own .gitignore files, OK and Cancel. It only edits text; the presenter checks
// and keeps it.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QPlainTextEdit;

namespace qzx {

class IgnoreListDialog final : public QDialog {
    Q_OBJECT
  public:
    /// title and text in UTF-8; text's lines joined by "\n".
    IgnoreListDialog(const std::string& title, const std::string& text, bool checked,
                     QWidget* parent = nullptr);
    /// The text as it stands, in UTF-8.
    std::string Text() const;
    QPlainTextEdit* Editor() const { return editor; }
    /// The check box as it stands.
    bool Checked() const;

  private:
    QPlainTextEdit* editor = nullptr;
    QCheckBox* box = nullptr;
};

}  // namespace qzx
