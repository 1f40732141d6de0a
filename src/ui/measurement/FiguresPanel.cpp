#include "ui/measurement/FiguresPanel.h"

#include "analysis/PairFigures.h"
#include "analysis/TraceFigures.h"
#include "base/DecimalNumber.h"
#include "measurement/ChartData.h"
#include "measurement/DocMeasurementBase.h"
#include "report/ChannelRoles.h"
#include "report/ReportTexts.h"
#include "ui/common/UiText.h"
#include "ui/measurement/FigureText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using quirel::ui::FigureText;
using quirel::ui::FixedText;
using quirel::ui::Qs;
using quirel::ui::Tx;
namespace report = quirel::report;
using namespace quirel::analysis;

namespace {

// The decimals that show `scale` with four significant digits: a channel's RMS, peak and mean alike, so
// that a mean near zero reads 0,0 rather than a string of noise.
int DecimalsFor(double scale) {
    if (!(std::abs(scale) > 0.0) || !std::isfinite(scale))
        return 3;
    return std::clamp(3 - static_cast<int>(std::floor(std::log10(std::abs(scale)))), 0, 6);
}

QIcon Swatch(const QColor& colour) {
    QPixmap picture(12, 12);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(colour.darker(130));
    painter.setBrush(colour);
    painter.drawRect(1, 1, 10, 10);
    return QIcon(picture);
}

QTableWidget* NewTable(QWidget* parent, const char* name) {
    auto* table = new QTableWidget(parent);
    table->setObjectName(name);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return table;
}

// One row: the channel's title in its colour's swatch, then the figures right-aligned.
// The cell's item, made where there is none yet; items are kept, so that figures taken several times a
// second change texts instead of making items, swatches and column sizes anew.
QTableWidgetItem* CellItem(QTableWidget* table, int row, int column, Qt::Alignment alignment) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(alignment);
        table->setItem(row, column, item);
    }
    return item;
}

void SetText(QTableWidgetItem* item, const QString& text) {
    if (item->text() != text)
        item->setText(text);
}

void SetRow(QTableWidget* table, int row, const QString& title, const QColor& colour,
            const QStringList& cells) {
    QTableWidgetItem* head = CellItem(table, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    if (head->text() != title || head->data(Qt::UserRole).value<QColor>() != colour) {
        head->setText(title);
        head->setToolTip(title);
        head->setIcon(colour.isValid() ? Swatch(colour) : QIcon());
        head->setData(Qt::UserRole, colour);
    }
    for (int c = 0; c < cells.size(); ++c)
        SetText(CellItem(table, row, c + 1, Qt::AlignRight | Qt::AlignVCenter), cells[c]);
}

void SetHeader(QTableWidget* table, const QStringList& labels) {
    table->setColumnCount(static_cast<int>(labels.size()));
    table->setHorizontalHeaderLabels(labels);
    table->horizontalHeaderItem(0)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
}

QString ChannelTitle(const Channel& c) {
    return QString("%1 %2").arg(c.id).arg(Qs(c.name));
}

} // namespace

