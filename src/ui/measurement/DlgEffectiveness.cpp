#include "ui/measurement/DlgEffectiveness.h"

#include "report/ReportTexts.h"
#include "ui/common/UiText.h"
#include "ui/measurement/ChartFiles.h"
#include "ui/measurement/FigureText.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>

using quirel::ui::FigureText;
using quirel::ui::FixedText;
using quirel::ui::Qs;
using quirel::ui::Tx;
using namespace quirel::report;

namespace {

// The report's colours: the load's current warm, the mains' cool.
const QColor kBeforeColour(0xD9, 0x82, 0x2B);
const QColor kAfterColour(0x1F, 0x6F, 0xB2);
const QColor kGainColour(0x2E, 0x7D, 0x32);

// A card: a caption, one large figure in `colour`, a line below it.
QFrame* Card(QWidget* parent, const QString& caption, const QColor& colour, QLabel*& value, QLabel** below) {
    auto* card = new QFrame(parent);
    card->setObjectName("card");
    card->setStyleSheet(
        "QFrame#card { background: #fbfbfc; border: 1px solid #d8dce3; border-radius: 6px; }");
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(14, 8, 14, 10);
    layout->setSpacing(2);
    auto* title = new QLabel(caption, card);
    title->setStyleSheet("color: #4a5566;");
    value = new QLabel(card);
    QFont big = value->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    value->setFont(big);
    value->setStyleSheet(QString("color: %1;").arg(colour.name()));
    layout->addWidget(title);
    layout->addWidget(value);
    if (below) {
        *below = new QLabel(card);
        (*below)->setStyleSheet("color: #4a5566;");
        layout->addWidget(*below);
    }
    return card;
}

} // namespace

CDlgEffectiveness::CDlgEffectiveness(ReportMeasurement measurement, QWidget* parent)
    : QDialog(parent), m_measurement(std::move(measurement)) {
    setObjectName("dlgEffectiveness");
    setWindowTitle(Qs(Text(kEffectiveness)));
    setSizeGripEnabled(true);
    resize(1100, 680);

    m_page = new QWidget(this);
    m_page->setObjectName("effectivenessPage");
    m_page->setAutoFillBackground(true);
    QPalette white = m_page->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_page->setPalette(white);

    auto* heading = new QLabel(Qs(Text(kEffectiveness)), m_page);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.6);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    heading->setStyleSheet("color: #14365d;");
    m_phase = new QComboBox(m_page);
    m_phase->setObjectName("phase");
    for (const ReportEffectiveness& e : m_measurement.effectiveness)
        m_phase->addItem(Qs(Text(kPhase)) + QString(" L%1").arg(e.phase));
    m_sources = new QLabel(m_page);
    m_sources->setObjectName("sources");
    m_sources->setStyleSheet("color: #4a5566;");
    m_sources->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(heading, 1);
    top->addWidget(m_phase);

    auto* cards = new QHBoxLayout;
    cards->addWidget(Card(m_page, Qs(Text(kLoadBefore)) + ": THD", kBeforeColour, m_before, &m_beforeRms));
    cards->addWidget(Card(m_page, Qs(Text(kMainsAfter)) + ": THD", kAfterColour, m_after, &m_afterRms));
    QLabel* removedNote = nullptr;
    cards->addWidget(
        Card(m_page, Tx("Harmonic current kept from the mains"), kGainColour, m_removed, &removedNote));
    removedNote->setText(Tx("orders 2 to 40, as the sum of their squares"));

    m_chart = new QCustomPlot(m_page);
    m_chart->setObjectName("effectivenessChart");
    m_chart->setBackground(Qt::white);
    m_chart->setLocale(quirel::ui::ChartNumberLocale());
    m_chart->setMinimumHeight(300);
    m_barsBefore = new QCPBars(m_chart->xAxis, m_chart->yAxis);
    m_barsAfter = new QCPBars(m_chart->xAxis, m_chart->yAxis);
    auto* group = new QCPBarsGroup(m_chart);
    for (auto [bars, colour, text] : {std::tuple{m_barsBefore, kBeforeColour, kLoadBefore},
                                      std::tuple{m_barsAfter, kAfterColour, kMainsAfter}}) {
        bars->setWidth(0.38);
        bars->setPen(Qt::NoPen);
        bars->setBrush(colour);
        bars->setName(Qs(Text(text)));
        bars->setBarsGroup(group);
    }
    group->setSpacing(1);
    m_chart->xAxis->setLabel(Qs(Text(kHarmonicOrder)));
    m_chart->yAxis->setLabel(Qs(Text(kHarmonicCurrent)));
    m_chart->xAxis->grid()->setVisible(false);
    m_chart->yAxis->grid()->setPen(QPen(QColor(225, 228, 234)));
    for (QCPAxis* axis : {m_chart->xAxis, m_chart->yAxis})
        axis->setBasePen(QPen(QColor(150, 150, 150)));
    m_chart->legend->setVisible(true);
    m_chart->legend->setBorderPen(Qt::NoPen);
    m_chart->legend->setBrush(QColor(255, 255, 255, 220));
    m_chart->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

    m_table = new QTableWidget(0, 4, m_page);
    m_table->setObjectName("reductions");
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setHorizontalHeaderLabels(
        {Qs(Text(kOrder)), Tx("Without [A]"), Tx("With [A]"), Qs(Text(kReduction)) + " [%]"});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->setMinimumWidth(360);
    auto* note = new QLabel(Qs(Text(kSmallOrdersLeftOut)), m_page);
    note->setWordWrap(true);
    note->setStyleSheet("color: #6b7480; font-size: small;");
    auto* side = new QVBoxLayout;
    side->addWidget(m_table, 1);
    side->addWidget(note);
    side->addStretch(0);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_chart, 3);
    middle->addLayout(side, 1);

    auto* pageLayout = new QVBoxLayout(m_page);
    pageLayout->setContentsMargins(16, 12, 16, 12);
    pageLayout->addLayout(top);
    pageLayout->addWidget(m_sources);
    pageLayout->addLayout(cards);
    pageLayout->addLayout(middle, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* print = buttons->addButton(Tx("Print"), QDialogButtonBox::ActionRole);
    QPushButton* save = buttons->addButton(Tx("Save as ..."), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(print, &QPushButton::clicked, this, [this] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() == QDialog::Accepted)
            PrintTo(printer);
    });
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path =
            quirel::ui::ChooseChartFile(this, true, {"PNG (*.png)", "JPEG (*.jpg)", "BMP (*.bmp)"}, "png");
        if (!path.isEmpty() && !m_page->grab().save(path))
            quirel::ui::ShowChartNotWritten(this);
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(m_page, 1);
    layout->addWidget(buttons);
    layout->setStretch(0, 1);

    connect(m_phase, &QComboBox::currentIndexChanged, this, &CDlgEffectiveness::ShowPhase);
    ShowPhase(0);
}

