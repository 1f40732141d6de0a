#include "ui/measurement/DlgFft.h"

#include "analysis/AnalysisTexts.h"
#include "base/DecimalNumber.h"
#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "measurement/SpreadsheetFile.h"
#include "report/ReportTexts.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UiText.h"
#include "ui/measurement/ChartFiles.h"
#include "ui/measurement/LimitChooser.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsFrequency = 213; // "Frequency [Hz]"
constexpr unsigned kIdsAmplitude = 214; // "Amplitude"
constexpr const char* kCursorLayer = "cursor";

QString CommaFixed(double value, int precision) {
    return Qs(quirel::formatDecimalComma(value, precision));
}

const QColor kLimitColour(0xC6, 0x28, 0x28);
const QColor kPassColour(0x2E, 0x7D, 0x32);

QString VerdictWord(quirel::analysis::Verdict v) {
    using quirel::analysis::Verdict;
    return v == Verdict::kNone ? QString("--")
                               : Qs(quirel::report::Text(v == Verdict::kPass ? quirel::report::kPass
                                                                             : quirel::report::kFail));
}

} // namespace

CDlgFft::CDlgFft(QWidget* parent) : QDialog(parent), m_chooseFile(quirel::ui::ChooseChartFile) {
    setObjectName("dlgFft");
    setWindowTitle("FFT");
    setSizeGripEnabled(true);
    resize(1100, 640);

    m_chart = new QCustomPlot(this);
    m_chart->setObjectName("fftChart");
    m_chart->setBackground(Qt::white);
    m_chart->setLocale(quirel::ui::ChartNumberLocale());
    m_chart->xAxis2->setVisible(true);
    m_chart->xAxis2->setTickLabels(false);
    m_chart->yAxis2->setVisible(true);
    m_chart->yAxis2->setTickLabels(false);
    m_chart->axisRect()->setMinimumMargins(QMargins(20, 5, 20, 5));
    m_chart->setFocusPolicy(Qt::StrongFocus);
    m_chart->setAutoAddPlottableToLegend(false);
    m_bars = new QCPBars(m_chart->xAxis, m_chart->yAxis);
    m_limitLine = m_chart->addGraph();
    m_limitLine->setObjectName("limitLine");
    m_limitLine->setPen(QPen(kLimitColour, 1.8, Qt::DashLine));
    m_limitLine->addToLegend();
    m_chart->legend->setBrush(QColor(255, 255, 255, 230));
    m_chart->legend->setBorderPen(QPen(QColor(200, 200, 200)));
    m_chart->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    m_chart->addLayer(kCursorLayer, m_chart->layer("main"), QCustomPlot::limAbove);
    m_chart->layer(kCursorLayer)->setMode(QCPLayer::lmBuffered);
    m_cursorLine = new QCPItemStraightLine(m_chart);
    m_cursorLine->setLayer(kCursorLayer);
    m_cursorLine->setPen(QPen(QColor(0, 0, 255), 1.5)); // blue, as cursor 1 of the measurement chart
    m_readout = new QCPItemText(m_chart);
    m_readout->setLayer(kCursorLayer);
    m_readout->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_readout->setColor(QColor(0, 0, 255));
    m_readout->setBrush(QColor(255, 255, 255, 220));
    m_readout->setPadding(QMargins(4, 2, 4, 2));

    connect(m_chart, &QCustomPlot::mousePress, this, [this](QMouseEvent* e) {
        if (e->button() != Qt::LeftButton)
            return;
        m_dragging = true;
        MoveCursorTo(m_chart->xAxis->pixelToCoord(e->pos().x()));
    });
    connect(m_chart, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) {
        if (m_dragging)
            MoveCursorTo(m_chart->xAxis->pixelToCoord(e->pos().x()));
    });
    connect(m_chart, &QCustomPlot::mouseRelease, this, [this](QMouseEvent*) { m_dragging = false; });

    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName("harmonics");
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->setAlternatingRowColors(true);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(m_harmonics.orders.size()))
            SetCursorBin(m_harmonics.orders[static_cast<size_t>(row)].bin);
    });
    m_thd = new QLabel(this);
    m_thd->setObjectName("thd");
    QFont bold = m_thd->font();
    bold.setBold(true);
    m_thd->setFont(bold);
    m_note = new QLabel(this);
    m_note->setObjectName("harmonicsNote");
    m_note->setWordWrap(true);

    m_limits = new CLimitChooser(CLimitChooser::Kinds::kAll, QString(), this);
    m_limits->setObjectName("limits");
    connect(m_limits, &CLimitChooser::changed, this, [this] {
        FillHarmonics();
        m_chart->replot();
    });
    m_verdict = new QLabel(this);
    m_verdict->setObjectName("verdict");
    m_verdict->setWordWrap(true);
    m_indicative = new QLabel(Qs(quirel::analysis::IndicativeNoteText()), this);
    m_indicative->setObjectName("indicative");
    m_indicative->setWordWrap(true);
    m_indicative->setStyleSheet("color: #555555; font-size: small;");

    m_logarithmic = new QCheckBox(Tx("Logarithmic amplitude"), this);
    m_logarithmic->setObjectName("logarithmic");
    connect(m_logarithmic, &QCheckBox::toggled, this, &CDlgFft::SetLogarithmic);

    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(new QLabel(Tx("Harmonics"), side));
    sideLayout->addWidget(m_table, 1);
    sideLayout->addWidget(m_thd);
    sideLayout->addWidget(m_note);
    sideLayout->addWidget(m_limits);
    sideLayout->addWidget(m_verdict);
    sideLayout->addWidget(m_indicative);
    sideLayout->addWidget(m_logarithmic);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_chart);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* print = buttons->addButton(Tx("Print"), QDialogButtonBox::ActionRole);
    print->setObjectName("print");
    QPushButton* save = buttons->addButton(Tx("Save as ..."), QDialogButtonBox::ActionRole);
    save->setObjectName("saveAs");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(print, &QPushButton::clicked, this, &CDlgFft::OnPrint);
    connect(save, &QPushButton::clicked, this, &CDlgFft::OnSaveAs);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);
}

