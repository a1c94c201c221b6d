// Integration tests: the sio client against a real Node.js socket.io v4 server.

#include "sio/sio_client.h"
#include "sio/sio_packet.h"
#include "sio_test_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <future>
#include <memory>

namespace {

using namespace std::chrono_literals;
using sio::message;
using sio_test::field;
using sio_test::test_server;

// A write to the pipe of a test server that has died must fail, not kill the test.
const bool sigpipe_ignored = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}();

// What the client reported, as strings such as "open", "close:drop" or "socket_open:/admin".
class recorder {
public:
    void attach(sio::client& c) {
        c.set_open_listener([this] { add("open"); });
        c.set_fail_listener([this] { add("fail"); });
        c.set_close_listener([this](sio::client::close_reason r) {
            add(r == sio::client::close_reason::normal ? "close:normal" : "close:drop");
        });
        c.set_socket_open_listener([this](const std::string& nsp) { add("socket_open:" + nsp); });
        c.set_socket_close_listener([this](const std::string& nsp) { add("socket_close:" + nsp); });
    }

    void add(const std::string& what) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            log_.push_back(what);
        }
        cv_.notify_all();
    }

    size_t count(const std::string& what) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<size_t>(std::count(log_.begin(), log_.end(), what));
    }

    bool wait(const std::string& what, size_t n = 1, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] {
            return static_cast<size_t>(std::count(log_.begin(), log_.end(), what)) >= n;
        });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> log_;
};

std::string json(const message::ptr& m) {
    std::string error;
    return sio::packet::to_json(m, error).value_or("<" + error + ">");
}

message::ptr parse(const std::string& text) {
    std::string error;
    auto m = sio::packet::from_json(text, error);
    return m ? m : sio::null_message::create();
}

message::ptr str(const std::string& s) {
    return sio::string_message::create(s);
}
message::ptr num(int64_t i) {
    return sio::int_message::create(i);
}

void fast_reconnect(sio::client& c) {
    c.set_reconnect_delay(100);
    c.set_reconnect_delay_max(400);
}

template <class F> std::chrono::milliseconds timed(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// A port where nothing listens: the one a test server had before it was killed.
int dead_port() {
    test_server server;
    return server.port();
}

// Event log lines, in arrival order, whose names are in `names`.
std::vector<std::string> event_sequence(test_server& server, const std::vector<std::string>& names) {
    std::vector<std::string> seq;
    for (const auto& line : server.lines()) {
        const std::string& name = field(line, "event")->get_string();
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            seq.push_back(name + json(field(line, "args")));
        }
    }
    return seq;
}

TEST(SioClient, ConnectsAndExchangesEventsBothWaysWithNonAsciiText) {
    test_server server;
    recorder rec;
    sio::client client;
    rec.attach(client);

    std::mutex mutex;
    std::vector<message::ptr> greetings;
    std::vector<bool> ack_flags;
    const auto socket = client.socket();
    socket->on("greet", [&](const std::string& name, const message::ptr& data, bool is_ack, message::list&) {
        EXPECT_EQ(name, "greet");
        {
            const std::lock_guard<std::mutex> lock(mutex);
            greetings.push_back(data);
            ack_flags.push_back(is_ack);
        }
        rec.add("greet");
    });

    // A host name, unlike the other tests, so that resolution is covered too.
    client.connect("ws://localhost:" + std::to_string(server.port()));
    ASSERT_TRUE(rec.wait("socket_open:"));
    EXPECT_EQ(rec.count("open"), 1u);
    EXPECT_TRUE(client.opened());
    EXPECT_EQ(socket->get_namespace(), "");
    EXPECT_EQ(client.socket("/"), socket);

    auto payload = sio::object_message::create();
    payload->get_map()["text"] = str("Grüße, 世界 😀 \"quoted\" \\ \n\t end");
    payload->get_map()["count"] = num(42);
    payload->get_map()["ratio"] = sio::double_message::create(0.1);
    payload->get_map()["flags"] = parse(R"([true, false, null, {"deep": [1.5, -2]}])");
    message::list args(payload);
    args.push(str("second"));
    socket->emit("hello", args);

    const auto hello = server.events("hello", 1);
    ASSERT_EQ(hello.size(), 1u);
    EXPECT_EQ(field(hello[0], "nsp")->get_string(), "/");
    EXPECT_FALSE(field(hello[0], "ack")->get_bool());
    EXPECT_EQ(json(field(hello[0], "args")), "[" + json(payload) + ",\"second\"]");

    server.command(
        R"({"cmd":"emit","event":"greet","args":["Ça va? 👋 \u00fcn\u00efc\u00f6d\u00e9 \ud83d\ude00", {"k": 1}]})");
    server.command(R"({"cmd":"emit","event":"greet"})");
    ASSERT_TRUE(rec.wait("greet", 2));
    const std::lock_guard<std::mutex> lock(mutex);
    ASSERT_NE(greetings[0], nullptr);
    EXPECT_EQ(greetings[0]->get_string(), "Ça va? 👋 ünïcödé 😀");
    EXPECT_EQ(greetings[1], nullptr);
    EXPECT_FALSE(ack_flags[0]);
}

