#include "app/qt/EventListModel.h"

#include <limits>

#include "app/qt/QtText.h"

namespace qzx {

EventListModel::EventListModel(const EventList& l, QObject* parent)
    : QAbstractTableModel(parent), list(l), shownGeneration(l.Generation()) {}

int EventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownCount;
}

int EventListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

bool EventListModel::RowAtView(int viewRow, EventRow& out) const {
    if (viewRow < 0 || viewRow >= shownCount) return false;
    // The list keeps the oldest row first; the view shows the newest on top.
    return list.RowAt(shownGeneration, static_cast<std::size_t>(shownCount - 1 - viewRow), out);
}

QVariant EventListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    EventRow row;
    if (!RowAtView(index.row(), row)) return {};
    const std::string text = ColumnText(row, index.column());
    return Q(text);
}

QVariant EventListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[] = {"ID", "时间", "类型", "详细"};
    if (section < 0 || section > 3) return {};
    return QString::fromUtf8(kTitles[section]);
}

void EventListModel::Sync() {
    const std::uint64_t generation = list.Generation();
    const std::size_t size = list.Size();
    const int count =
        static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
    if (generation != shownGeneration) {
        beginResetModel();
        shownGeneration = generation;
        shownCount = count;
        endResetModel();
        return;
    }
    if (count > shownCount) {
        beginInsertRows(QModelIndex(), 0, count - shownCount - 1);
        shownCount = count;
        endInsertRows();
    }
}

}  // namespace qzx
