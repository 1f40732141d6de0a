#include "ui/commlog/CommLogModel.h"

#include "modbus/MbusTrafficText.h"
#include "ui/common/UiText.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>

using quirel::ui::Qs;
using quirel::ui::Tx;

CCommLogModel::CCommLogModel(QObject* parent, std::size_t capacity)
    : QAbstractTableModel(parent), m_capacity(capacity),
      m_fixedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {}

int CCommLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CCommLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CCommLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == kErrorRole)
        return row.error;
    if (role == Qt::ForegroundRole)
        return row.error ? QVariant(QBrush(QColor(0xB0, 0x00, 0x20))) : QVariant();
    if (role == Qt::FontRole && index.column() == kBytes)
        return m_fixedFont;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    // Texts are made for the rows on screen only: a full log holds 20 000 of them.
    const MbusTrafficEvent event = row.record.event();
    switch (index.column()) {
    case kTime:
        return Qs(mbusTrafficClock(event.time));
    case kDirection:
        return QString::fromLatin1(mbusTrafficDirection(event.kind));
    case kBytes:
        return Qs(mbusTrafficHex(event.bytes, event.length));
    case kDecoding:
        return Qs(mbusTrafficDecoding(event));
    default:
        return {};
    }
}

QVariant CCommLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kTitles[kColumnCount] = {"Time", "Dir", "Bytes", "Decoding"};
    return section >= 0 && section < kColumnCount ? Tx(kTitles[section]) : QVariant();
}

void CCommLogModel::Append(std::vector<MbusTrafficRecord>&& records, std::uint64_t droppedBefore) {
    m_dropped += droppedBefore;
    std::size_t first = 0;
    if (records.size() > m_capacity) {
        first = records.size() - m_capacity;
        m_dropped += first;
    }
    const std::size_t adding = records.size() - first;
    if (adding == 0)
        return;
    if (const std::size_t excess =
            m_rows.size() + adding > m_capacity ? m_rows.size() + adding - m_capacity : 0;
        excess > 0) {
        beginRemoveRows({}, 0, static_cast<int>(excess) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(excess));
        m_dropped += excess;
        endRemoveRows();
    }
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows({}, at, at + static_cast<int>(adding) - 1);
    for (std::size_t i = first; i < records.size(); ++i) {
        const bool error = mbusTrafficIsError(records[i].event());
        m_rows.push_back({std::move(records[i]), error});
    }
    endInsertRows();
}

void CCommLogModel::Clear() {
    beginResetModel();
    m_rows.clear();
    m_dropped = 0;
    endResetModel();
}

std::string CCommLogModel::Line(int row) const {
    return mbusTrafficLine(m_rows.at(static_cast<std::size_t>(row)).record.event());
}
