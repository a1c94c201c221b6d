#include "channel/ReplyText.h"

#include <charconv>
#include <cmath>

namespace orvane {

std::string sixDigits(double value) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    }
    // 309 integer digits, a sign, the point and six decimals fit.
    char buffer[330];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (error != std::errc()) {
        return "0.000000";
    }
    return std::string(buffer, end);
}

std::string joinReplyItems(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) {
            text += ' ';
        }
        text += item;
    }
    return text;
}

} // namespace orvane
