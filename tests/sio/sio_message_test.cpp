#include "sio/sio_message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using sio::message;

TEST(SioMessage, AccessorsOfTheWrongKindReturnNeutralValues) {
    const std::vector<message::ptr> all = {
        sio::null_message::create(),
        sio::bool_message::create(true),
        sio::int_message::create(7),
        sio::double_message::create(2.5),
        sio::string_message::create("s"),
        sio::binary_message::create(std::make_shared<const std::string>("b")),
        sio::array_message::create(),
        sio::object_message::create()};
    for (const auto& m : all) {
        SCOPED_TRACE(m->get_flag());
        if (m->get_flag() != message::flag_integer && m->get_flag() != message::flag_double) {
            EXPECT_EQ(m->get_int(), 0);
            EXPECT_EQ(m->get_double(), 0.0);
        }
        if (m->get_flag() != message::flag_string) {
            EXPECT_EQ(m->get_string(), "");
        }
        if (m->get_flag() != message::flag_boolean) {
            EXPECT_FALSE(m->get_bool());
        }
        if (m->get_flag() != message::flag_binary) {
            EXPECT_EQ(m->get_binary(), nullptr);
        }
        if (m->get_flag() != message::flag_array) {
            // Whatever a caller put into the stand-in container must not leak to the next caller.
            m->get_vector().push_back(sio::null_message::create());
            EXPECT_TRUE(m->get_vector().empty());
        }
        if (m->get_flag() != message::flag_object) {
            m->get_map()["k"] = sio::null_message::create();
            EXPECT_TRUE(m->get_map().empty());
        }
    }
}

TEST(SioMessage, NumbersConvertBetweenIntAndDoubleWithoutUndefinedBehaviour) {
    EXPECT_EQ(sio::int_message::create(-3)->get_double(), -3.0);
    EXPECT_EQ(sio::double_message::create(2.9)->get_int(), 2);
    EXPECT_EQ(sio::double_message::create(-2.9)->get_int(), -2);
    EXPECT_EQ(sio::double_message::create(1e300)->get_int(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(sio::double_message::create(-1e300)->get_int(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(sio::double_message::create(std::numeric_limits<double>::infinity())->get_int(),
              std::numeric_limits<int64_t>::max());
    EXPECT_EQ(sio::double_message::create(std::nan(""))->get_int(), 0);
    EXPECT_EQ(sio::double_message::create(-9223372036854775808.0)->get_int(),
              std::numeric_limits<int64_t>::min());
}

TEST(SioMessage, ContainersAndBinaryHoldTheirContent) {
    auto array = sio::array_message::create();
    array->get_vector().push_back(sio::int_message::create(1));
    EXPECT_EQ(array->get_vector().size(), 1u);

    auto object = sio::object_message::create();
    object->get_map()["a"] = sio::string_message::create("x");
    EXPECT_EQ(object->get_map().at("a")->get_string(), "x");

    // A null buffer becomes an empty one, so get_binary() of a binary message is never null.
    auto empty = sio::binary_message::create(nullptr);
    ASSERT_NE(empty->get_binary(), nullptr);
    EXPECT_TRUE(empty->get_binary()->empty());
}

TEST(SioMessageList, ConstructorsAndIndexing) {
    EXPECT_EQ(message::list().size(), 0u);
    EXPECT_EQ(message::list(nullptr).size(), 0u);

    const message::list text("héllo");
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0]->get_string(), "héllo");
    EXPECT_EQ(message::list(std::string("moved")).at(0)->get_string(), "moved");

    const message::list one(sio::int_message::create(5));
    EXPECT_EQ(one[0]->get_int(), 5);

    const message::list bin(std::make_shared<const std::string>("\x01\x02", 2));
    ASSERT_EQ(bin[0]->get_flag(), message::flag_binary);
    EXPECT_EQ(*bin[0]->get_binary(), std::string("\x01\x02", 2));

    // A null element is kept (it is sent as JSON null), unlike list(nullptr).
    EXPECT_EQ(message::list(message::ptr()).size(), 1u);

    const message::list several{sio::int_message::create(1), sio::bool_message::create(true)};
    EXPECT_EQ(several.size(), 2u);
    EXPECT_EQ(several.at(2), nullptr);
    EXPECT_EQ(several[100], nullptr);
}

TEST(SioMessageList, ToArrayMessagePutsTheEventNameFirst) {
    message::list args;
    args.push(sio::int_message::create(1));
    args.insert(0, sio::int_message::create(0));
    args.insert(99, sio::int_message::create(2));

    const auto plain = args.to_array_message();
    ASSERT_EQ(plain->get_vector().size(), 3u);
    EXPECT_EQ(plain->get_vector()[0]->get_int(), 0);
    EXPECT_EQ(plain->get_vector()[2]->get_int(), 2);

    const auto event = args.to_array_message("name");
    ASSERT_EQ(event->get_vector().size(), 4u);
    EXPECT_EQ(event->get_vector()[0]->get_string(), "name");
    EXPECT_EQ(event->get_vector()[1]->get_int(), 0);
}

} // namespace
