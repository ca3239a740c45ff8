#include "client/Value.h"

#include <cstdio>

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

namespace {
void appendJsonString(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += char(c); // UTF-8 passes through
            }
        }
    }
    out += '"';
}
} // namespace

void Value::writeJson(std::string& out) const {
    switch (kind_) {
    case Kind::Null:
        out += "null";
        break;
    case Kind::Bool:
        out += b_ ? "true" : "false";
        break;
    case Kind::Int:
        out += std::to_string(i_);
        break;
    case Kind::UInt:
        out += std::to_string(u_);
        break;
    case Kind::Text:
        appendJsonString(out, s_);
        break;
    case Kind::Array:
        out += '[';
        for (size_t i = 0; i < items_.size(); ++i) {
            if (i)
                out += ',';
            items_[i].writeJson(out);
        }
        out += ']';
        break;
    case Kind::Object:
        out += '{';
        for (size_t i = 0; i < members_.size(); ++i) {
            if (i)
                out += ',';
            appendJsonString(out, members_[i].first);
            out += ':';
            members_[i].second.writeJson(out);
        }
        out += '}';
        break;
    }
}

std::string Value::json() const {
    std::string out;
    writeJson(out);
    return out;
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