TEST(SioClient, BinaryArgumentsReachTheServerAsBuffers) {
    test_server server;
    recorder rec;
    sio::client client;
    rec.attach(client);
    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    auto meta = sio::object_message::create();
    meta->get_map()["raw"] = sio::binary_message::create(std::make_shared<const std::string>("\xff", 1));
    message::list args(std::make_shared<const std::string>(std::string("\x00\x01\xfe", 3)));
    args.push(meta);
    client.socket()->emit("upload", args);

    const auto upload = server.events("upload", 1);
    ASSERT_EQ(upload.size(), 1u);
    EXPECT_EQ(json(field(upload[0], "args")), R"([{"_binary":[0,1,254]},{"raw":{"_binary":[255]}}])");
}

TEST(SioClient, ReconnectsAfterAServerRestartAndSaysReadyAgain) {
    auto server = std::make_unique<test_server>();
    const int port = server->port();
    recorder rec;
    sio::client client;
    fast_reconnect(client);
    rec.attach(client);
    client.set_socket_open_listener([&](const std::string& nsp) {
        rec.add("socket_open:" + nsp);
        client.socket(nsp)->emit("ready", std::string("view"));
    });

    client.connect(server->uri());
    ASSERT_EQ(server->events("ready", 1).size(), 1u);

    server->kill();
    ASSERT_TRUE(rec.wait("close:drop"));
    EXPECT_TRUE(rec.wait("socket_close:"));
    EXPECT_FALSE(client.opened());

    server.reset();
    server = std::make_unique<test_server>(test_server::options{port});
    ASSERT_TRUE(rec.wait("socket_open:", 2));
    const auto ready = server->events("ready", 1);
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(json(field(ready[0], "args")), R"(["view"])");
    EXPECT_EQ(rec.count("open"), 2u);
    EXPECT_EQ(rec.count("close:drop"), 1u);
    EXPECT_TRUE(client.opened());
}

TEST(SioClient, DetectsAFrozenServerAndReconnectsOnceItResumes) {
    test_server server({0, 300, 200});
    recorder rec;
    sio::client client;
    fast_reconnect(client);
    rec.attach(client);
    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    server.freeze();
    ASSERT_TRUE(rec.wait("close:drop"));
    EXPECT_FALSE(client.opened());
    server.thaw();

    ASSERT_TRUE(rec.wait("socket_open:", 2));
    client.socket()->emit("after");
    EXPECT_EQ(server.events("after", 1).size(), 1u);
}

