#include "commands/CommandReference.h"

#include <cstdio>

namespace orvane {

namespace {

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

const char* kindName(ArgKind kind) {
    switch (kind) {
    case ArgKind::Int:
        return "int";
    case ArgKind::Real:
        return "real";
    case ArgKind::Text:
        break;
    }
    return "text";
}

} // namespace

std::string commandReferenceJson(const std::vector<CommandRow>& rows) {
    std::string json = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CommandRow& row = rows[i];
        json += i == 0 ? "\n" : ",\n";
        json += "{\"word\": " + jsonString(row.word) + ", \"selector\": " + jsonString(row.selector) +
                ", \"arguments\": [";
        for (std::size_t k = 0; k < row.args.size(); ++k) {
            json += k == 0 ? "\"" : ", \"";
            json += kindName(row.args[k]);
            json += "\"";
        }
        json += "], \"usage\": " + jsonString(row.usage) +
                ", \"description\": " + jsonString(row.description) + "}";
    }
    return json + "\n]\n";
}

} // namespace orvane
