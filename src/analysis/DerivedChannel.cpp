#include "analysis/DerivedChannel.h"

#include "analysis/AnalysisTexts.h"
#include "base/TextTrim.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quirel::analysis {
namespace {

constexpr std::string_view kOpNames[] = {"sum", "diff", "product", "scale"};

bool ParseId(std::string_view s, uint32_t& out) {
    s = trimBlanks(s);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseNumber(std::string_view s, double& out) {
    s = trimBlanks(s);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

// The shortest text that reads back as the same double.
std::string NumberText(double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        const size_t at = s.find(separator, from);
        parts.push_back(s.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos)
            return parts;
        from = at + 1;
    }
}

} // namespace

std::string DerivedChannel::ToText() const {
    std::string text = std::to_string(id) + '=' + std::string(kOpNames[static_cast<int>(op)]) + '(' +
                       std::to_string(a) + ',';
    if (op == Op::kScale) {
        text += NumberText(factor);
        if (offset != 0.0)
            text += ',' + NumberText(offset);
    } else {
        text += std::to_string(b);
    }
    return text + ");" + unit + ';' + name;
}

std::optional<DerivedChannel> DerivedChannel::Parse(std::string_view text, std::string* why) {
    auto refuse = [&]() -> std::optional<DerivedChannel> {
        if (why)
            *why = DerivedSyntaxText(text);
        return std::nullopt;
    };
    DerivedChannel d;
    const size_t equals = text.find('='), open = text.find('('), close = text.find(')');
    if (equals == std::string_view::npos || open == std::string_view::npos ||
        close == std::string_view::npos || !(equals < open && open < close) ||
        !ParseId(text.substr(0, equals), d.id))
        return refuse();
    const std::string_view opName = trimBlanks(text.substr(equals + 1, open - equals - 1));
    const auto* found = std::find(std::begin(kOpNames), std::end(kOpNames), opName);
    if (found == std::end(kOpNames))
        return refuse();
    d.op = static_cast<Op>(found - std::begin(kOpNames));
    const std::vector<std::string_view> args = Split(text.substr(open + 1, close - open - 1), ',');
    const bool scale = d.op == Op::kScale;
    if (args.size() < 2 || args.size() > (scale ? 3u : 2u) || !ParseId(args[0], d.a) ||
        !(scale ? ParseNumber(args[1], d.factor) : ParseId(args[1], d.b)) ||
        (args.size() == 3 && !ParseNumber(args[2], d.offset)))
        return refuse();
    const std::string_view rest = trimBlanks(text.substr(close + 1));
    const size_t second = rest.find(';', 1);
    if (rest.empty() || rest[0] != ';' || second == std::string_view::npos)
        return refuse();
    d.unit = trimBlanks(rest.substr(1, second - 1));
    d.name = trimBlanks(rest.substr(second + 1));
    if (d.name.empty() || d.name.find_first_of("\r\n") != std::string::npos)
        return refuse();
    return d;
}

std::vector<double> DerivedChannel::Compute(std::span<const double> av, std::span<const double> bv) const {
    const size_t n = UsesB() ? std::min(av.size(), bv.size()) : av.size();
    std::vector<double> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = Value(av[i], UsesB() ? bv[i] : 0.0);
    return out;
}

double DerivedChannel::Value(double av, double bv) const {
    switch (op) {
    case Op::kSum:
        return av + bv;
    case Op::kDifference:
        return av - bv;
    case Op::kProduct:
        return av * bv;
    case Op::kScale:
        break;
    }
    return factor * av + offset;
}

} // namespace quirel::analysis
