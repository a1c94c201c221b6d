#include "sio/sio_message.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace sio {

namespace {

const std::string empty_string;
const std::shared_ptr<const std::string> null_binary;
const message::ptr null_ptr;

std::vector<message::ptr>& empty_vector() {
    thread_local std::vector<message::ptr> v;
    v.clear();
    return v;
}

std::map<std::string, message::ptr>& empty_map() {
    thread_local std::map<std::string, message::ptr> m;
    m.clear();
    return m;
}

} // namespace

message::~message() = default;

int64_t message::get_int() const {
    return 0;
}
double message::get_double() const {
    return 0.0;
}
const std::string& message::get_string() const {
    return empty_string;
}
bool message::get_bool() const {
    return false;
}
std::vector<message::ptr>& message::get_vector() {
    return empty_vector();
}
const std::vector<message::ptr>& message::get_vector() const {
    return empty_vector();
}
std::map<std::string, message::ptr>& message::get_map() {
    return empty_map();
}
const std::map<std::string, message::ptr>& message::get_map() const {
    return empty_map();
}
const std::shared_ptr<const std::string>& message::get_binary() const {
    return null_binary;
}

message::ptr null_message::create() {
    return message::ptr(new null_message());
}

message::ptr bool_message::create(bool value) {
    return message::ptr(new bool_message(value));
}

message::ptr int_message::create(int64_t value) {
    return message::ptr(new int_message(value));
}

double int_message::get_double() const {
    return static_cast<double>(value_);
}

message::ptr double_message::create(double value) {
    return message::ptr(new double_message(value));
}

int64_t double_message::get_int() const {
    // Casting an out-of-range double to an integer is undefined behaviour.
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (std::isnan(value_)) {
        return 0;
    }
    if (value_ >= limit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value_ < -limit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value_);
}

string_message::string_message(std::string value) : message(flag_string), value_(std::move(value)) {}

message::ptr string_message::create(std::string value) {
    return message::ptr(new string_message(std::move(value)));
}

binary_message::binary_message(std::shared_ptr<const std::string> data)
    : message(flag_binary), data_(data ? std::move(data) : std::make_shared<const std::string>()) {}

message::ptr binary_message::create(std::shared_ptr<const std::string> data) {
    return message::ptr(new binary_message(std::move(data)));
}

message::ptr array_message::create() {
    return message::ptr(new array_message());
}

message::ptr object_message::create() {
    return message::ptr(new object_message());
}

message::list::list(const char* text) : items_{string_message::create(text ? text : "")} {}

message::list::list(const std::string& text) : items_{string_message::create(text)} {}

message::list::list(std::string&& text) : items_{string_message::create(std::move(text))} {}

message::list::list(const message::ptr& item) : items_{item} {}

message::list::list(const std::shared_ptr<const std::string>& binary)
    : items_{binary_message::create(binary)} {}

message::list::list(std::initializer_list<message::ptr> items) : items_(items) {}

void message::list::insert(size_t pos, const message::ptr& item) {
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(pos, items_.size())), item);
}

const message::ptr& message::list::at(size_t i) const {
    return i < items_.size() ? items_[i] : null_ptr;
}

message::ptr message::list::to_array_message() const {
    auto array = array_message::create();
    array->get_vector() = items_;
    return array;
}

message::ptr message::list::to_array_message(const std::string& event_name) const {
    auto array = array_message::create();
    auto& v = array->get_vector();
    v.reserve(items_.size() + 1);
    v.push_back(string_message::create(event_name));
    v.insert(v.end(), items_.begin(), items_.end());
    return array;
}

} // namespace sio
