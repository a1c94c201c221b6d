#include "sio/sio_client.h"

#include "sio/sio_packet.h"

// GCC reports -Wnull-dereference inside asio's inlined scheduler code at -O2
// even though it comes from a system header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnull-dereference"
#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#pragma GCC diagnostic pop

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace sio {

namespace {

using ws_client = websocketpp::client<websocketpp::config::asio_client>;
using ws_message_ptr = ws_client::message_ptr;

// Grace for the websocket close handshake before the link is cut.
constexpr std::chrono::milliseconds close_grace{1000};
// Bound for sync_close() waiting on the network thread before forcing it to stop.
constexpr std::chrono::milliseconds stop_wait{3000};
// Largest websocket message taken in. websocketpp's own default (32 MB)
// fails the connection on a bigger one, losing the messages queued behind
// it; above this bound that still happens, below it the receiver decides.
constexpr size_t max_message_bytes = size_t{128} << 20;
// Engine.IO's default pingInterval + pingTimeout, used until the server states its own.
constexpr unsigned default_heartbeat_ms = 25000 + 20000;

void diag(const std::string& text) {
    static std::mutex mutex;
    const std::string line = "sio: " + text + "\n";
    const std::lock_guard<std::mutex> lock(mutex);
    std::cerr << line << std::flush;
}

template <class F> void guarded(const std::string& what, F&& f) {
    // An exception escaping a listener would unwind the network thread.
    try {
        f();
    } catch (const std::exception& e) {
        diag(what + " threw: " + e.what());
    } catch (...) {
        diag(what + " threw a non-standard exception");
    }
}

bool reserved_event(const std::string& name) {
    // socket.io servers treat these names specially; the JavaScript client refuses them too.
    static const char* const names[] = {"connect",       "connect_error", "disconnect",
                                        "disconnecting", "newListener",   "removeListener"};
    for (const char* n : names) {
        if (name == n) {
            return true;
        }
    }
    return false;
}

} // namespace

namespace detail {

class client_core : public std::enable_shared_from_this<client_core> {
public:
    client_core();
    client_core(const client_core&) = delete;
    client_core& operator=(const client_core&) = delete;

    // Controlling thread, while the network thread is not running.
    void start(const std::string& url, const std::string& uri, const std::string& auth_json);
    // The network thread's body.
    void run();
    bool wait_stopped(std::chrono::milliseconds timeout);
    void force_stop() { io_.stop(); }
    void request_close();
    bool restartable() const { return close_requested_ || gave_up_; }

    std::shared_ptr<sio::socket> get_socket(const std::string& nsp);
    void on(const std::string& nsp, const std::string& name, const sio::socket::event_listener_aux& handler);
    void off(const std::string& nsp, const std::string& name);
    void off_all(const std::string& nsp);
    void emit(const std::string& nsp, const std::string& name, const message::list& args,
              const sio::socket::ack_listener& ack);

    bool opened() const { return opened_; }

    std::mutex mutex_;
    client::con_listener open_listener_;
    client::con_listener fail_listener_;
    client::close_listener close_listener_;
    client::socket_listener socket_open_listener_;
    client::socket_listener socket_close_listener_;
    std::atomic<int> reconnect_attempts_{-1};
    std::atomic<unsigned> reconnect_delay_{5000};
    std::atomic<unsigned> reconnect_delay_max_{25000};
    std::atomic<size_t> emit_queue_limit_{1000};

private:
    enum class state { stopped, connecting, ws_open, open, waiting, failed, closing };

    struct outgoing {
        std::string name;
        std::vector<packet::frame> frames;
        std::optional<uint64_t> ack_id;
    };

    struct ns_state {
        std::shared_ptr<sio::socket> handle;
        std::string wire;
        bool valid = true;
        std::map<std::string, sio::socket::event_listener_aux> handlers;
        std::deque<outgoing> outbox;
        bool join_sent = false;
        bool joined = false;
    };

    struct pending_ack {
        sio::socket::ack_listener callback;
        bool sent = false;
    };

    // Everything below runs on the network thread only, except where noted.
    void start_attempt();
    void on_ws_open(websocketpp::connection_hdl hdl);
    void on_ws_fail(websocketpp::connection_hdl hdl);
    void on_ws_close(websocketpp::connection_hdl hdl);
    void on_ws_message(websocketpp::connection_hdl hdl, const ws_message_ptr& msg);
    bool current(const websocketpp::connection_hdl& hdl) const;
    void handle_text(const std::string& frame);
    void handle_packet(std::string_view payload, const std::string& frame);
    void dispatch_event(const std::string& nsp, const packet::packet& p);
    void dispatch_ack(const packet::packet& p);
    void join_namespaces();
    void flush();
    void send_text(const std::string& data);
    void send_frames(const std::vector<packet::frame>& frames);
    void connection_lost(const std::string& reason);
    void schedule_reconnect(const std::string& reason);
    void finish_close();
    void arm_heartbeat(unsigned ms);
    void cancel_timers();
    void drop_connection(bool defer);
    std::vector<std::string> leave_namespaces();
    void fire_socket_listener(bool open, const std::string& nsp);
    void fire_close_listener(client::close_reason reason);

    // Caller holds mutex_.
    ns_state& namespace_locked(const std::string& key);
    void trim_outbox(ns_state& ns);
    void schedule_flush_locked();

    // io_ is declared first so that it outlives the endpoint and the timers.
    asio::io_context io_;
    ws_client ws_;
    asio::steady_timer heartbeat_timer_{io_};
    asio::steady_timer reconnect_timer_{io_};
    asio::steady_timer close_timer_{io_};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;

    std::string url_;
    std::string auth_json_;
    std::string display_uri_;
    state state_ = state::stopped;
    ws_client::connection_ptr con_;
    websocketpp::connection_hdl con_hdl_;
    unsigned heartbeat_ms_ = default_heartbeat_ms;
    unsigned attempts_ = 0;
    unsigned binary_frames_to_skip_ = 0;
    // Timer handlers compare generations: a cancelled timer's handler may already be queued.
    uint64_t heartbeat_gen_ = 0;
    uint64_t reconnect_gen_ = 0;

    std::atomic<bool> opened_{false};
    std::atomic<bool> close_requested_{false};
    std::atomic<bool> gave_up_{false};

    // Guarded by mutex_.
    std::map<std::string, ns_state> namespaces_;
    std::map<uint64_t, pending_ack> acks_;
    uint64_t next_ack_id_ = 0;
    bool flush_posted_ = false;

    std::mutex run_mutex_;
    std::condition_variable run_cv_;
    bool running_ = false;
};

client_core::client_core() {
    ws_.clear_access_channels(websocketpp::log::alevel::all);
    ws_.clear_error_channels(websocketpp::log::elevel::all);
    websocketpp::lib::error_code ec;
    ws_.init_asio(&io_, ec);
    if (ec) {
        diag("cannot initialise the websocket endpoint: " + ec.message());
    }
    ws_.set_close_handshake_timeout(static_cast<long>(close_grace.count()));
    ws_.set_max_message_size(max_message_bytes);
    ws_.set_open_handler([this](websocketpp::connection_hdl hdl) { on_ws_open(std::move(hdl)); });
    ws_.set_fail_handler([this](websocketpp::connection_hdl hdl) { on_ws_fail(std::move(hdl)); });
    ws_.set_close_handler([this](websocketpp::connection_hdl hdl) { on_ws_close(std::move(hdl)); });
    ws_.set_message_handler([this](websocketpp::connection_hdl hdl, const ws_message_ptr& msg) {
        on_ws_message(std::move(hdl), msg);
    });
}

void client_core::start(const std::string& url, const std::string& uri, const std::string& auth_json) {
    // Handlers left from an earlier session must not act on the new one: run
    // them now, while state_ says stopped, so that they do nothing.
    state_ = state::stopped;
    con_.reset();
    opened_ = false;
    cancel_timers();
    close_timer_.cancel();
    io_.restart();
    io_.poll();
    io_.restart();
    url_ = url;
    auth_json_ = auth_json;
    display_uri_ = packet::excerpt(uri);
    attempts_ = 0;
    close_requested_ = false;
    gave_up_ = false;
    work_.emplace(io_.get_executor());
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        namespace_locked("");
    }
    {
        const std::lock_guard<std::mutex> lock(run_mutex_);
        running_ = true;
    }
    state_ = state::waiting;
    asio::post(io_, [this] { start_attempt(); });
}

void client_core::run() {
    for (;;) {
        try {
            io_.run();
            break;
        } catch (const std::exception& e) {
            diag(std::string("network thread: ") + e.what());
        } catch (...) {
            diag("network thread: an unknown error");
        }
    }
    {
        const std::lock_guard<std::mutex> lock(run_mutex_);
        running_ = false;
    }
    run_cv_.notify_all();
}

bool client_core::wait_stopped(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(run_mutex_);
    return run_cv_.wait_for(lock, timeout, [this] { return !running_; });
}

client_core::ns_state& client_core::namespace_locked(const std::string& key) {
    ns_state& ns = namespaces_[key];
    if (!ns.handle) {
        ns.wire = packet::wire_namespace(key);
        ns.valid = ns.wire.find(',') == std::string::npos;
        if (!ns.valid) {
            diag("namespace '" + packet::excerpt(key) + "' contains a comma and will never be joined");
        }
        ns.handle = std::shared_ptr<sio::socket>(new sio::socket(key, weak_from_this()));
    }
    return ns;
}

std::shared_ptr<sio::socket> client_core::get_socket(const std::string& nsp) {
    std::shared_ptr<sio::socket> handle;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        handle = namespace_locked(packet::app_namespace(nsp)).handle;
    }
    asio::post(io_, [this] { join_namespaces(); });
    return handle;
}

