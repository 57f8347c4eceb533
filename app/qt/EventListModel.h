// Shows the presenter's rows newest first, taking in new rows in batches rather than one repaint
// per row.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <string>
#include <vector>

#include "app/MainWindow.h"

namespace qzx {

class EventListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit EventListModel(const MainWindow& presenter, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// The column titles (UTF-8). GUI thread.
    void SetTitles(const std::vector<std::string>& titles);
    /// Adds column kProcessColumn with this title (UTF-8) after the others, or takes it away;
    /// the other columns keep their sizes. GUI thread.
    void ShowProcessColumn(bool shown, const std::string& title);
    /// Takes in what the presenter reports changed: one reset or one insert. GUI thread.
    void Apply(const ListSync& sync);

  private:
    const MainWindow& presenter;
    QStringList titles;
    int shownCount = 0;
};

}  // namespace qzx