TEST(SioClient, EmitsWhileDisconnectedAreSentInOrderAfterReconnectAndTheOldestDropped) {
    auto server = std::make_unique<test_server>();
    const int port = server->port();
    recorder rec;
    sio::client client;
    fast_reconnect(client);
    client.set_emit_queue_limit(3);
    rec.attach(client);
    client.connect(server->uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    server->kill();
    ASSERT_TRUE(rec.wait("close:drop"));
    const auto socket = client.socket();
    for (int i = 1; i <= 4; ++i) {
        socket->emit("queued", num(i));
    }
    std::promise<std::string> answered;
    socket->emit("asked", str("question"),
                 [&](const message::list& resp) { answered.set_value(json(resp.to_array_message())); });

    server.reset();
    server = std::make_unique<test_server>(test_server::options{port});
    ASSERT_TRUE(rec.wait("socket_open:", 2));
    socket->emit("marker");
    ASSERT_EQ(server->events("marker", 1).size(), 1u);
    EXPECT_EQ(event_sequence(*server, {"queued", "asked", "marker"}),
              (std::vector<std::string>{"queued[3]", "queued[4]", R"(asked["question"])", "marker[]"}));
    auto answer = answered.get_future();
    ASSERT_EQ(answer.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(answer.get(), R"(["ok","question"])");
}

TEST(SioClient, ServerSideDisconnectsCountAsLostAndReconnect) {
    test_server server;
    recorder rec;
    sio::client client;
    fast_reconnect(client);
    rec.attach(client);
    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    server.run(R"({"cmd":"disconnect"})");
    ASSERT_TRUE(rec.wait("close:drop", 1));
    ASSERT_TRUE(rec.wait("socket_open:", 2));

    server.run(R"({"cmd":"closeEngine"})");
    ASSERT_TRUE(rec.wait("close:drop", 2));
    ASSERT_TRUE(rec.wait("socket_open:", 3));

    // An Engine.IO close packet.
    server.run(R"({"cmd":"raw","data":"1"})");
    ASSERT_TRUE(rec.wait("close:drop", 3));
    ASSERT_TRUE(rec.wait("socket_open:", 4));
    EXPECT_EQ(rec.count("socket_close:"), 3u);
    EXPECT_TRUE(server.wait_connections(4));

    client.socket()->emit("still-here");
    EXPECT_EQ(server.events("still-here", 1).size(), 1u);
}

TEST(SioClient, CloseWhileConnectedLeavesCleanlyAndPromptly) {
    test_server server;
    recorder rec;
    auto client = std::make_unique<sio::client>();
    rec.attach(*client);
    client->connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    EXPECT_LT(timed([&] { client->sync_close(); }), 5s);
    EXPECT_FALSE(client->opened());
    EXPECT_EQ(rec.count("close:normal"), 1u);
    EXPECT_EQ(rec.count("socket_close:"), 1u);
    EXPECT_EQ(rec.count("close:drop"), 0u);
    EXPECT_TRUE(server.wait_for(
        [](const sio_test::log_lines& lines) {
            for (const auto& l : lines) {
                if (field(field(l, "disconnect"), "reason")->get_string() == "client namespace disconnect") {
                    return true;
                }
            }
            return false;
        },
        10s));

    // The same client connects again, and its destructor closes it while connected.
    client->connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:", 2));
    EXPECT_LT(timed([&] { client.reset(); }), 5s);
    EXPECT_EQ(rec.count("close:normal"), 2u);
}

TEST(SioClient, CloseReturnsPromptlyWhileConnectedToAFrozenServer) {
    test_server server;
    recorder rec;
    auto client = std::make_unique<sio::client>();
    rec.attach(*client);
    client->connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));
    server.freeze();
    EXPECT_LT(timed([&] { client.reset(); }), 5s);
    EXPECT_EQ(rec.count("close:normal"), 1u);
}

TEST(SioClient, CloseReturnsPromptlyDuringAReconnectWait) {
    recorder rec;
    auto client = std::make_unique<sio::client>();
    rec.attach(*client);
    client->set_reconnect_delay(60000);
    client->set_reconnect_delay_max(60000);
    client->connect("ws://127.0.0.1:" + std::to_string(dead_port()));
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(timed([&] { client.reset(); }), 5s);
    EXPECT_EQ(rec.count("open"), 0u);
    EXPECT_EQ(rec.count("close:normal") + rec.count("close:drop") + rec.count("fail"), 0u);
}

TEST(SioClient, CloseReturnsPromptlyDuringAPendingConnectToAFrozenServer) {
    test_server server;
    server.freeze();
    auto client = std::make_unique<sio::client>();
    client->connect(server.uri());
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(timed([&] {
                  client->close();
                  client.reset();
              }),
              5s);
}

TEST(SioClient, FailListenerFiresWhenTheAttemptLimitIsUsedUp) {
    recorder rec;
    sio::client client;
    rec.attach(client);
    client.set_reconnect_attempts(2);
    client.set_reconnect_delay(50);
    client.connect("ws://127.0.0.1:" + std::to_string(dead_port()));
    ASSERT_TRUE(rec.wait("fail"));
    EXPECT_EQ(rec.count("open"), 0u);
    EXPECT_EQ(rec.count("close:drop"), 0u);
    EXPECT_LT(timed([&] { client.sync_close(); }), 5s);
}