void client_core::on(const std::string& nsp, const std::string& name,
                     const sio::socket::event_listener_aux& handler) {
    const std::lock_guard<std::mutex> lock(mutex_);
    namespace_locked(nsp).handlers[name] = handler;
}

void client_core::off(const std::string& nsp, const std::string& name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    namespace_locked(nsp).handlers.erase(name);
}

void client_core::off_all(const std::string& nsp) {
    const std::lock_guard<std::mutex> lock(mutex_);
    namespace_locked(nsp).handlers.clear();
}

void client_core::emit(const std::string& nsp, const std::string& name, const message::list& args,
                       const sio::socket::ack_listener& ack) {
    if (reserved_event(name)) {
        diag("emit '" + packet::excerpt(name) + "' dropped: reserved event name");
        return;
    }
    std::optional<uint64_t> id;
    if (ack) {
        const std::lock_guard<std::mutex> lock(mutex_);
        id = next_ack_id_++;
    }
    std::string error;
    // The wire namespace is derived here rather than read from the map so
    // that encoding, the expensive part, happens outside the lock.
    auto frames = packet::encode_event(packet::wire_namespace(nsp), name, args, id, error);
    if (!frames) {
        diag("emit '" + packet::excerpt(name) + "' dropped: " + error);
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    ns_state& ns = namespace_locked(nsp);
    if (id) {
        acks_[*id] = pending_ack{ack, false};
    }
    ns.outbox.push_back(outgoing{name, std::move(*frames), id});
    if (!ns.joined) {
        trim_outbox(ns);
    }
    schedule_flush_locked();
}

void client_core::trim_outbox(ns_state& ns) {
    const size_t limit = emit_queue_limit_;
    while (ns.outbox.size() > limit) {
        const outgoing& dropped = ns.outbox.front();
        if (dropped.ack_id) {
            acks_.erase(*dropped.ack_id);
        }
        diag("emit queue full (" + std::to_string(limit) + "): dropped the oldest emit '" +
             packet::excerpt(dropped.name) + "'");
        ns.outbox.pop_front();
    }
}

void client_core::schedule_flush_locked() {
    if (flush_posted_) {
        return;
    }
    flush_posted_ = true;
    asio::post(io_, [this] {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            flush_posted_ = false;
        }
        flush();
    });
}

