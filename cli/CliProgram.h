#pragma once

#include <cstdio>

namespace quirel::cli {

// The whole program: options, catalogue, connection, one command. Parameter lines go to `out`; the
// system's messages (the boxes a window would show) go to `err`. Returns the exit code (CliSession.h).
int Run(int argc, char** argv, std::FILE* out, std::FILE* err);

} // namespace quirel::cli
