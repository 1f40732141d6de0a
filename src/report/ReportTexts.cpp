#include "report/ReportTexts.h"

#include "base/DecimalNumber.h"
#include "base/StringTable.h"

#include <algorithm>
#include <cmath>

namespace quirel::report {
namespace {
const std::string kDash = "\xE2\x80\x93";
} // namespace

const std::string& Text(ReportText id) {
    return loadString(id);
}

std::string Text(ReportText id, std::initializer_list<std::string> args) {
    return fillString(id, args);
}

std::string FormatFigure(double v, int significant) {
    if (!std::isfinite(v))
        return kDash;
    const double magnitude = std::abs(v) > 0.0 ? std::floor(std::log10(std::abs(v))) : 0.0;
    const int decimals = std::clamp(significant - 1 - static_cast<int>(magnitude), 0, 6);
    std::string text = formatDecimalComma(v, decimals);
    return text == "-" + formatDecimalComma(0.0, decimals) ? text.substr(1) : text;
}

std::string FormatFixed(double v, int decimals) {
    if (!std::isfinite(v))
        return kDash;
    std::string text = formatDecimalComma(v, decimals);
    return text == "-" + formatDecimalComma(0.0, decimals) ? text.substr(1) : text;
}

} // namespace quirel::report