void client_core::flush() {
    if (state_ != state::open || !con_) {
        return;
    }
    std::vector<outgoing> ready;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [key, ns] : namespaces_) {
            if (!ns.joined) {
                continue;
            }
            for (auto& item : ns.outbox) {
                if (item.ack_id) {
                    const auto it = acks_.find(*item.ack_id);
                    if (it != acks_.end()) {
                        it->second.sent = true;
                    }
                }
                ready.push_back(std::move(item));
            }
            ns.outbox.clear();
        }
    }
    for (const outgoing& item : ready) {
        send_frames(item.frames);
    }
}

void client_core::send_text(const std::string& data) {
    send_frames({packet::frame{false, data}});
}

void client_core::send_frames(const std::vector<packet::frame>& frames) {
    if (!con_) {
        return;
    }
    for (const packet::frame& f : frames) {
        const auto ec = con_->send(f.data, f.binary ? websocketpp::frame::opcode::binary
                                                    : websocketpp::frame::opcode::text);
        if (ec) {
            diag("send failed: " + ec.message());
            return;
        }
    }
}

void client_core::start_attempt() {
    if (state_ != state::waiting) {
        return;
    }
    state_ = state::connecting;
    websocketpp::lib::error_code ec;
    con_ = ws_.get_connection(url_, ec);
    if (ec || !con_) {
        con_.reset();
        schedule_reconnect("cannot connect to " + display_uri_ + ": " + ec.message());
        return;
    }
    con_hdl_ = con_->get_handle();
    ws_.connect(con_);
}

