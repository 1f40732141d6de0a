#pragma once

#include "report/LimitChoice.h"

#include <csignal>
#include <string>
#include <utility>
#include <vector>

class ConsoleUiPort;

namespace quirel::cli {

// The extension of a path in lower case, without the dot; empty when it has none.
std::string LowerExtension(const std::string& path);

// "--name value" options of a command, in the order given (an option may repeat). Returns an empty string
// when the arguments are fine, else why not.
std::string ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known,
                         std::vector<std::pair<std::string, std::string>>& out);

// The limit options among `options`: each --limits NAME, and once each --isc-il RATIO and --il AMPS (for a
// current set) and --kv KV (for a set by bus voltage). At most `maxSets` sets, and one per quantity.
// Returns an empty string when they make whole choices, else why not.
std::string ParseLimitOptions(const std::vector<std::pair<std::string, std::string>>& options, size_t maxSets,
                              std::vector<report::LimitChoice>& out);
inline const std::vector<std::string> kLimitOptions = {"--limits", "--isc-il", "--il", "--kv"};

// While it lives, Ctrl-C (and SIGTERM) make the port's ProgressCancelled true; the handler only stores a
// flag.
class InterruptGuard {
public:
    explicit InterruptGuard(ConsoleUiPort& port);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

} // namespace quirel::cli
