#pragma once

// Text helpers shared by the result file checks.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>

namespace orvane::filecheck {

inline bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

inline std::string lower(std::string word) {
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word;
}

inline bool parseWhole(std::string_view word, long long& value) {
    const char* begin = word.data();
    const char* end = begin + word.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end && begin != end;
}

inline std::string decimal(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(0);
    text << std::fixed << value;
    return text.str();
}

} // namespace orvane::filecheck