bool client_core::current(const websocketpp::connection_hdl& hdl) const {
    return con_ && !hdl.owner_before(con_hdl_) && !con_hdl_.owner_before(hdl);
}

void client_core::on_ws_open(websocketpp::connection_hdl hdl) {
    if (!current(hdl) || state_ != state::connecting) {
        return;
    }
    state_ = state::ws_open;
    heartbeat_ms_ = default_heartbeat_ms;
    arm_heartbeat(heartbeat_ms_);
}

void client_core::on_ws_fail(websocketpp::connection_hdl hdl) {
    if (!current(hdl)) {
        return;
    }
    const std::string reason = con_->get_ec().message();
    con_.reset();
    if (state_ == state::closing) {
        finish_close();
        return;
    }
    schedule_reconnect("cannot connect to " + display_uri_ + ": " + reason);
}

void client_core::on_ws_close(websocketpp::connection_hdl hdl) {
    if (!current(hdl)) {
        return;
    }
    const auto code = con_->get_remote_close_code();
    con_.reset();
    if (state_ == state::closing) {
        finish_close();
        return;
    }
    connection_lost("server closed the websocket (code " + std::to_string(code) + ")");
}

void client_core::on_ws_message(websocketpp::connection_hdl hdl, const ws_message_ptr& msg) {
    if (!current(hdl) || state_ == state::closing) {
        return;
    }
    if (msg->get_opcode() == websocketpp::frame::opcode::binary) {
        if (binary_frames_to_skip_ > 0) {
            --binary_frames_to_skip_;
        } else {
            diag("dropped an unexpected binary frame of " + std::to_string(msg->get_payload().size()) +
                 " bytes");
        }
        return;
    }
    handle_text(msg->get_payload());
}

void client_core::handle_text(const std::string& frame) {
    std::string error;
    const auto engine = packet::decode_engine(frame, error);
    if (!engine) {
        diag("dropped frame '" + packet::excerpt(frame) + "': " + error);
        return;
    }
    switch (engine->type) {
    case packet::engine_type::open: {
        if (state_ != state::ws_open) {
            diag("dropped an unexpected open packet");
            return;
        }
        const auto params = packet::decode_open(engine->payload, error);
        if (!params) {
            connection_lost("bad open packet '" + packet::excerpt(frame) + "': " + error);
            return;
        }
        state_ = state::open;
        heartbeat_ms_ = params->ping_interval_ms + params->ping_timeout_ms;
        arm_heartbeat(heartbeat_ms_);
        opened_ = true;
        client::con_listener listener;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            listener = open_listener_;
        }
        if (listener) {
            guarded("open listener", listener);
        }
        join_namespaces();
        return;
    }
    case packet::engine_type::close:
        connection_lost("server closed the session");
        return;
    case packet::engine_type::ping:
        if (state_ == state::open) {
            send_text("3");
            arm_heartbeat(heartbeat_ms_);
        }
        return;
    case packet::engine_type::message:
        if (state_ != state::open) {
            diag("dropped a message before the session opened: '" + packet::excerpt(frame) + "'");
            return;
        }
        handle_packet(engine->payload, frame);
        return;
    case packet::engine_type::pong:
    case packet::engine_type::upgrade:
    case packet::engine_type::noop:
        return;
    }
}