QString CDlgEffectiveness::ChannelName(uint32_t id) const {
    for (const ReportChannel& c : m_measurement.channels)
        if (c.id == id)
            return QString("%1 %2").arg(id).arg(Qs(c.name));
    return QString::number(id);
}

void CDlgEffectiveness::ShowPhase(int index) {
    if (index < 0 || index >= static_cast<int>(m_measurement.effectiveness.size()))
        return;
    const ReportEffectiveness& e = m_measurement.effectiveness[static_cast<size_t>(index)];
    const quirel::analysis::Effectiveness& f = e.figures;
    const QString load = e.loadId ? ChannelName(e.loadId)
                                  : Qs(Text(kLoadCurrentName, {std::to_string(e.phase)})) +
                                        QString(": %1 \xE2\x88\x92 %2").arg(e.mainsId).arg(e.filterId);
    m_sources->setText(Qs(Text(kLoadBefore)) + ": " + load + "   \xC2\xB7   " + Qs(Text(kMainsAfter)) + ": " +
                       ChannelName(e.mainsId));
    m_before->setText(FixedText(f.before.thdPercent, 1) + " %");
    m_after->setText(FixedText(f.after.thdPercent, 1) + " %");
    m_removed->setText(FixedText(f.harmonicReductionPercent, 0) + " %");
    m_beforeRms->setText(Qs(Text(kRms)) + " " + FigureText(f.before.rms, 4) + " A");
    m_afterRms->setText(Qs(Text(kRms)) + " " + FigureText(f.after.rms, 4) + " A");

    // The orders up to the highest the load draws a share of, at least to the 13th, as the report shows.
    int highest = 13;
    for (const quirel::analysis::Effectiveness::Order& o : f.orders)
        if (o.significant)
            highest = std::max(highest, o.order);
    QVector<double> keys, before, after;
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    m_chart->clearItems();
    m_table->setRowCount(0);
    double top = 0.0;
    for (const quirel::analysis::Effectiveness::Order& o : f.orders) {
        if (o.order > highest)
            break;
        keys << o.order;
        before << o.before / std::numbers::sqrt2;
        after << o.after / std::numbers::sqrt2;
        ticker->addTick(o.order, QString::number(o.order));
        top = std::max({top, before.back(), after.back()});
    }
    for (const quirel::analysis::Effectiveness::Order& o : f.orders) {
        if (!o.significant)
            continue;
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const QString cells[] = {QString::number(o.order), FigureText(o.before / std::numbers::sqrt2, 3),
                                 FigureText(o.after / std::numbers::sqrt2, 3),
                                 FixedText(o.reductionPercent, 1)};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, c, item);
        }
        if (o.order > highest || !std::isfinite(o.reductionPercent))
            continue;
        // Each order's reduction above its pair of bars.
        auto* label = new QCPItemText(m_chart);
        label->position->setCoords(o.order, std::max(o.before, o.after) / std::numbers::sqrt2);
        label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        label->setText((o.reductionPercent >= 0 ? QString("\xE2\x88\x92") : QString("+")) +
                       FixedText(std::abs(o.reductionPercent), 0) + " %");
        label->setColor(o.reductionPercent >= 0 ? kGainColour : QColor(0xB0, 0x00, 0x20));
        QFont small = label->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        label->setFont(small);
        label->setPadding(QMargins(0, 0, 0, 2));
    }
    // As tall as its rows, so that the note stays below them rather than at the foot of the page.
    m_table->setMaximumHeight(m_table->horizontalHeader()->sizeHint().height() +
                              m_table->rowCount() * m_table->verticalHeader()->defaultSectionSize() +
                              2 * m_table->frameWidth());
    m_barsBefore->setData(keys, before, true);
    m_barsAfter->setData(keys, after, true);
    m_chart->xAxis->setTicker(ticker);
    m_chart->xAxis->setRange(1.4, highest + 0.6);
    m_chart->yAxis->setRange(0, top > 0 ? top * 1.15 : 1.0);
    m_chart->replot();
}

void CDlgEffectiveness::PrintTo(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = std::min(page.width() / m_page->width(), page.height() / m_page->height());
    painter.scale(scale, scale);
    m_page->render(&painter);
    painter.end();
}