void CDlgFft::Fill(const Input& input, const Spectrum::Result& spectrum) {
    m_input = input;
    m_spectrum = spectrum;
    m_harmonics = Spectrum::AnalyseHarmonics(spectrum, input.mainsHz, input.divider);
    m_unit = input.unit;
    m_precision = input.precision;
    setWindowTitle(QString("%1 %2").arg(input.parameterId).arg(input.name));

    m_chart->xAxis->setLabel(quirel::ui::ResourceText(kIdsFrequency));
    m_chart->yAxis->setLabel(m_unit.isEmpty()
                                 ? quirel::ui::ResourceText(kIdsAmplitude)
                                 : quirel::ui::ResourceText(kIdsAmplitude) + " [" + m_unit + "]");
    QVector<double> keys(static_cast<qsizetype>(spectrum.frequencyHz.size()));
    QVector<double> values(static_cast<qsizetype>(spectrum.amplitude.size()));
    double top = 0.0;
    for (size_t k = 0; k < spectrum.amplitude.size(); ++k) {
        keys[static_cast<qsizetype>(k)] = spectrum.frequencyHz[k];
        values[static_cast<qsizetype>(k)] = spectrum.amplitude[k];
        if (std::isfinite(spectrum.amplitude[k]))
            top = std::max(top, spectrum.amplitude[k]);
    }
    m_bars->setData(keys, values, true);
    m_bars->setWidth(spectrum.resolutionHz * 0.6);
    m_bars->setPen(QPen(input.colour));
    m_bars->setBrush(input.colour);
    const double last = spectrum.frequencyHz.empty() ? 1.0 : spectrum.frequencyHz.back();
    m_chart->xAxis->setRange(-spectrum.resolutionHz, last + spectrum.resolutionHz);
    m_top = top > 0 ? top : 1.0;
    SetLogarithmic(m_logarithmic->isChecked());
    FillHarmonics();
    // The fundamental is what an engineer looks at first.
    SetCursorBin(m_harmonics.orders.empty() ? 0 : m_harmonics.orders.front().bin);
    m_chart->replot();
}