void client_core::handle_packet(std::string_view payload, const std::string& frame) {
    std::string error;
    const auto p = packet::decode_packet(payload, error);
    if (!p) {
        diag("dropped frame '" + packet::excerpt(frame) + "': " + error);
        return;
    }
    const std::string nsp = packet::app_namespace(p->nsp);
    switch (p->type) {
    case packet::packet_type::connect: {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto it = namespaces_.find(nsp);
            if (it == namespaces_.end() || !it->second.join_sent || it->second.joined) {
                diag("dropped an unexpected connect packet for namespace '" + packet::excerpt(p->nsp) + "'");
                return;
            }
            it->second.joined = true;
        }
        attempts_ = 0;
        flush();
        fire_socket_listener(true, nsp);
        return;
    }
    case packet::packet_type::disconnect: {
        bool joined = false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto it = namespaces_.find(nsp);
            joined = it != namespaces_.end() && it->second.joined;
        }
        if (!joined) {
            diag("dropped a disconnect packet for namespace '" + packet::excerpt(p->nsp) +
                 "', which is not joined");
            return;
        }
        connection_lost("server disconnected namespace '" + packet::excerpt(p->nsp) + "'");
        return;
    }
    case packet::packet_type::event:
        dispatch_event(nsp, *p);
        return;
    case packet::packet_type::ack:
        dispatch_ack(*p);
        return;
    case packet::packet_type::connect_error: {
        std::string text;
        if (p->data && p->data->get_flag() == message::flag_object) {
            const auto& map = p->data->get_map();
            const auto it = map.find("message");
            if (it != map.end() && it->second) {
                text = it->second->get_string();
            }
        }
        if (text.empty() && p->data) {
            text = packet::to_json(p->data, error).value_or("");
        }
        diag("server refused namespace '" + packet::excerpt(p->nsp) + "': " + packet::excerpt(text));
        return;
    }
    case packet::packet_type::binary_event:
    case packet::packet_type::binary_ack:
        binary_frames_to_skip_ += p->attachments;
        if (p->type == packet::packet_type::binary_event) {
            diag("ignored binary event '" + packet::excerpt(p->data->get_vector().front()->get_string()) +
                 "'");
        } else {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                acks_.erase(*p->id);
            }
            diag("ignored binary acknowledgement " + std::to_string(*p->id));
        }
        return;
    }
}

void client_core::dispatch_event(const std::string& nsp, const packet::packet& p) {
    const auto& items = p.data->get_vector();
    const std::string& name = items.front()->get_string();
    sio::socket::event_listener_aux handler;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto ns = namespaces_.find(nsp);
        if (ns == namespaces_.end() || !ns->second.joined) {
            diag("dropped event '" + packet::excerpt(name) + "' for namespace '" + packet::excerpt(p.nsp) +
                 "', which is not joined");
            return;
        }
        const auto it = ns->second.handlers.find(name);
        if (it == ns->second.handlers.end() || !it->second) {
            return;
        }
        handler = it->second;
    }
    const message::ptr data = items.size() > 1 ? items[1] : message::ptr();
    message::list response;
    guarded("handler of event '" + packet::excerpt(name) + "'",
            [&] { handler(name, data, p.id.has_value(), response); });
    if (p.id && state_ == state::open) {
        std::string error;
        const auto frames = packet::encode_ack(p.nsp, *p.id, response, error);
        if (frames) {
            send_frames(*frames);
        } else {
            diag("acknowledgement of event '" + packet::excerpt(name) + "' not sent: " + error);
        }
    }
}

void client_core::dispatch_ack(const packet::packet& p) {
    sio::socket::ack_listener callback;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = acks_.find(*p.id);
        if (it == acks_.end()) {
            diag("dropped acknowledgement with unknown id " + std::to_string(*p.id));
            return;
        }
        callback = std::move(it->second.callback);
        acks_.erase(it);
    }
    message::list args;
    for (const auto& item : p.data->get_vector()) {
        args.push(item);
    }
    guarded("acknowledgement callback", [&] { callback(args); });
}

void client_core::join_namespaces() {
    if (state_ != state::open) {
        return;
    }
    std::vector<std::string> frames;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [key, ns] : namespaces_) {
            if (ns.valid && !ns.join_sent) {
                ns.join_sent = true;
                frames.push_back(packet::encode_connect(ns.wire, auth_json_));
            }
        }
    }
    for (const auto& f : frames) {
        send_text(f);
    }
}

void client_core::arm_heartbeat(unsigned ms) {
    const uint64_t gen = ++heartbeat_gen_;
    heartbeat_timer_.expires_after(std::chrono::milliseconds(ms));
    heartbeat_timer_.async_wait([this, gen, ms](const asio::error_code& ec) {
        if (ec || gen != heartbeat_gen_) {
            return;
        }
        connection_lost("no ping from the server for " + std::to_string(ms) + " ms");
    });
}

