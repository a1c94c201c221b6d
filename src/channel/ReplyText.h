#pragma once

#include <string>
#include <vector>

namespace orvane {

// A real number with six digits after the point, whatever the process locale.
std::string sixDigits(double value);

// Items of a reply text, separated by single spaces.
std::string joinReplyItems(const std::vector<std::string>& items);

} // namespace orvane
