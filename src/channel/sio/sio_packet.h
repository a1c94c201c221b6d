#pragma once

// Engine.IO v4 / Socket.IO v5 framing over the websocket transport. Pure
// functions without networking; decoders report why a frame is rejected.

#include "sio/sio_message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sio::packet {

// Deeper JSON is rejected: building and destroying the tree recurses.
constexpr size_t max_depth = 128;
// Largest integer a JavaScript server can count to exactly.
constexpr uint64_t max_ack_id = (uint64_t{1} << 53) - 1;
constexpr unsigned max_attachments = 1000;

enum class engine_type { open, close, ping, pong, message, upgrade, noop };

struct engine_packet {
    engine_type type;
    std::string_view payload; // points into the decoded frame
};

std::optional<engine_packet> decode_engine(std::string_view frame, std::string& error);

struct open_params {
    std::string sid;
    unsigned ping_interval_ms = 0;
    unsigned ping_timeout_ms = 0;
};

// The payload of the engine open packet, e.g. {"sid":"…","pingInterval":25000,"pingTimeout":20000}.
std::optional<open_params> decode_open(std::string_view payload, std::string& error);

enum class packet_type { connect, disconnect, event, ack, connect_error, binary_event, binary_ack };

struct packet {
    packet_type type = packet_type::event;
    std::string nsp = "/";
    std::optional<uint64_t> id;
    unsigned attachments = 0;
    message::ptr data; // null when the packet carries none
};

// The payload of an engine message packet, i.e. the frame without its leading '4'.
std::optional<packet> decode_packet(std::string_view payload, std::string& error);

struct frame {
    bool binary = false;
    std::string data;
};

// Complete websocket frames: the text frame first, then one binary frame per
// binary_message in the arguments. nsp is in wire form ("/" or "/name").
std::optional<std::vector<frame>> encode_event(std::string_view nsp, const std::string& name,
                                               const message::list& args, std::optional<uint64_t> id,
                                               std::string& error);
std::optional<std::vector<frame>> encode_ack(std::string_view nsp, uint64_t id, const message::list& args,
                                             std::string& error);
// Complete text frames joining or leaving a namespace: "40", "41/name,". A
// join carries the handshake's auth object, if any, as JSON: "40{"token":"T"}".
std::string encode_connect(std::string_view nsp, std::string_view auth_json = {});
std::string encode_disconnect(std::string_view nsp);

std::optional<std::string> to_json(const message::ptr& value, std::string& error);
// Null when text is not a single valid JSON value.
message::ptr from_json(std::string_view text, std::string& error);

// "" and "/" are the default namespace: "/" on the wire, "" for the application.
std::string wire_namespace(std::string_view nsp);
std::string app_namespace(std::string_view nsp);

// "ws://host:port[/path][?query]" to the Engine.IO websocket URL; the path
// defaults to /socket.io/.
std::optional<std::string> engine_url(std::string_view uri, std::string& error);

// Delay before reconnect attempt number `attempt` (0-based): base * 1.5^attempt, at most max_ms.
unsigned backoff_delay(unsigned base_ms, unsigned max_ms, unsigned attempt);

// A short single-line rendering of a frame for diagnostics.
std::string excerpt(std::string_view frame);

} // namespace sio::packet
