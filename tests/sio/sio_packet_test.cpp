#include "sio/sio_packet.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <limits>

namespace {

using sio::message;
namespace packet = sio::packet;

message::ptr json(const std::string& text) {
    std::string error;
    auto m = packet::from_json(text, error);
    EXPECT_TRUE(m) << text << ": " << error;
    return m ? m : sio::null_message::create();
}

std::string to_json(const message::ptr& m) {
    std::string error;
    const auto text = packet::to_json(m, error);
    EXPECT_TRUE(text) << error;
    return text.value_or("");
}

// Decodes a whole text frame as the client does: engine packet, then socket.io packet.
std::optional<packet::packet> decode_frame(const std::string& frame, std::string& error) {
    const auto engine = packet::decode_engine(frame, error);
    if (!engine) {
        return std::nullopt;
    }
    if (engine->type != packet::engine_type::message) {
        error = "not a message packet";
        return std::nullopt;
    }
    return packet::decode_packet(engine->payload, error);
}

packet::packet decode_ok(const std::string& frame) {
    std::string error;
    auto p = decode_frame(frame, error);
    EXPECT_TRUE(p) << frame << ": " << error;
    return p.value_or(packet::packet{});
}

TEST(SioEnginePacket, DecodesEveryTypeAndRejectsTheRest) {
    const std::pair<char, packet::engine_type> types[] = {
        {'0', packet::engine_type::open},    {'1', packet::engine_type::close},
        {'2', packet::engine_type::ping},    {'3', packet::engine_type::pong},
        {'4', packet::engine_type::message}, {'5', packet::engine_type::upgrade},
        {'6', packet::engine_type::noop}};
    for (const auto& [digit, type] : types) {
        std::string error;
        const std::string frame = std::string(1, digit) + "payload";
        const auto p = packet::decode_engine(frame, error);
        ASSERT_TRUE(p) << digit;
        EXPECT_EQ(p->type, type);
        EXPECT_EQ(p->payload, "payload");
    }
    for (const std::string bad : {"", "7", "9x", "x", "{}", "\xff"}) {
        std::string error;
        EXPECT_FALSE(packet::decode_engine(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(SioEnginePacket, OpenPacket) {
    std::string error;
    const auto open = packet::decode_open(
        R"({"sid":"lv_VI97HAXpY6yYWAAAC","upgrades":[],"pingInterval":25000,"pingTimeout":20000,"maxPayload":1000000})",
        error);
    ASSERT_TRUE(open) << error;
    EXPECT_EQ(open->sid, "lv_VI97HAXpY6yYWAAAC");
    EXPECT_EQ(open->ping_interval_ms, 25000u);
    EXPECT_EQ(open->ping_timeout_ms, 20000u);

    for (const std::string bad : {
             R"({"pingInterval":1,"pingTimeout":1})",
             R"({"sid":5,"pingInterval":1,"pingTimeout":1})",
             R"({"sid":"a","pingTimeout":1})",
             R"({"sid":"a","pingInterval":"300","pingTimeout":1})",
             R"({"sid":"a","pingInterval":1.5,"pingTimeout":1})",
             R"({"sid":"a","pingInterval":0,"pingTimeout":1})",
             R"({"sid":"a","pingInterval":1,"pingTimeout":-5})",
             R"({"sid":"a","pingInterval":1,"pingTimeout":99999999999})",
             R"(["sid"])",
             R"({"sid":)",
             "",
         }) {
        error.clear();
        EXPECT_FALSE(packet::decode_open(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(SioPacket, DecodesEveryTypeWithNamespacesAndAckIds) {
    auto p = decode_ok(R"(40{"sid":"abc"})");
    EXPECT_EQ(p.type, packet::packet_type::connect);
    EXPECT_EQ(p.nsp, "/");
    EXPECT_EQ(p.data->get_map().at("sid")->get_string(), "abc");

    p = decode_ok(R"(40/admin,{"sid":"def"})");
    EXPECT_EQ(p.type, packet::packet_type::connect);
    EXPECT_EQ(p.nsp, "/admin");

    p = decode_ok("41");
    EXPECT_EQ(p.type, packet::packet_type::disconnect);
    EXPECT_EQ(p.nsp, "/");
    EXPECT_EQ(p.data, nullptr);

    p = decode_ok("41/admin,");
    EXPECT_EQ(p.type, packet::packet_type::disconnect);
    EXPECT_EQ(p.nsp, "/admin");

    p = decode_ok(R"(42["hello",1,{"a":[true]}])");
    EXPECT_EQ(p.type, packet::packet_type::event);
    EXPECT_FALSE(p.id);
    ASSERT_EQ(p.data->get_vector().size(), 3u);
    EXPECT_EQ(p.data->get_vector()[0]->get_string(), "hello");

    p = decode_ok(R"(42/admin,12["hello"])");
    EXPECT_EQ(p.nsp, "/admin");
    ASSERT_TRUE(p.id);
    EXPECT_EQ(*p.id, 12u);

    p = decode_ok(R"(420["zero id"])");
    ASSERT_TRUE(p.id);
    EXPECT_EQ(*p.id, 0u);

    p = decode_ok(R"(439007199254740991["max id"])");
    EXPECT_EQ(p.type, packet::packet_type::ack);
    EXPECT_EQ(*p.id, packet::max_ack_id);

    p = decode_ok(R"(43/admin,7[])");
    EXPECT_EQ(p.type, packet::packet_type::ack);
    EXPECT_EQ(p.nsp, "/admin");
    EXPECT_EQ(*p.id, 7u);
    EXPECT_TRUE(p.data->get_vector().empty());

    p = decode_ok(R"(44{"message":"not allowed"})");
    EXPECT_EQ(p.type, packet::packet_type::connect_error);
    EXPECT_EQ(p.data->get_map().at("message")->get_string(), "not allowed");

    p = decode_ok(R"(44/admin,{"message":"no"})");
    EXPECT_EQ(p.nsp, "/admin");
}

TEST(SioPacket, RecognisesBinaryPacketsAndTheirAttachmentCounts) {
    auto p = decode_ok(R"(451-["file",{"_placeholder":true,"num":0}])");
    EXPECT_EQ(p.type, packet::packet_type::binary_event);
    EXPECT_EQ(p.attachments, 1u);
    EXPECT_EQ(p.nsp, "/");

    p = decode_ok(R"(4512-/admin,9["many"])");
    EXPECT_EQ(p.type, packet::packet_type::binary_event);
    EXPECT_EQ(p.attachments, 12u);
    EXPECT_EQ(p.nsp, "/admin");
    EXPECT_EQ(*p.id, 9u);

    p = decode_ok(R"(461-3[{"_placeholder":true,"num":0}])");
    EXPECT_EQ(p.type, packet::packet_type::binary_ack);
    EXPECT_EQ(p.attachments, 1u);
    EXPECT_EQ(*p.id, 3u);
}

TEST(SioPacket, MalformedFramesAreRejectedWithAReason) {
    const std::string bad[] = {
        "",
        "4",
        "47",
        "4x",
        R"(42{})",
        R"(42"text")",
        "42",
        R"(42[])",
        R"(42[1])",
        R"(42[null])",
        "42/nsp",
        R"(42/nsp["x"])",
        R"(42["x")",
        R"(42["x"]])",
        R"(42["x"] trailing)",
        R"(4212345678901234567["e"])",
        R"(429007199254740992["e"])",
        R"(43["no id"])",
        R"(435)",
        R"(435{})",
        R"(40[1])",
        R"(45-["b"])",
        R"(451["b"])",
        R"(45x-["b"])",
        R"(451001-["b"])",
        R"(4599999999-["b"])",
        "42[\"\xff\xfe\"]",
        "42[\"\xc0\xaf\"]",
        "42[\"\xed\xa0\x80\"]",
        "42[\"\xf0\x9f\x98\"]",
        R"(42["\uDC00"])",
        R"(42["\uD83D"])",
        R"(42["\uD83Dx"])",
        R"(42["\uZZZZ"])",
        R"(42["x",{"\uDC00":1}])",
        std::string("42[\"a\"]\0[", 9),
        std::string("42[\"a\0b\"]", 9),
        R"(42["x",1e400])",
        R"(42["x",01])",
        R"(42["x",NaN])",
    };
    for (const std::string& frame : bad) {
        std::string error;
        EXPECT_FALSE(decode_frame(frame, error)) << packet::excerpt(frame);
        EXPECT_FALSE(error.empty()) << packet::excerpt(frame);
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(SioPacket, HostileNestingIsRejectedWithoutExhaustingTheStack) {
    std::string error;
    const std::string deep = "42[\"x\"," + std::string(1'000'000, '[') + std::string(1'000'000, ']') + "]";
    EXPECT_FALSE(decode_frame(deep, error));
    EXPECT_NE(error.find("nested"), std::string::npos) << error;

    error.clear();
    EXPECT_FALSE(packet::from_json(std::string(200'000, '{'), error));

    std::string fits =
        "[\"x\"," + std::string(packet::max_depth - 2, '[') + std::string(packet::max_depth - 2, ']') + "]";
    EXPECT_TRUE(packet::from_json(fits, error)) << error;
}

TEST(SioJson, DecodesEscapesAndUnicodeExactly) {
    const auto m =
        json(R"(["a\"b\\c\/d\n\r\t\b\f", "\u00e9\u4e2d", "\uD83D\uDE00", "caf\u00E9 ☕ 😀", "nul\u0000byte"])");
    const auto& v = m->get_vector();
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[0]->get_string(), "a\"b\\c/d\n\r\t\b\f");
    EXPECT_EQ(v[1]->get_string(), "\xc3\xa9\xe4\xb8\xad");
    EXPECT_EQ(v[2]->get_string(), "\xf0\x9f\x98\x80");
    EXPECT_EQ(v[3]->get_string(), "caf\xc3\xa9 \xe2\x98\x95 \xf0\x9f\x98\x80");
    EXPECT_EQ(v[4]->get_string(), std::string("nul\0byte", 8));

    const auto keys = json(R"({"\u00e9":1,"dup":1,"dup":2})");
    EXPECT_EQ(keys->get_map().at("\xc3\xa9")->get_int(), 1);
    EXPECT_EQ(keys->get_map().at("dup")->get_int(), 2);
}

TEST(SioJson, DecodesNumbersBooleansAndNull) {
    const auto m = json(R"([0, -7, 9223372036854775807, -9223372036854775808, 18446744073709551615,
                           1.5, 1.0, -0.0, 0.1, 1e-7, 2.2250738585072014e-308, true, false, null])");
    const auto& v = m->get_vector();
    ASSERT_EQ(v.size(), 14u);
    EXPECT_EQ(v[0]->get_flag(), message::flag_integer);
    EXPECT_EQ(v[1]->get_int(), -7);
    EXPECT_EQ(v[2]->get_int(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(v[3]->get_int(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(v[4]->get_flag(), message::flag_double);
    EXPECT_EQ(v[4]->get_double(), 18446744073709551615.0);
    EXPECT_EQ(v[5]->get_flag(), message::flag_double);
    EXPECT_EQ(v[5]->get_double(), 1.5);
    EXPECT_EQ(v[6]->get_flag(), message::flag_double);
    EXPECT_TRUE(std::signbit(v[7]->get_double()));
    EXPECT_EQ(v[8]->get_double(), 0.1);
    EXPECT_EQ(v[9]->get_double(), 1e-7);
    EXPECT_EQ(v[10]->get_double(), DBL_MIN);
    EXPECT_TRUE(v[11]->get_bool());
    EXPECT_EQ(v[12]->get_flag(), message::flag_boolean);
    EXPECT_FALSE(v[12]->get_bool());
    EXPECT_EQ(v[13]->get_flag(), message::flag_null);
}

TEST(SioJson, EncodesValidEscapedJson) {
    auto object = sio::object_message::create();
    auto& map = object->get_map();
    map["quote\"key"] = sio::string_message::create("a\"b\\c\n\x01\x1f\x7f/é😀");
    map["int"] = sio::int_message::create(1);
    map["double"] = sio::double_message::create(1.0);
    map["neg"] = sio::int_message::create(std::numeric_limits<int64_t>::min());
    map["t"] = sio::bool_message::create(true);
    map["n"] = sio::null_message::create();
    map["missing"] = nullptr;
    auto nested = sio::array_message::create();
    nested->get_vector().push_back(sio::array_message::create());
    nested->get_vector().push_back(sio::object_message::create());
    map["nested"] = nested;

    EXPECT_EQ(to_json(object), R"({"double":1.0,"int":1,"missing":null,"n":null,"neg":-9223372036854775808,)"
                               R"("nested":[[],{}],"quote\"key":"a\"b\\c\n\u0001\u001F)"
                               "\x7f/é😀"
                               R"(","t":true})");
}

TEST(SioJson, DoublesRoundTripExactlyAndNonFiniteBecomesNull) {
    for (const double d : {0.1, 1.0 / 3.0, 1e-300, DBL_MAX, -DBL_MIN, 5e-324, 123456789.123456789, 1e21}) {
        const auto back = json(to_json(sio::double_message::create(d)));
        EXPECT_EQ(back->get_flag(), message::flag_double) << d;
        EXPECT_EQ(back->get_double(), d);
    }
    EXPECT_EQ(to_json(sio::double_message::create(std::nan(""))), "null");
    EXPECT_EQ(to_json(sio::double_message::create(-HUGE_VAL)), "null");
}

TEST(SioJson, NumbersIgnoreTheProcessLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
        GTEST_SKIP() << "the fr_FR.UTF-8 locale is not installed";
    }
    const std::string encoded = to_json(sio::double_message::create(2.5));
    const auto decoded = json("[0.25]");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(encoded, "2.5");
    EXPECT_EQ(decoded->get_vector().at(0)->get_double(), 0.25);
}

TEST(SioJson, UnencodableMessagesAreRefused) {
    std::string error;
    EXPECT_FALSE(packet::to_json(sio::string_message::create("bad \xff"), error));
    EXPECT_NE(error.find("UTF-8"), std::string::npos);

    auto object = sio::object_message::create();
    object->get_map()["\xc0\x80"] = sio::null_message::create();
    EXPECT_FALSE(packet::to_json(object, error));

    EXPECT_FALSE(
        packet::to_json(sio::binary_message::create(std::make_shared<const std::string>("x")), error));

    auto cyclic = sio::array_message::create();
    cyclic->get_vector().push_back(cyclic);
    error.clear();
    EXPECT_FALSE(packet::to_json(cyclic, error));
    EXPECT_NE(error.find("cyclic"), std::string::npos);
    cyclic->get_vector().clear();
}

TEST(SioEncode, EventsCarryNamespaceAndAckId) {
    std::string error;
    message::list args;
    args.push(sio::string_message::create("x"));
    args.push(sio::double_message::create(2.5));

    auto frames = packet::encode_event("/", "say", args, std::nullopt, error);
    ASSERT_TRUE(frames) << error;
    ASSERT_EQ(frames->size(), 1u);
    EXPECT_FALSE(frames->front().binary);
    EXPECT_EQ(frames->front().data, R"(42["say","x",2.5])");

    frames = packet::encode_event("/admin", "say", nullptr, 17, error);
    ASSERT_TRUE(frames) << error;
    EXPECT_EQ(frames->front().data, R"(42/admin,17["say"])");

    frames = packet::encode_ack("/", 3, message::list(sio::int_message::create(42)), error);
    ASSERT_TRUE(frames) << error;
    EXPECT_EQ(frames->front().data, "433[42]");

    frames = packet::encode_ack("/admin", 0, nullptr, error);
    ASSERT_TRUE(frames) << error;
    EXPECT_EQ(frames->front().data, "43/admin,0[]");

    EXPECT_EQ(packet::encode_connect("/"), "40");
    EXPECT_EQ(packet::encode_connect("/admin"), "40/admin,");
    EXPECT_EQ(packet::encode_connect("/", R"({"token":"t"})"), R"(40{"token":"t"})");
    EXPECT_EQ(packet::encode_connect("/admin", R"({"token":"t"})"), R"(40/admin,{"token":"t"})");
    EXPECT_EQ(packet::encode_disconnect("/"), "41");
    EXPECT_EQ(packet::encode_disconnect("/admin"), "41/admin,");
}

TEST(SioEncode, BinaryArgumentsBecomePlaceholdersAndBinaryFrames) {
    std::string error;
    auto nested = sio::object_message::create();
    nested->get_map()["blob"] =
        sio::binary_message::create(std::make_shared<const std::string>("\x00\xff", 2));
    message::list args(std::make_shared<const std::string>("abc"));
    args.push(nested);

    auto frames = packet::encode_event("/admin", "upload", args, 4, error);
    ASSERT_TRUE(frames) << error;
    ASSERT_EQ(frames->size(), 3u);
    EXPECT_EQ((*frames)[0].data, R"(452-/admin,4["upload",{"_placeholder":true,"num":0},)"
                                 R"({"blob":{"_placeholder":true,"num":1}}])");
    EXPECT_TRUE((*frames)[1].binary);
    EXPECT_EQ((*frames)[1].data, "abc");
    EXPECT_EQ((*frames)[2].data, std::string("\x00\xff", 2));

    frames = packet::encode_ack("/", 1, message::list(std::make_shared<const std::string>("z")), error);
    ASSERT_TRUE(frames) << error;
    EXPECT_EQ(frames->front().data, R"(461-1[{"_placeholder":true,"num":0}])");
}

TEST(SioEncode, RefusesWhatCannotBeFramed) {
    std::string error;
    EXPECT_FALSE(packet::encode_event("/a,b", "x", nullptr, std::nullopt, error));
    EXPECT_FALSE(packet::encode_event("", "x", nullptr, std::nullopt, error));
    EXPECT_FALSE(packet::encode_event("/", "x", nullptr, packet::max_ack_id + 1, error));
    EXPECT_FALSE(packet::encode_event("/", "bad\xff", nullptr, std::nullopt, error));
    EXPECT_FALSE(
        packet::encode_event("/", "x", message::list(std::string("\xed\xb0\x80")), std::nullopt, error));
}

TEST(SioEncode, EventsRoundTripThroughTheDecoder) {
    auto object = sio::object_message::create();
    object->get_map()["text"] = sio::string_message::create("Grüße \"quoted\" \\ \n 😀");
    object->get_map()["list"] = json(R"([1, 2.5, -3, true, null, {"deep": [[[]]]}])");
    message::list args;
    args.push(object);
    args.push(sio::int_message::create(1));
    args.push(sio::double_message::create(1.0));

    std::string error;
    const auto frames = packet::encode_event("/ns", "round", args, 99, error);
    ASSERT_TRUE(frames) << error;
    const auto p = decode_ok(frames->front().data);
    EXPECT_EQ(p.nsp, "/ns");
    EXPECT_EQ(*p.id, 99u);
    const auto& v = p.data->get_vector();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0]->get_string(), "round");
    EXPECT_EQ(to_json(v[1]), to_json(object));
    EXPECT_EQ(v[2]->get_flag(), message::flag_integer);
    EXPECT_EQ(v[3]->get_flag(), message::flag_double);
}

TEST(SioNamespace, WireAndApplicationForms) {
    EXPECT_EQ(packet::wire_namespace(""), "/");
    EXPECT_EQ(packet::wire_namespace("/"), "/");
    EXPECT_EQ(packet::wire_namespace("admin"), "/admin");
    EXPECT_EQ(packet::wire_namespace("/admin"), "/admin");
    EXPECT_EQ(packet::app_namespace("/"), "");
    EXPECT_EQ(packet::app_namespace(""), "");
    EXPECT_EQ(packet::app_namespace("/admin"), "/admin");
    EXPECT_EQ(packet::app_namespace("admin"), "/admin");
}

TEST(SioEngineUrl, AddsThePathAndQuery) {
    const std::pair<std::string, std::string> cases[] = {
        {"ws://localhost:3000", "ws://localhost:3000/socket.io/?EIO=4&transport=websocket"},
        {"ws://localhost:3000/", "ws://localhost:3000/socket.io/?EIO=4&transport=websocket"},
        {"http://127.0.0.1:8080", "ws://127.0.0.1:8080/socket.io/?EIO=4&transport=websocket"},
        {"ws://h:1/custom", "ws://h:1/custom/?EIO=4&transport=websocket"},
        {"ws://h:1?token=abc", "ws://h:1/socket.io/?EIO=4&transport=websocket&token=abc"},
        {"ws://h:1/p/?a=1#frag", "ws://h:1/p/?EIO=4&transport=websocket&a=1"},
    };
    for (const auto& [uri, url] : cases) {
        std::string error;
        EXPECT_EQ(packet::engine_url(uri, error).value_or(error), url);
    }
    for (const std::string bad :
         {"localhost:3000", "wss://h:1", "https://h", "ftp://h", "ws://", "ws:///path"}) {
        std::string error;
        EXPECT_FALSE(packet::engine_url(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(SioBackoff, GrowsByHalfUpToTheCap) {
    EXPECT_EQ(packet::backoff_delay(5000, 25000, 0), 5000u);
    EXPECT_EQ(packet::backoff_delay(5000, 25000, 1), 7500u);
    EXPECT_EQ(packet::backoff_delay(5000, 25000, 2), 11250u);
    EXPECT_EQ(packet::backoff_delay(5000, 25000, 3), 16875u);
    EXPECT_EQ(packet::backoff_delay(5000, 25000, 4), 25000u);
    EXPECT_EQ(packet::backoff_delay(5000, 25000, std::numeric_limits<unsigned>::max()), 25000u);
    EXPECT_EQ(packet::backoff_delay(30000, 25000, 0), 25000u);
    EXPECT_EQ(packet::backoff_delay(0, 25000, 1000), 0u);
}

TEST(SioExcerpt, StaysOnOneShortLine) {
    EXPECT_EQ(packet::excerpt("42[\"a\"]"), "42[\"a\"]");
    EXPECT_EQ(packet::excerpt("a\nb\x01"), "a\\x0ab\\x01");
    EXPECT_EQ(packet::excerpt("é\xff😀\xf0\x9f"), "é\\xff😀\\xf0\\x9f");
    const std::string shortened = packet::excerpt(std::string(500, 'x'));
    EXPECT_LT(shortened.size(), 70u);
    EXPECT_EQ(shortened.substr(shortened.size() - 3), "...");
}

} // namespace
