#pragma once

#include <string>
#include <vector>

namespace quirel::test {

struct CliResult {
    int code = -1;
    std::string out, err;
};

// Runs quirel-cli with the arguments in a private, empty working folder (so relative paths do not reach
// the caller's); output captured. A run that takes longer than a minute is killed.
CliResult RunCli(const std::vector<std::string>& arguments);

std::vector<std::string> Lines(const std::string& text);

} // namespace quirel::test
