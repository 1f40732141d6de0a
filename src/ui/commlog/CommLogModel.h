#pragma once

#include "modbus/MbusTrafficRecorder.h"

#include <QAbstractTableModel>
#include <QFont>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// The communication log's rows: the last `capacity` traffic events, oldest first. Older ones are dropped
// and counted as more arrive.
class CCommLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kTime, kDirection, kBytes, kDecoding, kColumnCount };
    // True for a discarded frame, a time-out or an exception response.
    static constexpr int kErrorRole = Qt::UserRole + 1;
    static constexpr std::size_t kCapacity = 20000;

    explicit CCommLogModel(QObject* parent = nullptr, std::size_t capacity = kCapacity);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Appends a batch; what does not fit pushes the oldest rows out. `droppedBefore` counts events lost
    // before they reached the model.
    void Append(std::vector<MbusTrafficRecord>&& records, std::uint64_t droppedBefore = 0);
    void Clear();
    // Events not shown because the log holds only the newest `capacity`.
    std::uint64_t Dropped() const { return m_dropped; }
    // The row as quirel-cli --trace writes it.
    std::string Line(int row) const;

private:
    struct Row {
        MbusTrafficRecord record;
        bool error = false;
    };
    std::size_t m_capacity;
    QFont m_fixedFont;
    std::deque<Row> m_rows;
    std::uint64_t m_dropped = 0;
};
