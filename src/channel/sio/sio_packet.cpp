#include "sio/sio_packet.h"

#include <rapidjson/encodedstream.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace sio::packet {

namespace {

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 if there is none.
size_t utf8_sequence(std::string_view s, size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
        return 1;
    }
    size_t len = 0;
    uint32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        len = 2;
        cp = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        len = 3;
        cp = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        len = 4;
        cp = lead & 0x07u;
    } else {
        return 0;
    }
    if (s.size() - i < len) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        const auto cont = static_cast<unsigned char>(s[i + k]);
        if ((cont & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (cont & 0x3Fu);
    }
    const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    // A \uDC00 escape without its high half reaches us as an encoded surrogate.
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return overlong || surrogate || cp > 0x10FFFF ? 0 : len;
}

bool valid_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const size_t len = utf8_sequence(s, i);
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

// Builds the message tree straight from RapidJSON's iterative SAX parser, so
// neither parsing nor building recurses on hostile nesting.
class tree_builder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, tree_builder> {
public:
    bool Null() { return add(null_message::create()); }
    bool Bool(bool b) { return add(bool_message::create(b)); }
    bool Int(int i) { return add(int_message::create(i)); }
    bool Uint(unsigned u) { return add(int_message::create(u)); }
    bool Int64(int64_t i) { return add(int_message::create(i)); }
    bool Uint64(uint64_t u) {
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return add(double_message::create(static_cast<double>(u)));
        }
        return add(int_message::create(static_cast<int64_t>(u)));
    }
    bool Double(double d) { return add(double_message::create(d)); }
    bool String(const char* str, rapidjson::SizeType length, bool) {
        std::string_view text(str, length);
        if (!valid_utf8(text)) {
            error_ = "string is not valid UTF-8";
            return false;
        }
        return add(string_message::create(std::string(text)));
    }
    bool Key(const char* str, rapidjson::SizeType length, bool) {
        key_.assign(str, length);
        if (!valid_utf8(key_)) {
            error_ = "object key is not valid UTF-8";
            return false;
        }
        return true;
    }
    bool StartObject() { return open(object_message::create()); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool StartArray() { return open(array_message::create()); }
    bool EndArray(rapidjson::SizeType) { return close(); }

    message::ptr root() const { return root_; }
    const std::string& error() const { return error_; }

private:
    bool add(const message::ptr& value) {
        if (stack_.empty()) {
            root_ = value;
        } else if (stack_.back()->get_flag() == message::flag_array) {
            stack_.back()->get_vector().push_back(value);
        } else {
            stack_.back()->get_map()[key_] = value;
        }
        return true;
    }
    bool open(const message::ptr& container) {
        if (stack_.size() >= max_depth) {
            error_ = "JSON nested deeper than " + std::to_string(max_depth) + " levels";
            return false;
        }
        add(container);
        stack_.push_back(container);
        return true;
    }
    bool close() {
        stack_.pop_back();
        return true;
    }

    std::vector<message::ptr> stack_;
    std::string key_;
    message::ptr root_;
    std::string error_;
};

using json_writer = rapidjson::Writer<rapidjson::StringBuffer>;

class tree_writer {
public:
    // Without an attachment list binary data is an error rather than a placeholder.
    tree_writer(json_writer& writer, std::vector<std::shared_ptr<const std::string>>* attachments,
                std::string& error)
        : w_(writer), attachments_(attachments), error_(error) {}

