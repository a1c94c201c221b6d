#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sio {

// A JSON-like value tree exchanged with a socket.io server. Accessors of the
// wrong kind return 0, "", false or an empty container instead of throwing, so
// a handler fed unexpected data from the server cannot crash the process.
class message {
public:
    enum flag {
        flag_integer,
        flag_double,
        flag_string,
        flag_binary,
        flag_array,
        flag_object,
        flag_boolean,
        flag_null
    };

    using ptr = std::shared_ptr<message>;
    class list;

    virtual ~message();
    message(const message&) = delete;
    message& operator=(const message&) = delete;

    flag get_flag() const { return flag_; }

    // Integers and doubles convert into each other (doubles saturate to the
    // int64 range, NaN gives 0) because JSON does not keep 1 and 1.0 apart.
    virtual int64_t get_int() const;
    virtual double get_double() const;
    virtual const std::string& get_string() const;
    virtual bool get_bool() const;
    // The empty container returned for the wrong kind is per thread and
    // emptied on every such call; what is put into it is not kept.
    virtual std::vector<ptr>& get_vector();
    virtual const std::vector<ptr>& get_vector() const;
    virtual std::map<std::string, ptr>& get_map();
    virtual const std::map<std::string, ptr>& get_map() const;
    virtual const std::shared_ptr<const std::string>& get_binary() const;

protected:
    explicit message(flag f) : flag_(f) {}

private:
    flag flag_;
};

class null_message final : public message {
public:
    static message::ptr create();

private:
    null_message() : message(flag_null) {}
};

class bool_message final : public message {
public:
    static message::ptr create(bool value);
    bool get_bool() const override { return value_; }

private:
    explicit bool_message(bool value) : message(flag_boolean), value_(value) {}
    bool value_;
};

class int_message final : public message {
public:
    static message::ptr create(int64_t value);
    int64_t get_int() const override { return value_; }
    double get_double() const override;

private:
    explicit int_message(int64_t value) : message(flag_integer), value_(value) {}
    int64_t value_;
};

class double_message final : public message {
public:
    static message::ptr create(double value);
    int64_t get_int() const override;
    double get_double() const override { return value_; }

private:
    explicit double_message(double value) : message(flag_double), value_(value) {}
    double value_;
};

class string_message final : public message {
public:
    static message::ptr create(std::string value);
    const std::string& get_string() const override { return value_; }

private:
    explicit string_message(std::string value);
    std::string value_;
};

class binary_message final : public message {
public:
    // A null buffer is stored as an empty one so get_binary() never yields null.
    static message::ptr create(std::shared_ptr<const std::string> data);
    const std::shared_ptr<const std::string>& get_binary() const override { return data_; }

private:
    explicit binary_message(std::shared_ptr<const std::string> data);
    std::shared_ptr<const std::string> data_;
};

class array_message final : public message {
public:
    static message::ptr create();
    std::vector<message::ptr>& get_vector() override { return items_; }
    const std::vector<message::ptr>& get_vector() const override { return items_; }
    void push(const message::ptr& item) { items_.push_back(item); }

private:
    array_message() : message(flag_array) {}
    std::vector<message::ptr> items_;
};

class object_message final : public message {
public:
    static message::ptr create();
    std::map<std::string, message::ptr>& get_map() override { return members_; }
    const std::map<std::string, message::ptr>& get_map() const override { return members_; }
    void insert(const std::string& key, const message::ptr& value) { members_[key] = value; }

private:
    object_message() : message(flag_object) {}
    std::map<std::string, message::ptr> members_;
};

// The arguments of an event or of an acknowledgement, in order. A null
// element is sent as JSON null.
class message::list {
public:
    list() = default;
    list(std::nullptr_t) {}
    list(const char* text);
    list(const std::string& text);
    list(std::string&& text);
    list(const message::ptr& item);
    list(const std::shared_ptr<const std::string>& binary);
    list(std::initializer_list<message::ptr> items);

    void push(const message::ptr& item) { items_.push_back(item); }
    void insert(size_t pos, const message::ptr& item);
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    // Out of range yields a null pointer rather than undefined behaviour.
    const message::ptr& at(size_t i) const;
    const message::ptr& operator[](size_t i) const { return at(i); }
    std::vector<message::ptr>::const_iterator begin() const { return items_.begin(); }
    std::vector<message::ptr>::const_iterator end() const { return items_.end(); }

    message::ptr to_array_message() const;
    // The socket.io event payload: the name followed by the arguments.
    message::ptr to_array_message(const std::string& event_name) const;

private:
    std::vector<message::ptr> items_;
};

} // namespace sio
