#include "ui/eventlog/EventLogFilter.h"

#include "ui/eventlog/EventLogModel.h"

CEventLogFilter::CEventLogFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(CEventLogModel::SortRole);
}

void CEventLogFilter::SetKindShown(EventKind kind, bool shown) {
    if (m_shown[static_cast<int>(kind)] == shown)
        return;
    m_shown[static_cast<int>(kind)] = shown;
    invalidateFilter();
}

void CEventLogFilter::SetText(const QString& text) {
    const QString folded = text.trimmed().toCaseFolded();
    if (folded == m_text)
        return;
    m_text = folded;
    invalidateFilter();
}

void CEventLogFilter::SortAsRead() {
    sort(-1);
}

bool CEventLogFilter::filterAcceptsRow(int sourceRow, const QModelIndex& parent) const {
    const QAbstractItemModel* model = sourceModel();
    const QModelIndex state = model->index(sourceRow, CEventLogModel::kState, parent);
    if (model->data(state, Qt::DisplayRole).toString().isEmpty())
        return true;
    if (!m_shown[model->data(state, CEventLogModel::KindRole).toInt()])
        return false;
    if (m_text.isEmpty())
        return true;
    for (int c = 0; c < CEventLogModel::kColumnCount; ++c)
        if (model->data(model->index(sourceRow, c, parent), Qt::DisplayRole)
                .toString()
                .toCaseFolded()
                .contains(m_text))
            return true;
    return false;
}

bool CEventLogFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(sortRole()), b = right.data(sortRole());
    if (a != b)
        return QVariant::compare(a, b) == QPartialOrdering::Less;
    // Equal keys keep the device's order.
    return left.data(CEventLogModel::LineRole).toInt() < right.data(CEventLogModel::LineRole).toInt();
}
