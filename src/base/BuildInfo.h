#pragma once

namespace quirel {

// The program version as the build knows it ("major.minor.patch").
const char* programVersion();

} // namespace quirel
