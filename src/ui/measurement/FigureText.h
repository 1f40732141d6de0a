#pragma once

#include "report/ReportTexts.h"
#include "ui/common/UiText.h"

#include <QString>

#include <cmath>

namespace quirel::ui {

// A figure as the service report writes it, to `significant` digits; "--" where there is none.
inline QString FigureText(double v, int significant = 4) {
    return std::isfinite(v) ? Qs(report::FormatFigure(v, significant)) : QString("--");
}

// A figure as the service report writes it, with `decimals` decimals; "--" where there is none.
inline QString FixedText(double v, int decimals) {
    return std::isfinite(v) ? Qs(report::FormatFixed(v, decimals)) : QString("--");
}

} // namespace quirel::ui