void client_core::cancel_timers() {
    ++heartbeat_gen_;
    ++reconnect_gen_;
    heartbeat_timer_.cancel();
    reconnect_timer_.cancel();
}

void client_core::drop_connection(bool defer) {
    if (!con_) {
        return;
    }
    // con_ is cleared first, so the handlers that terminate() calls see a stale handle.
    auto con = std::move(con_);
    con_.reset();
    if (defer) {
        // websocketpp does not expect termination from inside the connection's own handlers.
        asio::post(io_, [con] { con->terminate(websocketpp::lib::error_code()); });
    } else {
        con->terminate(websocketpp::lib::error_code());
    }
}

std::vector<std::string> client_core::leave_namespaces() {
    std::vector<std::string> left;
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [key, ns] : namespaces_) {
        if (ns.joined) {
            left.push_back(key);
        }
        ns.joined = false;
        ns.join_sent = false;
        trim_outbox(ns);
    }
    // Answers to emits already sent will not come over a new connection.
    for (auto it = acks_.begin(); it != acks_.end();) {
        it = it->second.sent ? acks_.erase(it) : std::next(it);
    }
    return left;
}

void client_core::connection_lost(const std::string& reason) {
    const bool was_open = state_ == state::open;
    drop_connection(true);
    cancel_timers();
    binary_frames_to_skip_ = 0;
    state_ = state::waiting;
    const auto left = leave_namespaces();
    for (const auto& nsp : left) {
        fire_socket_listener(false, nsp);
    }
    if (was_open) {
        opened_ = false;
        fire_close_listener(client::close_reason::drop);
    }
    schedule_reconnect("connection lost: " + reason);
}

void client_core::schedule_reconnect(const std::string& reason) {
    const int limit = reconnect_attempts_;
    if (limit >= 0 && attempts_ >= static_cast<unsigned>(limit)) {
        state_ = state::failed;
        gave_up_ = true;
        diag(reason + "; giving up after " + std::to_string(attempts_) + " reconnect attempts");
        client::con_listener listener;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            listener = fail_listener_;
        }
        if (listener) {
            guarded("fail listener", listener);
        }
        return;
    }
    const unsigned delay = packet::backoff_delay(reconnect_delay_, reconnect_delay_max_, attempts_);
    ++attempts_;
    state_ = state::waiting;
    diag(reason + "; reconnect attempt " + std::to_string(attempts_) + " in " + std::to_string(delay) +
         " ms");
    const uint64_t gen = ++reconnect_gen_;
    reconnect_timer_.expires_after(std::chrono::milliseconds(delay));
    reconnect_timer_.async_wait([this, gen](const asio::error_code& ec) {
        if (ec || gen != reconnect_gen_) {
            return;
        }
        start_attempt();
    });
}

void client_core::request_close() {
    close_requested_ = true;
    asio::post(io_, [this] {
        if (state_ == state::closing || state_ == state::stopped) {
            return;
        }
        const state previous = state_;
        cancel_timers();
        state_ = state::closing;
        std::vector<std::string> left = leave_namespaces();
        if (con_ && previous == state::open) {
            for (const auto& nsp : left) {
                send_text(packet::encode_disconnect(packet::wire_namespace(nsp)));
            }
        }
        if (con_ && (previous == state::open || previous == state::ws_open)) {
            websocketpp::lib::error_code ec;
            con_->close(websocketpp::close::status::normal, "", ec);
            if (ec) {
                drop_connection(false);
            }
        } else {
            drop_connection(false);
        }
        for (const auto& nsp : left) {
            fire_socket_listener(false, nsp);
        }
        if (!con_) {
            finish_close();
            return;
        }
        close_timer_.expires_after(close_grace);
        close_timer_.async_wait([this](const asio::error_code& ec) {
            if (!ec) {
                finish_close();
            }
        });
    });
}

void client_core::finish_close() {
    if (state_ == state::stopped) {
        return;
    }
    state_ = state::stopped;
    cancel_timers();
    close_timer_.cancel();
    drop_connection(false);
    if (opened_) {
        opened_ = false;
        fire_close_listener(client::close_reason::normal);
    }
    work_.reset();
    io_.stop();
}

