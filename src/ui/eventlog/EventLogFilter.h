#pragma once

#include "eventlog/EventLogRows.h"

#include <QSortFilterProxyModel>

// Which rows of the event log the window shows: the chosen kinds, and among them those whose cells
// contain the search text (case-insensitive). Rows without a kind (the "No entries available." and
// "Eventlog is being read ..." rows) always show.
class CEventLogFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CEventLogFilter(QObject* parent = nullptr);

    void SetKindShown(EventKind kind, bool shown);
    bool IsKindShown(EventKind kind) const { return m_shown[static_cast<int>(kind)]; }
    void SetText(const QString& text);
    // Back to the device's order (no column sorted).
    void SortAsRead();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    bool m_shown[3] = {true, true, true};
    QString m_text;
};
