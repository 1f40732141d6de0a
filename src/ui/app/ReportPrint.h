#pragma once

#include "report/ServiceReport.h"

class QPrinter;
class QTextDocument;

namespace quirel::ui {

// The service report's page laid out by Qt's text document, for printing and for PDF: the same HTML the
// report file holds (one layout to keep), with each chart drawn from its SVG text into an image of the
// resolution it is printed at, since the text document draws images but not inline SVG.
void LayOutReport(const quirel::report::ServiceReport& report, QTextDocument& document, double dotsPerMm);

// The report on `printer` (a paper printer, or QPrinter::PdfFormat for a PDF file), A4 portrait.
void PrintReport(const quirel::report::ServiceReport& report, QPrinter& printer);

} // namespace quirel::ui