void CDlgFft::FillHarmonics() {
    std::string why;
    const std::optional<quirel::report::LimitChoice> limits = m_limits->Choice(&why);
    m_check = limits ? limits->Check(m_harmonics) : quirel::analysis::LimitCheck();
    const bool judged = limits && m_check.overall != quirel::analysis::Verdict::kNone;
    const int columns = limits ? 6 : 4;
    m_table->clearContents();
    m_table->setColumnCount(columns);
    m_table->setRowCount(static_cast<int>(m_harmonics.orders.size()));
    QStringList header = {Tx("Order"), "f [Hz]", m_unit.trimmed().isEmpty() ? "" : m_unit.trimmed(),
                          limits && limits->ForCurrents() ? Tx("% of IL") : Tx("% of h1")};
    if (limits)
        header << Tx("Limit [%]") << Qs(quirel::report::Text(quirel::report::kVerdict));
    m_table->setHorizontalHeaderLabels(header);
    // The limit and the verdict are read whole (German words are long); the figures share the rest.
    for (int c = 4; c < columns; ++c)
        m_table->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    int row = 0;
    for (const Spectrum::Harmonic& h : m_harmonics.orders) {
        const quirel::analysis::LimitCheck::Order* o = nullptr;
        for (const auto& candidate : m_check.orders)
            o = candidate.order == h.order ? &candidate : o;
        const double percent = limits ? (o ? o->percent : std::nan("")) : h.percent;
        QStringList cells = {QString::number(h.order), CommaFixed(h.frequencyHz, 1),
                             CommaFixed(h.amplitude, m_precision + 1),
                             std::isnan(percent) ? QString("--") : CommaFixed(percent, limits ? 2 : 1)};
        if (limits)
            cells << (o && o->limitPercent ? CommaFixed(*o->limitPercent, 1) : QString("--"))
                  << VerdictWord(o ? o->verdict : quirel::analysis::Verdict::kNone);
        for (int c = 0; c < columns; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == 5 && o && o->verdict != quirel::analysis::Verdict::kNone) {
                const bool pass = o->verdict == quirel::analysis::Verdict::kPass;
                item->setForeground(pass ? kPassColour : kLimitColour);
                item->setBackground(pass ? QColor(0xE8, 0xF5, 0xE9) : QColor(0xFD, 0xEC, 0xEA));
            }
            m_table->setItem(row, c, item);
        }
        ++row;
    }
    m_thd->setText(ThdText());
    // Figures read between the bins would be invented: without whole periods there are none to show.
    m_table->setVisible(m_harmonics.wholePeriods);
    m_thd->setVisible(m_harmonics.wholePeriods);
    m_note->setText(m_harmonics.wholePeriods
                        ? Tx("%1 mains periods analysed.").arg(std::lround(m_harmonics.periods))
                        : Tx("The samples hold %1 mains periods, no whole number: the harmonics lie between "
                             "the bins. Harmonics and THD are shown with sample rate 4, 5, 8, 10, 12 or 15.")
                              .arg(CommaFixed(m_harmonics.periods, 2)));
    if (!limits) {
        m_verdict->setText(why.empty() ? QString() : Qs(why));
    } else if (!judged) {
        m_verdict->setText(Qs(quirel::report::Text(quirel::report::kNoSpectrumVerdict)));
    } else {
        const bool pass = m_check.overall == quirel::analysis::Verdict::kPass;
        QString distortion =
            Qs(m_check.distortionName) + " " + CommaFixed(m_check.distortionPercent, 2) + " %";
        if (m_check.distortionLimitPercent)
            distortion += " (" + Qs(quirel::report::Text(quirel::report::kLimit)) + " " +
                          CommaFixed(*m_check.distortionLimitPercent, 1) + " %)";
        m_verdict->setText(
            QString("<span style=\"font-size:large; font-weight:bold; color:%1\">%2: %3</span><br>%4<br>%5")
                .arg((pass ? kPassColour : kLimitColour).name(),
                     Qs(quirel::report::Text(quirel::report::kVerdict)),
                     VerdictWord(m_check.overall).toUpper(), Qs(limits->Title()).toHtmlEscaped(),
                     distortion));
    }
    m_verdict->setVisible(!m_verdict->text().isEmpty());
    m_indicative->setVisible(judged);
    ShowLimits();
}

void CDlgFft::ShowLimits() {
    // A step per order, an order wide, where the set has a limit; gaps where it has none.
    QVector<QCPGraphData> steps;
    const double f1 = m_harmonics.orders.empty() ? 0.0 : m_harmonics.orders.front().frequencyHz;
    bool joined = false;
    if (m_check.overall != quirel::analysis::Verdict::kNone && std::isfinite(m_check.referenceAmplitude))
        for (const quirel::analysis::LimitCheck::Order& o : m_check.orders) {
            if (!o.limitPercent) {
                joined = false;
                continue;
            }
            const double level = m_check.referenceAmplitude * *o.limitPercent / 100.0;
            const double from = (o.order - 0.5) * f1, to = (o.order + 0.5) * f1;
            if (!joined && !steps.isEmpty())
                steps.append(QCPGraphData(from, std::nan("")));
            steps.append(QCPGraphData(from, level));
            steps.append(QCPGraphData(to, level));
            joined = true;
        }
    m_limitLine->data()->set(steps, true);
    m_limitLine->setName(Qs(quirel::report::Text(quirel::report::kLimit)));
    m_chart->legend->setVisible(!steps.isEmpty());
}

