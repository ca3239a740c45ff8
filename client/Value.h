// A small ordered tree of results (objects keep their key order) that the command-line tool
// prints either as JSON or as indented text, so every command has both forms from one place.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace remote {

class Value {
public:
    enum class Kind { Null, Bool, Int, UInt, Text, Array, Object };

    Value() = default;
    Value(bool b) : kind_(Kind::Bool), b_(b) {}
    Value(const char* s) : kind_(Kind::Text), s_(s) {}
    Value(std::string s) : kind_(Kind::Text), s_(std::move(s)) {}
    Value(int v) : kind_(Kind::Int), i_(v) {}
    Value(long v) : kind_(Kind::Int), i_(v) {}
    Value(long long v) : kind_(Kind::Int), i_(v) {}
    Value(unsigned v) : kind_(Kind::UInt), u_(v) {}
    Value(unsigned long v) : kind_(Kind::UInt), u_(v) {}
    Value(unsigned long long v) : kind_(Kind::UInt), u_(v) {}
    Value(uint8_t v) : kind_(Kind::UInt), u_(v) {}
    Value(uint16_t v) : kind_(Kind::UInt), u_(v) {}

    static Value array() { return Value(Kind::Array); }
    static Value object() { return Value(Kind::Object); }

    Kind kind() const { return kind_; }
    // Object: appends a member (keys are not checked for repeats).
    Value& set(std::string key, Value v);
    // Object: appends every member of another object.
    Value& append(const Value& other);
    // Array: appends an element.
    Value& push(Value v);
    // Object member by key, or null when absent.
    const Value* find(const std::string& key) const;
    const std::string& text() const { return s_; }
    size_t size() const { return kind_ == Kind::Array ? items_.size() : members_.size(); }

    // Compact JSON on one line.
    std::string json() const;
    // Human-readable: "key: value" lines; arrays of scalars one per line; an object inside
    // an array as one line of "key=value" pairs.
    void printText(std::ostream& out, int indent = 0) const;
    // One line: "key=value" pairs for an object, comma-separated items for an array.
    std::string inlineText() const;

private:
    explicit Value(Kind k) : kind_(k) {}
    template <class Writer> void writeJson(Writer& writer) const;
    std::string scalarText() const;

    Kind kind_ = Kind::Null;
    bool b_ = false;
    int64_t i_ = 0;
    uint64_t u_ = 0;
    std::string s_;
    std::vector<Value> items_;
    std::vector<std::pair<std::string, Value>> members_;
};

} // namespace remote
