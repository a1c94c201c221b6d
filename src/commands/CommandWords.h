#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Splits a command text on single spaces. Empty words are kept, so two
// adjacent spaces yield an empty word and nothing is trimmed.
std::vector<std::string> splitCommandWords(std::string_view text);

// Decimal integer, optional sign, the whole word; anything else (including a
// value outside the 32-bit range) reads as 0.
int toInt(std::string_view word);

// Floating-point number with a point as decimal separator and an optional
// exponent, independent of the process locale. A malformed word, or one that
// denotes infinity or NaN, reads as 0.0.
double toReal(std::string_view word);

// Truncates toward zero, for integer parameters that arrive as real numbers.
// Values outside the 32-bit range saturate so that range checks still reject them.
int truncateToInt(double value);

} // namespace orvane
