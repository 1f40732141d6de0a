#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quirel::cli {

// The extension of a path in lower case, without the dot; empty when it has none.
std::string LowerExtension(const std::string& path);

// "--name value" options of a command, in the order given (an option may repeat). Returns an empty string
// when the arguments are fine, else why not.
std::string ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known,
                         std::vector<std::pair<std::string, std::string>>& out);

} // namespace quirel::cli
