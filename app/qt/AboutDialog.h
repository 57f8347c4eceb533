// The About box, built from its template.
#pragma once

#include <QDialog>
#include <string>

namespace qzx {

class AboutDialog final : public QDialog {
    Q_OBJECT
  public:
    /// logFolder (UTF-8) is named in the box, so the user knows where the daily log goes.
    explicit AboutDialog(const std::string& logFolder, QWidget* parent = nullptr);
};

}  // namespace qzx