    bool write(const message::ptr& m, size_t depth) {
        if (depth > max_depth) {
            error_ = "message nested deeper than " + std::to_string(max_depth) + " levels (or cyclic)";
            return false;
        }
        if (!m) {
            return w_.Null();
        }
        switch (m->get_flag()) {
        case message::flag_integer:
            return w_.Int64(m->get_int());
        case message::flag_double: {
            // JSON has no NaN or infinity; JavaScript's JSON.stringify writes null too.
            const double d = m->get_double();
            return std::isfinite(d) ? w_.Double(d) : w_.Null();
        }
        case message::flag_string:
            return write_string(m->get_string(), false);
        case message::flag_boolean:
            return w_.Bool(m->get_bool());
        case message::flag_null:
            return w_.Null();
        case message::flag_binary:
            return write_placeholder(m->get_binary());
        case message::flag_array:
            w_.StartArray();
            for (const auto& item : m->get_vector()) {
                if (!write(item, depth + 1)) {
                    return false;
                }
            }
            return w_.EndArray();
        case message::flag_object:
            w_.StartObject();
            for (const auto& [key, value] : m->get_map()) {
                if (!write_string(key, true) || !write(value, depth + 1)) {
                    return false;
                }
            }
            return w_.EndObject();
        }
        error_ = "message of unknown kind";
        return false;
    }

private:
    bool write_string(const std::string& s, bool key) {
        if (s.size() > std::numeric_limits<rapidjson::SizeType>::max()) {
            error_ = "string too long";
            return false;
        }
        if (!valid_utf8(s)) {
            error_ = key ? "object key is not valid UTF-8" : "string is not valid UTF-8";
            return false;
        }
        const auto length = static_cast<rapidjson::SizeType>(s.size());
        return key ? w_.Key(s.data(), length) : w_.String(s.data(), length);
    }

    bool write_placeholder(const std::shared_ptr<const std::string>& data) {
        if (!attachments_) {
            error_ = "binary data has no JSON form";
            return false;
        }
        w_.StartObject();
        w_.Key("_placeholder");
        w_.Bool(true);
        w_.Key("num");
        w_.Uint64(attachments_->size());
        attachments_->push_back(data);
        return w_.EndObject();
    }

    json_writer& w_;
    std::vector<std::shared_ptr<const std::string>>* attachments_;
    std::string& error_;
};

bool valid_wire_namespace(std::string_view nsp) {
    return !nsp.empty() && nsp.front() == '/' && nsp.find(',') == std::string_view::npos;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<std::vector<frame>> encode_payload(char plain_type, char binary_type, std::string_view nsp,
                                                 std::optional<uint64_t> id, const message::ptr& payload,
                                                 std::string& error) {
    if (!valid_wire_namespace(nsp)) {
        error = "invalid namespace '" + excerpt(nsp) + "'";
        return std::nullopt;
    }
    if (id && *id > max_ack_id) {
        error = "ack id out of range";
        return std::nullopt;
    }
    rapidjson::StringBuffer buffer;
    json_writer writer(buffer);
    std::vector<std::shared_ptr<const std::string>> attachments;
    tree_writer tw(writer, &attachments, error);
    if (!tw.write(payload, 0)) {
        return std::nullopt;
    }
    std::vector<frame> frames(1);
    std::string& text = frames.front().data;
    text = "4";
    if (attachments.empty()) {
        text += plain_type;
    } else {
        text += binary_type;
        text += std::to_string(attachments.size());
        text += '-';
    }
    if (nsp != "/") {
        text.append(nsp);
        text += ',';
    }
    if (id) {
        text += std::to_string(*id);
    }
    text.append(buffer.GetString(), buffer.GetSize());
    for (const auto& data : attachments) {
        frames.push_back(frame{true, *data});
    }
    return frames;
}

} // namespace

std::optional<engine_packet> decode_engine(std::string_view frame_text, std::string& error) {
    if (frame_text.empty()) {
        error = "empty frame";
        return std::nullopt;
    }
    const char c = frame_text.front();
    if (c < '0' || c > '6') {
        error = "unknown engine packet type";
        return std::nullopt;
    }
    return engine_packet{static_cast<engine_type>(c - '0'), frame_text.substr(1)};
}

std::optional<open_params> decode_open(std::string_view payload, std::string& error) {
    const message::ptr data = from_json(payload, error);
    if (!data) {
        return std::nullopt;
    }
    if (data->get_flag() != message::flag_object) {
        error = "open packet data is not an object";
        return std::nullopt;
    }
    const auto& map = data->get_map();
    open_params params;
    const auto sid = map.find("sid");
    if (sid == map.end() || !sid->second || sid->second->get_flag() != message::flag_string) {
        error = "open packet without sid";
        return std::nullopt;
    }
    params.sid = sid->second->get_string();
    for (const auto& [key, target] : {std::pair{"pingInterval", &params.ping_interval_ms},
                                      std::pair{"pingTimeout", &params.ping_timeout_ms}}) {
        const auto it = map.find(key);
        if (it == map.end() || !it->second || it->second->get_flag() != message::flag_integer ||
            it->second->get_int() <= 0 || it->second->get_int() > std::numeric_limits<int32_t>::max()) {
            error = std::string("open packet without a valid ") + key;
            return std::nullopt;
        }
        *target = static_cast<unsigned>(it->second->get_int());
    }
    return params;
}

