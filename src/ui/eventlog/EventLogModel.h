#pragma once

#include "eventlog/EventLogRows.h"

#include <QAbstractTableModel>

#include <vector>

// The event log's rows for a table view: the columns "State", "Date", "Time", "Description", "Op. hour",
// the kind's icon in the first. Sorting uses keys of their own (SortRole): dates and times in calendar
// order, operating hours as numbers, so that a log of thousands of lines sorts without parsing per
// comparison.
class CEventLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kState, kDate, kTime, kDescription, kHours, kColumnCount };
    enum Role { SortRole = Qt::UserRole, KindRole, LineRole };
    static constexpr int kWidths[kColumnCount] = {80, 80, 80, 450, 90};

    explicit CEventLogModel(QObject* parent = nullptr);

    // Replaces every row at once.
    void SetRows(std::vector<EventLogRow> rows);
    const std::vector<EventLogRow>& Rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Keys {
        QString date, time, description;
        double hours;
    };
    std::vector<EventLogRow> m_rows;
    std::vector<Keys> m_keys;
};