void client_core::fire_socket_listener(bool open, const std::string& nsp) {
    client::socket_listener listener;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        listener = open ? socket_open_listener_ : socket_close_listener_;
    }
    if (listener) {
        guarded(open ? "socket open listener" : "socket close listener", [&] { listener(nsp); });
    }
}

void client_core::fire_close_listener(client::close_reason reason) {
    client::close_listener listener;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        listener = close_listener_;
    }
    if (listener) {
        guarded("close listener", [&] { listener(reason); });
    }
}

} // namespace detail

socket::socket(std::string nsp, std::weak_ptr<detail::client_core> core)
    : nsp_(std::move(nsp)), core_(std::move(core)) {}

void socket::on(const std::string& event_name, const event_listener_aux& handler) {
    if (const auto core = core_.lock()) {
        core->on(nsp_, event_name, handler);
    }
}

void socket::off(const std::string& event_name) {
    if (const auto core = core_.lock()) {
        core->off(nsp_, event_name);
    }
}

void socket::off_all() {
    if (const auto core = core_.lock()) {
        core->off_all(nsp_);
    }
}

void socket::emit(const std::string& name, const message::list& msglist, const ack_listener& ack) {
    if (const auto core = core_.lock()) {
        core->emit(nsp_, name, msglist, ack);
    } else {
        diag("emit '" + packet::excerpt(name) + "' dropped: the client no longer exists");
    }
}

client::client() : core_(std::make_shared<detail::client_core>()) {}

client::~client() {
    sync_close();
}

void client::set_open_listener(const con_listener& listener) {
    const std::lock_guard<std::mutex> lock(core_->mutex_);
    core_->open_listener_ = listener;
}

void client::set_fail_listener(const con_listener& listener) {
    const std::lock_guard<std::mutex> lock(core_->mutex_);
    core_->fail_listener_ = listener;
}

void client::set_close_listener(const close_listener& listener) {
    const std::lock_guard<std::mutex> lock(core_->mutex_);
    core_->close_listener_ = listener;
}

void client::set_socket_open_listener(const socket_listener& listener) {
    const std::lock_guard<std::mutex> lock(core_->mutex_);
    core_->socket_open_listener_ = listener;
}

void client::set_socket_close_listener(const socket_listener& listener) {
    const std::lock_guard<std::mutex> lock(core_->mutex_);
    core_->socket_close_listener_ = listener;
}

void client::set_reconnect_attempts(int attempts) {
    core_->reconnect_attempts_ = attempts;
}

void client::set_reconnect_delay(unsigned ms) {
    core_->reconnect_delay_ = ms;
}

void client::set_reconnect_delay_max(unsigned ms) {
    core_->reconnect_delay_max_ = ms;
}

void client::set_emit_queue_limit(size_t n) {
    core_->emit_queue_limit_ = n;
}

void client::connect(const std::string& uri, const message::ptr& auth) {
    std::string error;
    const auto url = packet::engine_url(uri, error);
    if (!url) {
        diag("connect: " + error);
        return;
    }
    std::string auth_json;
    if (auth) {
        const std::optional<std::string> json =
            auth->get_flag() == message::flag_object ? packet::to_json(auth, error) : std::nullopt;
        if (!json) {
            diag("connect: the auth payload must be a JSON object" + (error.empty() ? "" : ": " + error));
            return;
        }
        auth_json = *json;
    }
    if (thread_.joinable()) {
        if (!core_->restartable()) {
            diag("connect: already connected or connecting; close() first");
            return;
        }
        sync_close();
    }
    core_->start(*url, uri, auth_json);
    thread_ = std::thread([core = core_] { core->run(); });
}

std::shared_ptr<sio::socket> client::socket(const std::string& nsp) {
    return core_->get_socket(nsp);
}

// Leaves thread_ alone: close() may run on the network thread while the
// controlling thread joins it.
void client::close() {
    core_->request_close();
}

void client::sync_close() {
    if (!thread_.joinable()) {
        return;
    }
    core_->request_close();
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Called from a listener: the thread owns a reference to the core and ends by itself.
        thread_.detach();
        return;
    }
    if (!core_->wait_stopped(close_grace + stop_wait)) {
        core_->force_stop();
    }
    thread_.join();
}

bool client::opened() const {
    return core_->opened();
}

} // namespace sio