std::optional<packet> decode_packet(std::string_view payload, std::string& error) {
    if (payload.empty()) {
        error = "empty socket.io packet";
        return std::nullopt;
    }
    const char c = payload.front();
    if (c < '0' || c > '6') {
        error = "unknown socket.io packet type";
        return std::nullopt;
    }
    packet p;
    p.type = static_cast<packet_type>(c - '0');
    size_t pos = 1;

    if (p.type == packet_type::binary_event || p.type == packet_type::binary_ack) {
        const size_t start = pos;
        uint64_t count = 0;
        while (pos < payload.size() && is_digit(payload[pos]) && pos - start < 5) {
            count = count * 10 + static_cast<unsigned>(payload[pos] - '0');
            ++pos;
        }
        if (pos == start || pos >= payload.size() || payload[pos] != '-' || count > max_attachments) {
            error = "binary packet without a valid attachment count";
            return std::nullopt;
        }
        p.attachments = static_cast<unsigned>(count);
        ++pos;
    }

    if (pos < payload.size() && payload[pos] == '/') {
        const size_t comma = payload.find(',', pos);
        if (comma == std::string_view::npos) {
            error = "namespace not terminated by a comma";
            return std::nullopt;
        }
        p.nsp = std::string(payload.substr(pos, comma - pos));
        pos = comma + 1;
    }

    const size_t id_start = pos;
    while (pos < payload.size() && is_digit(payload[pos])) {
        ++pos;
    }
    if (pos > id_start) {
        // More digits than 2^53 has would overflow before the range check.
        if (pos - id_start > 16) {
            error = "ack id out of range";
            return std::nullopt;
        }
        uint64_t id = 0;
        for (size_t i = id_start; i < pos; ++i) {
            id = id * 10 + static_cast<unsigned>(payload[i] - '0');
        }
        if (id > max_ack_id) {
            error = "ack id out of range";
            return std::nullopt;
        }
        p.id = id;
    }

    const std::string_view json = payload.substr(pos);
    if (!json.empty()) {
        p.data = from_json(json, error);
        if (!p.data) {
            return std::nullopt;
        }
    }

    switch (p.type) {
    case packet_type::connect:
        if (p.data && p.data->get_flag() != message::flag_object) {
            error = "connect packet data is not an object";
            return std::nullopt;
        }
        break;
    case packet_type::disconnect:
    case packet_type::connect_error:
        break;
    case packet_type::event:
    case packet_type::binary_event: {
        if (!p.data || p.data->get_flag() != message::flag_array) {
            error = "event data is not an array";
            return std::nullopt;
        }
        const auto& items = p.data->get_vector();
        if (items.empty()) {
            error = "event without a name";
            return std::nullopt;
        }
        if (!items.front() || items.front()->get_flag() != message::flag_string) {
            error = "event name is not a string";
            return std::nullopt;
        }
        break;
    }
    case packet_type::ack:
    case packet_type::binary_ack:
        if (!p.id) {
            error = "ack without an id";
            return std::nullopt;
        }
        if (!p.data || p.data->get_flag() != message::flag_array) {
            error = "ack data is not an array";
            return std::nullopt;
        }
        break;
    }
    return p;
}

std::optional<std::vector<frame>> encode_event(std::string_view nsp, const std::string& name,
                                               const message::list& args, std::optional<uint64_t> id,
                                               std::string& error) {
    return encode_payload('2', '5', nsp, id, args.to_array_message(name), error);
}

std::optional<std::vector<frame>> encode_ack(std::string_view nsp, uint64_t id, const message::list& args,
                                             std::string& error) {
    return encode_payload('3', '6', nsp, id, args.to_array_message(), error);
}

std::string encode_connect(std::string_view nsp, std::string_view auth_json) {
    std::string frame = nsp == "/" ? std::string("40") : "40" + std::string(nsp) + ",";
    return frame.append(auth_json);
}

std::string encode_disconnect(std::string_view nsp) {
    return nsp == "/" ? std::string("41") : "41" + std::string(nsp) + ",";
}

