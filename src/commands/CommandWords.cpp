#include "commands/CommandWords.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orvane {

std::vector<std::string> splitCommandWords(std::string_view text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (true) {
        const std::size_t space = text.find(' ', start);
        if (space == std::string_view::npos) {
            words.emplace_back(text.substr(start));
            return words;
        }
        words.emplace_back(text.substr(start, space - start));
        start = space + 1;
    }
}

namespace {

// from_chars rejects a leading '+', which users may well type.
std::string_view withoutPlusSign(std::string_view word) {
    if (word.size() > 1 && word.front() == '+' && word[1] != '-' && word[1] != '+') {
        word.remove_prefix(1);
    }
    return word;
}

} // namespace

int toInt(std::string_view word) {
    word = withoutPlusSign(word);
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 10);
    if (error != std::errc() || end != word.data() + word.size() || word.empty()) {
        return 0;
    }
    return value;
}

double toReal(std::string_view word) {
    word = withoutPlusSign(word);
    if (word.empty()) {
        return 0.0;
    }
    // from_chars would also accept "inf" and "nan"; those are never valid
    // coordinates, colours or sizes.
    for (const char c : word) {
        const bool numeric =
            (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!numeric) {
            return 0.0;
        }
    }
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(word.data(), word.data() + word.size(), value, std::chars_format::general);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
        return 0.0;
    }
    return value;
}

int truncateToInt(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    constexpr double lowest = static_cast<double>(std::numeric_limits<int>::min());
    constexpr double highest = static_cast<double>(std::numeric_limits<int>::max());
    if (value <= lowest) {
        return std::numeric_limits<int>::min();
    }
    if (value >= highest) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(std::trunc(value));
}

} // namespace orvane
