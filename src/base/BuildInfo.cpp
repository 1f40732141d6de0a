#include "base/BuildInfo.h"

namespace quirel {

const char* programVersion() {
    return QUIREL_VERSION;
}

} // namespace quirel
