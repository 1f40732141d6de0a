#include "CliCommon.h"

#include "base/ConsoleUiPort.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace quirel::cli {
namespace {

std::atomic<ConsoleUiPort*> gInterruptTarget{nullptr};

extern "C" void OnInterrupt(int) {
    if (ConsoleUiPort* port = gInterruptTarget.load())
        port->RequestCancel();
}

// A positive number as a script writes it: a decimal point or the decimal comma.
bool ParsePositive(std::string text, double& out) {
    std::replace(text.begin(), text.end(), ',', '.');
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || !(v > 0.0))
        return false;
    out = v;
    return true;
}

} // namespace

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known,
                         std::vector<std::pair<std::string, std::string>>& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (std::find(known.begin(), known.end(), args[i]) == known.end())
            return "unknown argument " + args[i];
        if (i + 1 >= args.size())
            return args[i] + " needs a value";
        out.emplace_back(args[i], args[i + 1]);
        ++i;
    }
    return std::string();
}

std::string ParseLimitOptions(const std::vector<std::pair<std::string, std::string>>& options, size_t maxSets,
                              std::vector<report::LimitChoice>& out) {
    std::vector<std::string> names;
    std::string ratio;
    double il = analysis::kNotAvailable, kv = analysis::kNotAvailable;
    for (const auto& [key, value] : options) {
        if (key == "--limits") {
            names.push_back(value);
        } else if ((key == "--isc-il" && !ratio.empty()) || (key == "--il" && !std::isnan(il)) ||
                   (key == "--kv" && !std::isnan(kv))) {
            return key + " is given twice";
        } else if (key == "--isc-il") {
            ratio = value;
        } else if ((key == "--il" && !ParsePositive(value, il)) ||
                   (key == "--kv" && !ParsePositive(value, kv))) {
            return key + " needs a number above 0";
        }
    }
    if (names.size() > maxSets)
        return maxSets == 1 ? "--limits is given once"
                            : "--limits is given at most twice: a voltage and a current set";
    if (names.empty() && (!ratio.empty() || !std::isnan(il) || !std::isnan(kv)))
        return "--isc-il, --il and --kv go with --limits";
    // The site's data goes to the set that takes it; what no set takes is refused by the first.
    bool ratioTaken = ratio.empty() && std::isnan(il), kvTaken = std::isnan(kv);
    for (const std::string& name : names) {
        const std::optional<analysis::LimitSet> set = analysis::FindLimitSet(name);
        report::LimitRequest request{name, {}, analysis::kNotAvailable, analysis::kNotAvailable};
        const bool byRatio = set && set->reference == analysis::LimitSet::Reference::kDemand;
        const bool byKv = set && !set->columnUpToKv.empty();
        if (byRatio || names.size() == 1) {
            request.ratio = ratio;
            request.il = il;
            ratioTaken = true;
        }
        if (byKv || names.size() == 1) {
            request.kv = kv;
            kvTaken = true;
        }
        std::string why;
        std::optional<report::LimitChoice> choice = report::MakeLimitChoice(request, &why);
        if (!choice)
            return why;
        for (const report::LimitChoice& other : out)
            if (other.ForCurrents() == choice->ForCurrents())
                return "--limits takes one voltage set and one current set";
        out.push_back(std::move(*choice));
    }
    if (!ratioTaken)
        return "--isc-il and --il belong to a current limit set (ieee519)";
    if (!kvTaken)
        return "--kv belongs to a limit set by bus voltage (ieee519-voltage)";
    return std::string();
}

InterruptGuard::InterruptGuard(ConsoleUiPort& port) {
    gInterruptTarget.store(&port);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &m_oldInt);
    ::sigaction(SIGTERM, &action, &m_oldTerm);
}

InterruptGuard::~InterruptGuard() {
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
    gInterruptTarget.store(nullptr);
}

} // namespace quirel::cli
