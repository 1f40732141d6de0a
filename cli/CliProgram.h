#pragma once

#include <cstdio>

namespace quirel::cli {

// Exit codes of quirel-cli.
enum ExitCode : int { kOk = 0, kFailed = 1, kNoConnection = 2, kUsage = 64 };

// The whole program: options, catalogue, connection, one command. Parameter lines go to `out`; the
// system's messages (the boxes a window would show) go to `err`.
int Run(int argc, char** argv, std::FILE* out, std::FILE* err);

} // namespace quirel::cli
