#include "app/FaultInjection.h"

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

namespace orvane {

bool injectedFault(std::string_view place) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> armed = [] {
        std::set<std::string, std::less<>> places;
        const char* value = std::getenv("ORVANE_DEBUG_FAULT");
        std::string_view rest = value != nullptr ? value : "";
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            const std::string_view name = rest.substr(0, comma);
            if (!name.empty()) {
                places.emplace(name);
            }
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        return places;
    }();
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = armed.find(place);
    if (found == armed.end()) {
        return false;
    }
    armed.erase(found);
    return true;
}

} // namespace orvane
