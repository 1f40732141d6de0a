#include "base/DecimalNumber.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace quirel {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t skipBlanks(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return i;
}

// Sign and digit run; saturates rather than overflowing.
int64_t leadingInteger(std::string_view s, bool* negative = nullptr) {
    size_t i = skipBlanks(s);
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        neg = s[i++] == '-';
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 1;
    int64_t v = 0;
    for (; i < s.size() && isDigit(s[i]); ++i)
        v = v > kLimit ? kLimit * 10 : v * 10 + (s[i] - '0');
    if (negative)
        *negative = neg;
    return neg ? -v : v;
}

} // namespace

std::string formatDecimalComma(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 20);
    char buf[512];
    // to_chars with a precision rounds exactly like printf in the C locale.
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string out(buf, res.ec == std::errc() ? res.ptr : buf);
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

double parseDecimalComma(std::string_view text) {
    size_t i = skipBlanks(text);
    std::string norm;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        neg = text[i++] == '-';
    size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits)
        norm.push_back(text[i]);
    if (i < text.size() && text[i] == ',') {
        norm.push_back('.');
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++digits)
            norm.push_back(text[i]);
    }
    if (digits == 0)
        return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            exp.push_back(text[j++]);
        if (j < text.size() && isDigit(text[j])) {
            for (; j < text.size() && isDigit(text[j]); ++j)
                exp.push_back(text[j]);
            norm += exp;
        }
    }
    double v = 0.0;
    auto res = std::from_chars(norm.data(), norm.data() + norm.size(), v);
    if (res.ec == std::errc::result_out_of_range)
        v = norm.find("e-") != std::string::npos ? 0.0 : HUGE_VAL;
    return neg ? -v : v;
}

int32_t parseLong(std::string_view text) {
    const int64_t v = leadingInteger(text);
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

uint32_t parseULong(std::string_view text) {
    bool neg = false;
    int64_t v = leadingInteger(text, &neg);
    const int64_t mag = std::min<int64_t>(neg ? -v : v, std::numeric_limits<uint32_t>::max());
    return neg ? static_cast<uint32_t>(-mag) : static_cast<uint32_t>(mag);
}

int64_t parseInt64(std::string_view text) {
    return leadingInteger(text);
}

} // namespace quirel
