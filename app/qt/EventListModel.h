// Shows an EventList newest first, taking in new rows in batches rather than one repaint per row.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>

#include "watch/EventList.h"

namespace qzx {

class EventListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit EventListModel(const EventList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// Takes in what changed in the list since the last call. GUI thread, every ~50 ms.
    void Sync();
    /// The row shown at view row i (0 is the newest); false when there is none.
    bool RowAtView(int viewRow, EventRow& out) const;

  private:
    const EventList& list;
    std::uint64_t shownGeneration = 0;
    int shownCount = 0;
};

}  // namespace qzx
