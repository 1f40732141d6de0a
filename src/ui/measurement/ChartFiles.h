#pragma once

#include <QLocale>
#include <QStringList>

#include <string>

class QCustomPlot;
class QPrinter;
class QWidget;

namespace quirel::ui {

// What the charts' Save says when nothing was written, and when the type of `path` is not one it writes.
void ShowChartNotWritten(QWidget* parent);
void ShowChartUnknownType(QWidget* parent, const QString& path);

// The numbers of a chart's axes: the decimal comma, without group separators.
QLocale ChartNumberLocale();

// The file dialog of the charts' Open and Save: `filters` with the first selected, hide read-only,
// confirm overwriting; the suffix follows the filter chosen. Empty when cancelled.
QString ChooseChartFile(QWidget* parent, bool save, const QStringList& filters, const QString& suffix);

// The chart as shown, as the bytes of a picture file ("BMP" or "JPG").
std::string ChartPicture(QCustomPlot* chart, const char* format);

// The chart as shown, scaled to the printer's page.
void PrintChart(QCustomPlot* chart, QPrinter& printer);

} // namespace quirel::ui