TEST(SioClient, EmitsFromManyThreadsAreAllDeliveredInPerThreadOrder) {
    test_server server;
    recorder rec;
    sio::client client;
    rec.attach(client);
    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    constexpr int threads = 4;
    constexpr int per_thread = 250;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            const auto socket = client.socket();
            for (int i = 0; i < per_thread; ++i) {
                socket->emit("burst", message::list{num(t), num(i)});
            }
        });
    }
    for (auto& w : workers) {
        w.join();
    }

    const auto burst = server.events("burst", threads * per_thread, 30s);
    ASSERT_EQ(burst.size(), static_cast<size_t>(threads * per_thread));
    std::vector<int64_t> next(threads, 0);
    for (const auto& line : burst) {
        const auto& args = field(line, "args")->get_vector();
        const auto t = static_cast<size_t>(args.at(0)->get_int());
        ASSERT_LT(t, next.size());
        EXPECT_EQ(args.at(1)->get_int(), next[t]++);
    }
}

TEST(SioClient, AcknowledgementsWorkBothWays) {
    test_server server;
    recorder rec;
    sio::client client;
    rec.attach(client);
    const auto socket = client.socket();
    socket->on("question",
               [&](const std::string&, const message::ptr& data, bool is_ack, message::list& resp) {
                   EXPECT_TRUE(is_ack);
                   resp.push(num(data->get_int() + 1));
                   resp.push(str("yes ✓"));
               });
    socket->on("silent", [&](const std::string&, const message::ptr&, bool is_ack, message::list&) {
        EXPECT_TRUE(is_ack);
    });
    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    std::promise<std::string> answered;
    socket->emit("ask", message::list{num(7), str("x")},
                 [&](const message::list& resp) { answered.set_value(json(resp.to_array_message())); });
    auto answer = answered.get_future();
    ASSERT_EQ(answer.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(answer.get(), R"(["ok",7,"x"])");
    const auto asked = server.events("ask", 1);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(field(asked[0], "ack")->get_bool());

    server.command(R"({"cmd":"emitAck","event":"question","args":[41],"tag":"q"})");
    server.command(R"({"cmd":"emitAck","event":"silent","tag":"s"})");
    EXPECT_TRUE(server.wait_for(
        [](const sio_test::log_lines& lines) {
            return std::count_if(lines.begin(), lines.end(), [](const message::ptr& l) {
                       return !field(l, "ack")->get_string().empty();
                   }) >= 2;
        },
        10s));
    for (const auto& line : server.lines()) {
        const std::string& tag = field(line, "ack")->get_string();
        if (tag == "q") {
            EXPECT_EQ(json(field(line, "args")), R"([42,"yes ✓"])");
            EXPECT_EQ(field(line, "error")->get_flag(), message::flag_null);
        } else if (tag == "s") {
            EXPECT_EQ(json(field(line, "args")), "[]");
            EXPECT_EQ(field(line, "error")->get_flag(), message::flag_null);
        }
    }
}

TEST(SioClient, NamespacesAreJoinedAndRoutedSeparately) {
    test_server server;
    recorder rec;
    sio::client client;
    rec.attach(client);
    std::mutex mutex;
    std::vector<std::string> received;
    const auto record = [&](const std::string& who) {
        return [&, who](const std::string&, const message::ptr& data, bool, message::list&) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                received.push_back(who + ":" + data->get_string());
            }
            rec.add("news");
        };
    };
    const auto main = client.socket();
    const auto admin = client.socket("admin");
    const auto refused = client.socket("/forbidden");
    main->on("news", record("main"));
    admin->on("news", record("admin"));
    EXPECT_EQ(admin->get_namespace(), "/admin");
    EXPECT_EQ(client.socket("/admin"), admin);

    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));
    ASSERT_TRUE(rec.wait("socket_open:/admin"));

    // A namespace asked for after the connection opened is joined too.
    const auto late = client.socket("/late");
    ASSERT_TRUE(rec.wait("socket_open:/late"));

    server.command(R"({"cmd":"emit","nsp":"/admin","event":"news","args":["to admin"]})");
    server.command(R"({"cmd":"emit","event":"news","args":["to main"]})");
    ASSERT_TRUE(rec.wait("news", 2));
    {
        const std::lock_guard<std::mutex> lock(mutex);
        std::sort(received.begin(), received.end());
        EXPECT_EQ(received, (std::vector<std::string>{"admin:to admin", "main:to main"}));
    }

    admin->emit("from", str("admin"));
    late->emit("from", str("late"));
    const auto from = server.events("from", 2);
    ASSERT_EQ(from.size(), 2u);
    std::vector<std::string> origins;
    for (const auto& line : from) {
        origins.push_back(field(line, "nsp")->get_string() + json(field(line, "args")));
    }
    std::sort(origins.begin(), origins.end());
    EXPECT_EQ(origins, (std::vector<std::string>{R"(/admin["admin"])", R"(/late["late"])"}));

    EXPECT_EQ(rec.count("socket_open:/forbidden"), 0u);
    EXPECT_EQ(server.connections("/forbidden"), 0u);
    EXPECT_EQ(rec.count("close:drop"), 0u);
}

