#include "client/Value.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace remote {

Value& Value::set(std::string key, Value v) {
    members_.emplace_back(std::move(key), std::move(v));
    return *this;
}

Value& Value::append(const Value& other) {
    for (const auto& member : other.members_)
        members_.push_back(member);
    return *this;
}

Value& Value::push(Value v) {
    items_.push_back(std::move(v));
    return *this;
}

const Value* Value::find(const std::string& key) const {
    for (const auto& [k, v] : members_)
        if (k == key)
            return &v;
    return nullptr;
}

template <class Writer> void Value::writeJson(Writer& w) const {
    switch (kind_) {
    case Kind::Null:
        w.Null();
        break;
    case Kind::Bool:
        w.Bool(b_);
        break;
    case Kind::Int:
        w.Int64(i_);
        break;
    case Kind::UInt:
        w.Uint64(u_);
        break;
    case Kind::Text:
        w.String(s_.data(), rapidjson::SizeType(s_.size()));
        break;
    case Kind::Array:
        w.StartArray();
        for (const Value& item : items_)
            item.writeJson(w);
        w.EndArray();
        break;
    case Kind::Object:
        w.StartObject();
        for (const auto& [key, value] : members_) {
            w.Key(key.data(), rapidjson::SizeType(key.size()));
            value.writeJson(w);
        }
        w.EndObject();
        break;
    }
}

std::string Value::json() const {
    // UTF-8 passes through as it is; quotes, backslashes and control characters are escaped.
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    writeJson(writer);
    return std::string(out.GetString(), out.GetSize());
}

std::string Value::scalarText() const {
    switch (kind_) {
    case Kind::Null:
        return "-";
    case Kind::Bool:
        return b_ ? "yes" : "no";
    case Kind::Int:
        return std::to_string(i_);
    case Kind::UInt:
        return std::to_string(u_);
    case Kind::Text:
        return s_;
    default:
        return inlineText();
    }
}

std::string Value::inlineText() const {
    std::string out;
    if (kind_ == Kind::Object) {
        for (const auto& [k, v] : members_) {
            if (!out.empty())
                out += "  ";
            out += k + "=" + v.scalarText();
        }
    } else if (kind_ == Kind::Array) {
        for (const auto& v : items_) {
            if (!out.empty())
                out += ", ";
            out += v.scalarText();
        }
    } else {
        out = scalarText();
    }
    return out;
}

void Value::printText(std::ostream& out, int indent) const {
    const std::string pad(size_t(indent), ' ');
    if (kind_ == Kind::Object) {
        for (const auto& [k, v] : members_) {
            if (v.kind_ == Kind::Array && !v.items_.empty()) {
                out << pad << k << ":\n";
                v.printText(out, indent + 2);
            } else if (v.kind_ == Kind::Object) {
                out << pad << k << ":\n";
                v.printText(out, indent + 2);
            } else if (v.kind_ == Kind::Array) {
                out << pad << k << ": (none)\n";
            } else {
                out << pad << k << ": " << v.scalarText() << "\n";
            }
        }
    } else if (kind_ == Kind::Array) {
        for (const auto& v : items_)
            out << pad << v.inlineText() << "\n";
    } else {
        out << pad << scalarText() << "\n";
    }
}

} // namespace remote
