#include "ui/app/ReportPrint.h"

#include "report/ReportHtml.h"

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>

namespace quirel::ui {
namespace {

// Charts are laid out in CSS pixels: 96 to the inch.
constexpr double kCssPixelsPerMm = 96.0 / 25.4;

} // namespace

void LayOutReport(const quirel::report::ServiceReport& report, QTextDocument& document, double dotsPerMm) {
    const quirel::report::ReportDocument html =
        quirel::report::WriteReportHtml(report, quirel::report::ChartEmbedding::kImages);
    // Each picture as sharp as the page it goes on, up to 2.5 times the screen's: a report holds a few
    // dozen charts, all kept in memory while it prints.
    const double scale = std::clamp(dotsPerMm / kCssPixelsPerMm, 1.0, 2.5);
    for (const quirel::report::ReportChart& chart : html.charts) {
        QSvgRenderer svg(QByteArray::fromStdString(chart.svg));
        QImage image(QSize(chart.width, chart.height) * scale, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        image.setDevicePixelRatio(scale);
        document.addResource(QTextDocument::ImageResource, QUrl(QString::fromStdString(chart.name)), image);
    }
    document.setHtml(QString::fromStdString(html.html));
}

void PrintReport(const quirel::report::ServiceReport& report, QPrinter& printer) {
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    QTextDocument document;
    LayOutReport(report, document, printer.resolution() / 25.4);
    document.print(&printer);
}

} // namespace quirel::ui
