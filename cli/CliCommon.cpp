#include "CliCommon.h"

#include <algorithm>
#include <cctype>

namespace quirel::cli {

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

} // namespace quirel::cli