CFiguresPanel::CFiguresPanel(bool single, QWidget* parent) : QWidget(parent), m_single(single) {
    setObjectName("figures");
    m_caption = new QLabel(this);
    m_caption->setObjectName("figuresCaption");
    m_table = NewTable(this, "channelFigures");
    auto* left = new QVBoxLayout;
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(m_caption);
    left->addWidget(m_table, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->addLayout(left, 3);
    if (!m_single) {
        SetHeader(m_table,
                  {Tx("Channel"), Tx("Unit"), Tx("Minimum"), Qs(report::Text(report::kMean)), Tx("Maximum")});
        return;
    }
    SetHeader(m_table, {Tx("Channel"), Tx("Unit"), Qs(report::Text(report::kRms)),
                        Qs(report::Text(report::kPeak)), Qs(report::Text(report::kMean)), "f [Hz]",
                        Qs(report::Text(report::kThd)), Qs(report::Text(report::kPeriods))});
    m_caption->setText(Tx("Over the whole mains periods of each channel, values as stored"));

    m_pairTable = NewTable(this, "pairFigures");
    SetHeader(m_pairTable,
              {Tx("Pair"), Qs(report::Text(report::kPhaseAngle)), Qs(report::Text(report::kDpf)),
               Qs(report::Text(report::kPf)), Qs(report::Text(report::kActivePower)),
               Qs(report::Text(report::kReactivePower)), Qs(report::Text(report::kApparentPower))});
    m_voltage = new QComboBox(this);
    m_voltage->setObjectName("pairVoltage");
    m_current = new QComboBox(this);
    m_current->setObjectName("pairCurrent");
    for (QComboBox* box : {m_voltage, m_current}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        // Short: the channel names in the figures table need the width more (the list shows them whole).
        box->setMinimumContentsLength(8);
    }
    m_add = new QPushButton(Tx("Add pair"), this);
    m_add->setObjectName("addPair");
    m_remove = new QPushButton(Tx("Remove pair"), this);
    m_remove->setObjectName("removePair");
    connect(m_add, &QPushButton::clicked, this, [this] {
        if (m_voltage->currentIndex() >= 0 && m_current->currentIndex() >= 0)
            AddPair(m_voltage->currentData().toUInt(), m_current->currentData().toUInt());
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        const int row = m_pairTable->currentRow();
        if (row >= 0 && row < static_cast<int>(m_pairs.size())) {
            m_pairs.erase(m_pairs.begin() + row);
            ShowPairs();
        }
    });
    auto* pick = new QHBoxLayout;
    pick->addWidget(new QLabel("U", this));
    pick->addWidget(m_voltage, 1);
    pick->addWidget(new QLabel("I", this));
    pick->addWidget(m_current, 1);
    pick->addWidget(m_add);
    pick->addWidget(m_remove);
    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(new QLabel(Tx("Voltage and current of a phase"), this));
    right->addWidget(m_pairTable, 1);
    right->addLayout(pick);
    layout->addLayout(right, 2);
}

QSize CFiguresPanel::sizeHint() const {
    QSize hint = QWidget::sizeHint();
    if (m_single)
        return hint;
    const int rows = std::clamp(m_table->rowCount(), 4, 10);
    const QMargins margins = layout()->contentsMargins();
    hint.setHeight(margins.top() + margins.bottom() + m_caption->sizeHint().height() + 6 +
                   m_table->horizontalHeader()->sizeHint().height() +
                   rows * m_table->verticalHeader()->defaultSectionSize() + 2 * m_table->frameWidth());
    return hint;
}

QString CFiguresPanel::Cell(int row, int column) const {
    const QTableWidgetItem* item = m_table->item(row, column);
    return item ? item->text() : QString();
}

void CFiguresPanel::ShowFigures(MeasurementChannels channels, const std::vector<QColor>& colours,
                                bool fresh) {
    m_channels = std::move(channels);
    const MeasurementChannels& m = m_channels;
    m_nominalHz = NominalMainsHz(m);
    m_table->setRowCount(static_cast<int>(m.channels.size()));
    for (size_t k = 0; k < m.channels.size(); ++k) {
        const Channel& c = m.channels[k];
        const TraceFigures f = AnalyseTrace(c.values, m.sampleRateHz, m_nominalHz);
        const int decimals = DecimalsFor(f.peak);
        SetRow(m_table, static_cast<int>(k), ChannelTitle(c), k < colours.size() ? colours[k] : QColor(),
               {Qs(c.unit), FixedText(f.rms, decimals), FixedText(f.peak, decimals),
                FixedText(f.mean, decimals), FixedText(f.frequencyHz, 3), FixedText(f.thdPercent, 2),
                QString::number(f.periods)});
    }
    if (fresh) {
        m_pairs.clear();
        for (const Channel& u : m.channels) {
            const report::ChannelRole role = report::RoleOfParameter(u.id);
            if (u.derived || role.quantity != report::ChannelRole::kMainsVoltage)
                continue;
            for (const Channel& i : m.channels)
                if (!i.derived && report::RoleOfParameter(i.id) ==
                                      report::ChannelRole{report::ChannelRole::kMainsCurrent, role.phase})
                    m_pairs.push_back({u.id, i.id});
        }
    }
    FillChoices();
    ShowPairs();
}

void CFiguresPanel::FillChoices() {
    for (auto [box, unit] : {std::pair{m_voltage, "V"}, {m_current, "A"}}) {
        const QVariant kept = box->currentData();
        box->clear();
        for (const Channel& c : m_channels.channels)
            if (c.unit == unit)
                box->addItem(ChannelTitle(c), c.id);
        box->setCurrentIndex(std::max(0, box->findData(kept)));
    }
    m_add->setEnabled(m_voltage->count() > 0 && m_current->count() > 0);
}

void CFiguresPanel::AddPair(uint32_t voltageId, uint32_t currentId) {
    m_pairs.push_back({voltageId, currentId});
    ShowPairs();
}

void CFiguresPanel::ShowPairs() {
    // A pair whose channels the measurement no longer has is not shown.
    std::vector<Pair> shown;
    for (const Pair& p : m_pairs)
        if (m_channels.Find(p.first) && m_channels.Find(p.second))
            shown.push_back(p);
    m_pairs = shown;
    m_pairTable->setRowCount(static_cast<int>(m_pairs.size()));
    for (size_t k = 0; k < m_pairs.size(); ++k) {
        const Channel& u = *m_channels.Find(m_pairs[k].first);
        const Channel& i = *m_channels.Find(m_pairs[k].second);
        const PairFigures p = AnalysePair(u.values, i.values, m_channels.sampleRateHz, m_nominalHz);
        SetRow(m_pairTable, static_cast<int>(k), QString("%1 / %2").arg(u.id).arg(i.id), QColor(),
               {FixedText(p.phaseDeg, 1), FixedText(p.displacementPowerFactor, 3),
                FixedText(p.powerFactor, 3), FigureText(p.activePowerW / 1000.0),
                FigureText(p.reactivePowerVar / 1000.0), FigureText(p.apparentPowerVA / 1000.0)});
        m_pairTable->item(static_cast<int>(k), 0)->setToolTip(ChannelTitle(u) + " / " + ChannelTitle(i));
    }
    m_remove->setEnabled(!m_pairs.empty());
}

void CFiguresPanel::ShowRange(const CDocMeasurementBase& doc, const CChartData& data, size_t first,
                              size_t end, const std::vector<QColor>& colours) {
    const int channels =
        std::min({doc.GetShownChannelCount(), data.GetChannelCount(), static_cast<int>(colours.size())});
    m_table->setRowCount(channels);
    for (int i = 0; i < channels; ++i) {
        const CChartColumn::RangeStats s = data.Column(i).Summarise(first, end);
        const int precision = doc.GetChannelPrecision(i);
        SetRow(m_table, i, Qs(doc.GetChannelTitle(i)), colours[static_cast<size_t>(i)],
               {Qs(doc.GetChannelUnit(i)).trimmed(), FixedText(s.min, precision),
                FixedText(s.mean, precision + 1), FixedText(s.max, precision)});
    }
    const QString unit = doc.GetTimeUnit();
    m_caption->setText(end > first
                           ? Tx("Visible range: %1 values, %2 to %3 %4")
                                 .arg(end - first)
                                 .arg(Qs(quirel::formatDecimalComma(data.X(double(first)), 2)),
                                      Qs(quirel::formatDecimalComma(data.X(double(end - 1)), 2)), unit)
                           : Tx("Visible range: no values"));
}
