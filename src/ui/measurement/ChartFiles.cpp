#include "ui/measurement/ChartFiles.h"

#include "base/StringTable.h"
#include "ui/common/MessageBoxes.h"

#include <qcustomplot.h>

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QRegularExpression>

namespace quirel::ui {

QString ChooseChartFile(QWidget* parent, bool save, const QStringList& filters, const QString& suffix) {
    QFileDialog dialog(parent);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(suffix);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // A name typed without an extension gets that of the filter chosen, not always the first one's.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        const QRegularExpressionMatch m = QRegularExpression(R"(\*\.(\w+))").match(filter);
        if (m.hasMatch())
            dialog.setDefaultSuffix(m.captured(1));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

std::string ChartPicture(QCustomPlot* chart, const char* format) {
    const QPixmap picture = chart->toPixmap(chart->width(), chart->height());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, format, 95))
        return {};
    return bytes.toStdString();
}

void PrintChart(QCustomPlot* chart, QPrinter& printer) {
    QCPPainter painter;
    if (!painter.begin(&printer))
        return;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int width = std::max(chart->width(), 600);
    const int height = std::max(chart->height(), 400);
    const double scale = std::min(page.width() / width, page.height() / height);
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    chart->toPainter(&painter, width, height);
    painter.end();
}

void ShowChartNotWritten(QWidget* parent) {
    constexpr unsigned kIdsWriteFailed = 1202;
    ShowMessageBox(parent, loadString(kIdsWriteFailed), std::string(), MbIcon::Error);
}

void ShowChartUnknownType(QWidget* parent, const QString& path) {
    constexpr unsigned kIdsUnknownType = 1203; // followed by the file's name
    ShowMessageBox(parent, loadString(kIdsUnknownType) + QFileInfo(path).fileName().toStdString(),
                   std::string(), MbIcon::Error);
}

QLocale ChartNumberLocale() {
    QLocale numbers(QLocale::German, QLocale::Germany);
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    return numbers;
}

} // namespace quirel::ui
