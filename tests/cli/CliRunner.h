#pragma once

#include <string>
#include <vector>

// quirel-cli as a child process, for tests.
struct CliResult {
    int code = -1;
    std::string out, err;
};

// Runs quirel-cli with the arguments in a private folder, output captured. With `interruptAfterMs` the
// program gets SIGINT that long after its start, as from Ctrl-C. A run that takes longer than
// `limitSeconds` is killed.
CliResult RunCli(const std::vector<std::string>& arguments, int interruptAfterMs = -1, int limitSeconds = 60);

std::vector<std::string> Lines(const std::string& text);