std::optional<std::string> to_json(const message::ptr& value, std::string& error) {
    rapidjson::StringBuffer buffer;
    json_writer writer(buffer);
    tree_writer tw(writer, nullptr, error);
    if (!tw.write(value, 0)) {
        return std::nullopt;
    }
    return std::string(buffer.GetString(), buffer.GetSize());
}

message::ptr from_json(std::string_view text, std::string& error) {
    // The reader takes a NUL byte for the end of input; it is never valid JSON anyway.
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
        error = "bad JSON at offset " + std::to_string(nul) + ": NUL byte";
        return nullptr;
    }
    constexpr unsigned flags = rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag |
                               rapidjson::kParseValidateEncodingFlag;
    rapidjson::MemoryStream stream(text.data(), text.size());
    rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> input(stream);
    rapidjson::Reader reader;
    tree_builder builder;
    const rapidjson::ParseResult result = reader.Parse<flags>(input, builder);
    if (result.IsError()) {
        error = "bad JSON at offset " + std::to_string(result.Offset()) + ": " +
                (builder.error().empty() ? rapidjson::GetParseError_En(result.Code()) : builder.error());
        return nullptr;
    }
    return builder.root();
}

std::string wire_namespace(std::string_view nsp) {
    if (nsp.empty() || nsp == "/") {
        return "/";
    }
    return nsp.front() == '/' ? std::string(nsp) : "/" + std::string(nsp);
}

std::string app_namespace(std::string_view nsp) {
    const std::string wire = wire_namespace(nsp);
    return wire == "/" ? std::string() : wire;
}

std::optional<std::string> engine_url(std::string_view uri, std::string& error) {
    const size_t scheme_end = uri.find("://");
    if (scheme_end == std::string_view::npos) {
        error = "URI '" + excerpt(uri) + "' has no scheme";
        return std::nullopt;
    }
    const std::string_view scheme = uri.substr(0, scheme_end);
    if (scheme == "wss" || scheme == "https") {
        error = "secure connections (" + std::string(scheme) + "://) are not supported";
        return std::nullopt;
    }
    if (scheme != "ws" && scheme != "http") {
        error = "unsupported URI scheme '" + excerpt(scheme) + "'";
        return std::nullopt;
    }
    const std::string_view rest = uri.substr(scheme_end + 3);
    const size_t authority_end = std::min(rest.find_first_of("/?#"), rest.size());
    const std::string_view authority = rest.substr(0, authority_end);
    if (authority.empty()) {
        error = "URI '" + excerpt(uri) + "' has no host";
        return std::nullopt;
    }
    std::string_view tail = rest.substr(authority_end);
    tail = tail.substr(0, std::min(tail.find('#'), tail.size()));
    const size_t query_start = std::min(tail.find('?'), tail.size());
    std::string path(tail.substr(0, query_start));
    const std::string_view query = tail.substr(std::min(query_start + 1, tail.size()));
    if (path.empty() || path == "/") {
        path = "/socket.io/";
    } else if (path.back() != '/') {
        path += '/';
    }
    std::string url = "ws://" + std::string(authority) + path + "?EIO=4&transport=websocket";
    if (!query.empty()) {
        url += '&';
        url.append(query);
    }
    return url;
}

unsigned backoff_delay(unsigned base_ms, unsigned max_ms, unsigned attempt) {
    if (base_ms == 0) {
        return 0;
    }
    // Iterating until the cap keeps large attempt counts from overflowing.
    double delay = base_ms;
    for (unsigned i = 0; i < attempt && delay < max_ms; ++i) {
        delay *= 1.5;
    }
    return delay >= max_ms ? max_ms : static_cast<unsigned>(delay);
}

std::string excerpt(std::string_view frame_text) {
    constexpr size_t limit = 60;
    static const char hex[] = "0123456789abcdef";
    std::string out;
    size_t i = 0;
    while (i < frame_text.size() && i < limit) {
        const auto c = static_cast<unsigned char>(frame_text[i]);
        const size_t len = utf8_sequence(frame_text, i);
        if (len == 0 || c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
            ++i;
        } else {
            out.append(frame_text.substr(i, len));
            i += len;
        }
    }
    if (i < frame_text.size()) {
        out += "...";
    }
    return out;
}

} // namespace sio::packet
