#include "app/qt/EventListModel.h"

#include "app/qt/QtText.h"
#include "watch/EventRow.h"

namespace qzx {

EventListModel::EventListModel(const MainWindow& p, QObject* parent)
    : QAbstractTableModel(parent), presenter(p) {}

int EventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownCount;
}

int EventListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles.size());
}

QVariant EventListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shownCount) return {};
    return Q(presenter.CellText(index.row(), index.column()));
}

QVariant EventListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= titles.size()) return {};
    return titles[section];
}

void EventListModel::SetTitles(const std::vector<std::string>& newTitles) {
    beginResetModel();
    titles.clear();
    for (const std::string& t : newTitles) titles << Q(t);
    endResetModel();
}

void EventListModel::ShowProcessColumn(bool shown, const std::string& title) {
    // Inserted or removed rather than reset, so that the view keeps the widths of the others.
    if (shown && titles.size() == kProcessColumn) {
        beginInsertColumns(QModelIndex(), kProcessColumn, kProcessColumn);
        titles << Q(title);
        endInsertColumns();
    } else if (!shown && titles.size() == kProcessColumn + 1) {
        beginRemoveColumns(QModelIndex(), kProcessColumn, kProcessColumn);
        titles.removeLast();
        endRemoveColumns();
    }
}

void EventListModel::Apply(const ListSync& sync) {
    if (sync.reset) {
        beginResetModel();
        shownCount = sync.rowCount;
        endResetModel();
        return;
    }
    if (sync.inserted <= 0) return;
    beginInsertRows(QModelIndex(), 0, sync.inserted - 1);
    shownCount = sync.rowCount;
    endInsertRows();
}

}  // namespace qzx
