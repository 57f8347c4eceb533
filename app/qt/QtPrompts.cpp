#include "app/qt/QtPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "app/Texts.h"
#include "app/qt/QtText.h"

namespace qzx {
void QtPrompts::ShowMessage(const std::string& text, MessageIcon icon) {
    QMessageBox box(
        icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::Information,
        QString::fromUtf8(texts::kAppName), Q(text), QMessageBox::Ok, owner);
    // Messages carry paths and fetched text: shown as written, never as markup or links.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtPrompts::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(texts::kAppName), Q(text),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

int QtPrompts::ChooseFolder(const std::string& title, std::string& path) {
    const QString chosen = QFileDialog::getExistingDirectory(owner, Q(title));
    if (chosen.isEmpty()) return 0;
    path = S(chosen);
    return 1;
}

int QtPrompts::ChooseSaveFile(const std::vector<FileFilter>& filters, std::string& path) {
    QStringList nameFilters;
    for (const FileFilter& f : filters) nameFilters << Q(f.label);
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters);
    // The program asks about overwriting itself, with its own wording.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
    path = S(dialog.selectedFiles().first());
    return 1;
}

}  // namespace qzx
