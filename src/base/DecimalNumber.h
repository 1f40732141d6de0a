#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Numbers as the device's service tools have always written them: a decimal comma, no thousands
// separator, whatever the user-interface language. Nothing here depends on the process locale.
namespace quirel {

// printf("%.Nf") with a comma as the decimal separator; decimals are clamped to 0..20.
std::string formatDecimalComma(double value, int decimals);

// atof with the comma as decimal separator: leading blanks, a sign, digits, an optional comma and
// fraction and an optional exponent; a point (or anything else) ends the number. No number gives 0.
double parseDecimalComma(std::string_view text);

// atol/atoi as a 32-bit runtime has them: leading blanks, a sign, decimal digits; no digits give 0, a
// value outside the 32-bit range saturates.
int32_t parseLong(std::string_view text);

// The same for unsigned 32-bit quantities: leading blanks, digits; saturates at 4294967295, a minus
// sign wraps as strtoul does.
uint32_t parseULong(std::string_view text);

// Leading digits with an optional sign as a wide number: used where 32 bits are not the limit.
int64_t parseInt64(std::string_view text);

} // namespace quirel