void CDlgFft::SetLogarithmic(bool on) {
    if (m_logarithmic->isChecked() != on)
        m_logarithmic->setChecked(on); // comes back here through the toggle
    QCPAxis* y = m_chart->yAxis;
    // Powers of ten are written as such only where the locale writes its exponent "e"; linear numbers
    // take the decimal comma.
    QLocale numbers = on ? QLocale::c() : quirel::ui::ChartNumberLocale();
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    m_chart->setLocale(numbers);
    if (on) {
        y->setScaleType(QCPAxis::stLogarithmic);
        y->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
        y->setNumberFormat("eb");
        y->setNumberPrecision(0);
        // Five decades below the highest bin: the noise floor of a 16-bit measurement and more.
        const double floor = m_top * 1e-5;
        m_bars->setBaseValue(floor);
        y->setRange(floor, m_top * 2);
    } else {
        y->setScaleType(QCPAxis::stLinear);
        y->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
        y->setNumberFormat("gb");
        y->setNumberPrecision(6);
        m_bars->setBaseValue(0);
        y->setRange(0, m_top * 1.08);
    }
    m_chart->replot();
}

QString CDlgFft::ThdText() const {
    return std::isnan(m_harmonics.thdPercent) ? QString("THD = --")
                                              : "THD = " + CommaFixed(m_harmonics.thdPercent, 2) + " %";
}

void CDlgFft::SetCursorBin(int bin) {
    const int bins = static_cast<int>(m_spectrum.amplitude.size());
    if (bins == 0)
        return;
    m_cursor = std::clamp(bin, 0, bins - 1);
    const double f = m_spectrum.frequencyHz[static_cast<size_t>(m_cursor)];
    m_cursorLine->point1->setCoords(f, 0);
    m_cursorLine->point2->setCoords(f, 1);
    m_readout->position->setType(QCPItemPosition::ptPlotCoords);
    m_readout->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    m_readout->position->setCoords(f, 0.02);
    m_readout->setText(ReadoutText());
    // Near the right border the readout stands left of the cursor.
    const bool right = f > m_chart->xAxis->range().center();
    m_readout->setPositionAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
    m_chart->layer(kCursorLayer)->replot();
}

QString CDlgFft::ReadoutText() const {
    if (m_spectrum.amplitude.empty())
        return {};
    const auto k = static_cast<size_t>(m_cursor);
    QString amplitude = CommaFixed(m_spectrum.amplitude[k], m_precision);
    if (amplitude.size() < 6)
        amplitude = QString(6 - amplitude.size(), ' ') + amplitude;
    return amplitude + " " + m_unit + " " + CommaFixed(m_spectrum.frequencyHz[k], 2) + " Hz";
}

void CDlgFft::MoveCursorTo(double frequency) {
    if (m_spectrum.resolutionHz > 0)
        SetCursorBin(static_cast<int>(std::lround(frequency / m_spectrum.resolutionHz)));
}

void CDlgFft::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        SetCursorBin(m_cursor + (event->key() == Qt::Key_Left ? -1 : 1));
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CDlgFft::ExportTo(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    const std::string file = path.toStdString();
    bool ok = false;
    if (ext == "bmp" || ext == "jpg" || ext == "jpeg") {
        const std::string bytes = quirel::ui::ChartPicture(m_chart, ext == "bmp" ? "BMP" : "JPG");
        ok = !bytes.empty() && quirel::writeFileAtomically(file, bytes);
    } else if (ext == "xlsx" || ext == "xls") {
        SpreadsheetTable table;
        table.sheetName = "FFT";
        table.header = {quirel::loadString(kIdsFrequency),
                        quirel::loadString(kIdsAmplitude) +
                            (m_unit.isEmpty() ? "" : " [" + m_unit.toStdString() + "]")};
        table.rows = m_spectrum.amplitude.size();
        table.cell = [this](size_t row, size_t column) {
            return column == 0 ? m_spectrum.frequencyHz[row] : m_spectrum.amplitude[row];
        };
        ok = WriteSpreadsheet(file, table);
    } else if (ext == "csv") {
        ok = quirel::writeFileAtomically(file, Spectrum::ToCsv(m_spectrum));
    } else {
        // Nothing is written, but the user learns why rather than finding no file.
        quirel::ui::ShowChartUnknownType(this, path);
        return false;
    }
    if (!ok)
        quirel::ui::ShowChartNotWritten(this);
    return ok;
}

void CDlgFft::OnSaveAs() {
    const QString path = m_chooseFile(
        this, true, {"BMP (*.bmp)", "JPEG (*.jpg)", "Excel Sheet (*.xlsx *.xls)", "CSV (*.csv)"}, "bmp");
    if (!path.isEmpty())
        ExportTo(path);
}

void CDlgFft::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(printer);
}

void CDlgFft::PrintTo(QPrinter& printer) {
    quirel::ui::PrintChart(m_chart, printer);
}