TEST(SioClient, MalformedFramesAndBinaryPacketsFromTheServerDoNotBreakTheLink) {
    test_server server;
    recorder rec;
    sio::client client;
    rec.attach(client);
    const auto socket = client.socket();
    socket->on("bin", [&](const std::string&, const message::ptr&, bool, message::list&) { rec.add("bin"); });
    socket->on("alive",
               [&](const std::string&, const message::ptr&, bool, message::list&) { rec.add("alive"); });
    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    const std::vector<std::string> frames = {"",
                                             "9",
                                             "x",
                                             "4",
                                             "47",
                                             "42{}",
                                             "42[]",
                                             "42[1]",
                                             "42/nsp",
                                             R"(42["x")",
                                             R"(42["x"]])",
                                             R"(4212345678901234567["e"])",
                                             "43999[]",
                                             R"(45-["b"])",
                                             "40",
                                             "41/unknown,",
                                             "3",
                                             "6",
                                             "5",
                                             R"(42/nowhere,["news"])",
                                             R"(44/other,{"message":"not for us"})",
                                             R"(0{"sid":"again"})"};
    for (const auto& frame : frames) {
        auto cmd = sio::object_message::create();
        cmd->get_map()["cmd"] = str("raw");
        cmd->get_map()["data"] = str(frame);
        server.run(json(cmd));
    }
    server.run(R"({"cmd":"emitBinary","event":"bin","bytes":[0,1,2,255],"args":["caption"]})");
    server.run(R"({"cmd":"raw","bytes":[9,8,7]})");

    server.command(R"({"cmd":"emit","event":"alive"})");
    ASSERT_TRUE(rec.wait("alive"));
    EXPECT_EQ(rec.count("bin"), 0u);
    EXPECT_EQ(rec.count("close:drop"), 0u);
    EXPECT_EQ(rec.count("socket_open:"), 1u);
    EXPECT_TRUE(client.opened());
}

TEST(SioClient, UnsendableEmitsAndThrowingHandlersAreContained) {
    test_server server;
    recorder rec;
    sio::client client;
    rec.attach(client);
    const auto socket = client.socket();
    socket->on("explode", [](const std::string&, const message::ptr&, bool, message::list&) {
        throw std::runtime_error("handler failure");
    });
    socket->on("alive",
               [&](const std::string&, const message::ptr&, bool, message::list&) { rec.add("alive"); });
    client.connect(server.uri());
    ASSERT_TRUE(rec.wait("socket_open:"));

    socket->emit("disconnect");
    socket->emit("bad-utf8", std::string("\xc3\x28"));
    socket->emit("bad\xff");
    socket->emit("fine");
    server.command(R"({"cmd":"emit","event":"explode"})");
    server.command(R"({"cmd":"emit","event":"alive"})");

    ASSERT_TRUE(rec.wait("alive"));
    ASSERT_EQ(server.events("fine", 1).size(), 1u);
    EXPECT_EQ(server.count([](const message::ptr& l) { return !field(l, "event")->get_string().empty(); }),
              1u);
    EXPECT_EQ(rec.count("close:drop"), 0u);
}

} // namespace
