#include "ui/eventlog/EventLogModel.h"

#include "ui/common/UiText.h"
#include "ui/eventlog/EventKindIcons.h"

#include <QRegularExpression>

namespace {

const char* const kHeaders[CEventLogModel::kColumnCount] = {"State", "Date", "Time", "Description",
                                                            "Op. hour"};

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

// "31.12.2026" (or "2026-12-31") as "20261231"; anything else as it is, after every date.
QString DateKey(const QString& date) {
    static const QRegularExpression dotted(R"(^(\d{1,2})\.(\d{1,2})\.(\d{2,4})$)");
    static const QRegularExpression iso(R"(^(\d{4})-(\d{1,2})-(\d{1,2})$)");
    auto key = [](const QString& y, const QString& m, const QString& d) {
        const QString year = y.size() == 2 ? "20" + y : y;
        return year.rightJustified(4, '0') + m.rightJustified(2, '0') + d.rightJustified(2, '0');
    };
    if (const auto m = dotted.match(date); m.hasMatch())
        return key(m.captured(3), m.captured(2), m.captured(1));
    if (const auto m = iso.match(date); m.hasMatch())
        return key(m.captured(1), m.captured(2), m.captured(3));
    return "~" + date;
}

// "7:05:09" as "07:05:09", so that times sort as text.
QString TimeKey(const QString& time) {
    QStringList parts = time.split(':');
    for (QString& part : parts)
        part = part.rightJustified(2, '0');
    return parts.join(':');
}

} // namespace

CEventLogModel::CEventLogModel(QObject* parent) : QAbstractTableModel(parent) {}

void CEventLogModel::SetRows(std::vector<EventLogRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_keys.clear();
    m_keys.reserve(m_rows.size());
    for (const EventLogRow& row : m_rows) {
        bool number = false;
        const double hours = Text(row.hours).trimmed().replace(',', '.').toDouble(&number);
        m_keys.push_back({DateKey(Text(row.date)) + ' ' + TimeKey(Text(row.time)), TimeKey(Text(row.time)),
                          Text(row.description).toCaseFolded(), number ? hours : -1.0});
    }
    endResetModel();
}

int CEventLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CEventLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CEventLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const size_t r = static_cast<size_t>(index.row());
    const EventLogRow& row = m_rows[r];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case kState:
            return Text(row.kindText);
        case kDate:
            return Text(row.date);
        case kTime:
            return Text(row.time);
        case kDescription:
            return Text(row.description);
        case kHours:
            return Text(row.hours);
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == kState)
            return quirel::ui::EventKindIcon(row.kind);
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == kHours)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case SortRole:
        switch (index.column()) {
        case kState:
            return Text(row.kindText);
        case kDate:
            return m_keys[r].date;
        case kTime:
            return m_keys[r].time;
        case kDescription:
            return m_keys[r].description;
        case kHours:
            return m_keys[r].hours;
        }
        break;
    case KindRole:
        return static_cast<int>(row.kind);
    case LineRole:
        return index.row();
    }
    return {};
}

QVariant CEventLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
        return quirel::ui::Tx(kHeaders[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}
