#pragma once

#include <string>
#include <vector>

namespace quirel::test {

struct CliResult {
    int code = -1;
    std::string out, err;
};

// Runs quirel-cli with the arguments in a private, empty current folder, stdin from /dev/null; output
// captured in files there. A run that takes longer than a minute is killed.
CliResult RunCli(const std::vector<std::string>& arguments);

std::vector<std::string> Lines(const std::string& text);

} // namespace quirel::test
