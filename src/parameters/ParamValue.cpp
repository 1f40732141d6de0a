#include "parameters/ParamValue.h"

#include "base/TextEncoding.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

PARAMVALUE::Kind PARAMVALUE::KindOf(uint32_t dataType) {
    switch (dataType) {
    case 2:
    case 3:
        return Kind::Int16;
    case 5:
    case 6:
        return Kind::UInt16;
    case 4:
    case 13:
        return Kind::Int32;
    case 7:
    case 11:
    case 12:
        return Kind::UInt32;
    case 8:
        return Kind::Float;
    case 9:
        return Kind::Text;
    case 10:
        return Kind::Nothing;
    default:
        return Kind::Undefined;
    }
}

int PARAMVALUE::RegisterCount(uint32_t dataType) {
    switch (KindOf(dataType)) {
    case Kind::Int16:
    case Kind::UInt16:
        return 1;
    case Kind::Int32:
    case Kind::UInt32:
    case Kind::Float:
        return 2;
    case Kind::Text:
        return 10;
    default:
        return 0;
    }
}

bool PARAMVALUE::IsWritableType(uint32_t dataType) {
    const Kind k = KindOf(dataType);
    return k != Kind::Text && k != Kind::Nothing && k != Kind::Undefined;
}

float PARAMVALUE::GetFloat() const {
    return std::bit_cast<float>(raw);
}
void PARAMVALUE::SetFloat(float f) {
    raw = std::bit_cast<uint32_t>(f);
}

namespace {

void SetLow16(uint32_t& raw, uint32_t v) {
    raw = (raw & 0xFFFF0000u) | (v & 0xFFFFu);
}

// A double as an integer the way a cast would give it, but defined for every input: NaN gives 0,
// values beyond the range saturate.
int64_t TruncateToInt64(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 9.2233720368547758e18)
        return std::numeric_limits<int64_t>::max();
    if (v <= -9.2233720368547758e18)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

} // namespace

void PARAMVALUE::SetFromDouble(double v) {
    if (GetKind() == Kind::Float)
        SetFloat(static_cast<float>(v));
    else
        SetFromInt64(TruncateToInt64(v));
}

void PARAMVALUE::SetFromInt32(int32_t v) {
    SetFromInt64(v);
}

void PARAMVALUE::SetFromInt64(int64_t v) {
    switch (GetKind()) {
    case Kind::Int16:
    case Kind::UInt16:
        SetLow16(raw, static_cast<uint32_t>(v));
        break;
    case Kind::Int32:
    case Kind::UInt32:
        raw = static_cast<uint32_t>(v);
        break;
    case Kind::Float:
        SetFloat(static_cast<float>(v));
        break;
    default:
        break;
    }
}

std::optional<int64_t> PARAMVALUE::GetAsInt64() const {
    switch (GetKind()) {
    case Kind::Int16:
        return static_cast<int16_t>(raw & 0xFFFF);
    case Kind::UInt16:
        return static_cast<uint16_t>(raw & 0xFFFF);
    case Kind::Int32:
        return static_cast<int32_t>(raw);
    case Kind::UInt32:
        return raw;
    case Kind::Float:
        return TruncateToInt64(GetFloat());
    default:
        return std::nullopt;
    }
}

std::optional<int32_t> PARAMVALUE::GetAsInt32() const {
    switch (GetKind()) {
    case Kind::Int32:
    case Kind::UInt32:
        return static_cast<int32_t>(raw);
    case Kind::Float: {
        const int64_t v = TruncateToInt64(GetFloat());
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    }
    default: {
        auto v = GetAsInt64();
        if (!v)
            return std::nullopt;
        return static_cast<int32_t>(*v);
    }
    }
}

std::optional<double> PARAMVALUE::GetAsDouble() const {
    if (GetKind() == Kind::Float)
        return static_cast<double>(GetFloat());
    auto v = GetAsInt64();
    if (!v)
        return std::nullopt;
    return static_cast<double>(*v);
}

int PARAMVALUE::ToRegisters(uint16_t regs[2]) const {
    const int n = RegisterCount(dataType);
    if (n == 1) {
        regs[0] = static_cast<uint16_t>(raw);
    } else if (n == 2) {
        regs[0] = static_cast<uint16_t>(raw);
        regs[1] = static_cast<uint16_t>(raw >> 16);
    } else {
        return 0;
    }
    return n;
}

PARAMVALUE PARAMVALUE::FromRegisters(uint32_t dataType, const uint16_t* regs) {
    PARAMVALUE v(dataType);
    const int n = RegisterCount(dataType);
    if (n == 1)
        v.raw = regs[0];
    else if (n == 2)
        v.raw = static_cast<uint32_t>(regs[0]) | (static_cast<uint32_t>(regs[1]) << 16);
    return v;
}

namespace TextValueTable {
namespace {
std::mutex gMutex;
std::vector<std::string>& Table() {
    static std::vector<std::string> table(kSize);
    return table;
}
} // namespace

void Set(int index, const std::string& text) {
    if (index < 0 || index >= kSize)
        return;
    std::lock_guard lock(gMutex);
    Table()[static_cast<size_t>(index)] = text;
}

std::string Get(int index) {
    if (index < 0 || index >= kSize)
        return {};
    std::lock_guard lock(gMutex);
    return Table()[static_cast<size_t>(index)];
}

std::string DecodeRegisters(const uint16_t regs[10]) {
    std::string text; // the device's 8-bit text
    for (int i = 0; i < 10; ++i) {
        const char hi = static_cast<char>(regs[i] >> 8);
        const char lo = static_cast<char>(regs[i] & 0xFF);
        if (hi == 0)
            break;
        text.push_back(hi);
        if (lo == 0)
            break;
        text.push_back(lo);
    }
    return quirel::decodeText(text);
}

void EncodeRegisters(const std::string& utf8, uint16_t regs[10]) {
    const std::string text = quirel::utf8ToCp1252(utf8);
    for (int i = 0; i < 10; ++i) {
        const size_t k = static_cast<size_t>(2 * i);
        const uint8_t hi = k < text.size() ? static_cast<uint8_t>(text[k]) : 0;
        const uint8_t lo = k + 1 < text.size() ? static_cast<uint8_t>(text[k + 1]) : 0;
        regs[i] = static_cast<uint16_t>((hi << 8) | lo);
    }
}
} // namespace TextValueTable
