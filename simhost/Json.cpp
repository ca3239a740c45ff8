#include "simhost/Json.h"

#include <cstdlib>

namespace simhost {
namespace {

constexpr int kMaxDepth = 200;

class JsonParser {
public:
    JsonParser(std::string_view s, JsonError& e) : s_(s), error_(e) {}

    std::optional<JsonValue> document() {
        JsonValue v;
        skipSpace();
        if (!value(v, 0))
            return std::nullopt;
        skipSpace();
        if (pos_ < s_.size())
            return fail("unexpected text after the end of the document"), std::nullopt;
        return v;
    }

private:
    std::string_view s_;
    JsonError& error_;
    size_t pos_ = 0, line_ = 1, lineStart_ = 0;
    // The column of countedTo_, on the line starting at countedLineStart_.
    size_t countedLineStart_ = 0, countedTo_ = 0, counted_ = 1;

    // Columns count characters: UTF-8 continuation bytes do not start one. Every value asks
    // for its column, so counting goes on from the previous answer on the same line: a whole
    // library written on one line stays linear.
    size_t column() {
        if (countedLineStart_ != lineStart_ || countedTo_ > pos_) {
            countedLineStart_ = countedTo_ = lineStart_;
            counted_ = 1;
        }
        for (; countedTo_ < pos_ && countedTo_ < s_.size(); ++countedTo_)
            if ((static_cast<unsigned char>(s_[countedTo_]) & 0xC0) != 0x80)
                ++counted_;
        return counted_;
    }
    bool fail(std::string message) {
        error_.line = line_;
        error_.column = column();
        error_.message = std::move(message);
        return false;
    }
    void skipSpace() {
        while (pos_ < s_.size()) {
            char c = s_[pos_];
            if (c == '\n') {
                ++pos_;
                ++line_;
                lineStart_ = pos_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else {
                break;
            }
        }
    }
    bool literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word)
            return fail("unknown word (expected a value)");
        pos_ += word.size();
        return true;
    }

    bool value(JsonValue& v, int depth) {
        v.line = line_;
        v.column = column();
        if (pos_ >= s_.size())
            return fail("unexpected end of the document (expected a value)");
        if (depth > kMaxDepth)
            return fail("nested too deeply");
        char c = s_[pos_];
        switch (c) {
        case '{':
            return object(v, depth);
        case '[':
            return array(v, depth);
        case '"':
            v.type = JsonValue::Type::String;
            return string(v.text);
        case 't':
            v.type = JsonValue::Type::Bool;
            v.boolean = true;
            return literal("true");
        case 'f':
            v.type = JsonValue::Type::Bool;
            return literal("false");
        case 'n':
            return literal("null");
        default:
            if (c == '-' || (c >= '0' && c <= '9'))
                return number(v);
            return fail(std::string("unexpected character '") + c + "' (expected a value)");
        }
    }

    bool number(JsonValue& v) {
        size_t start = pos_;
        if (s_[pos_] == '-')
            ++pos_;
        auto digitsRun = [&] {
            size_t b = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
                ++pos_;
            return pos_ - b;
        };
        if (pos_ < s_.size() && s_[pos_] == '0')
            ++pos_;
        else if (digitsRun() == 0)
            return fail("a number needs digits");
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (digitsRun() == 0)
                return fail("digits expected after '.'");
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-'))
                ++pos_;
            if (digitsRun() == 0)
                return fail("digits expected in the exponent");
        }
        std::string text(s_.substr(start, pos_ - start));
        v.type = JsonValue::Type::Number;
        v.number = std::strtod(text.c_str(), nullptr);
        return true;
    }

    bool hex4(uint32_t& out) {
        if (pos_ + 4 > s_.size())
            return fail("\\u needs four hex digits");
        out = 0;
        for (int i = 0; i < 4; ++i) {
            char c = s_[pos_++];
            int d = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
            if (d < 0)
                return fail("\\u needs four hex digits");
            out = out * 16 + uint32_t(d);
        }
        return true;
    }

    // One UTF-8 sequence into UTF-16; malformed bytes are an error, not a guess.
    bool utf8(std::u16string& out) {
        auto byte = [&](size_t i) { return static_cast<unsigned char>(s_[i]); };
        unsigned char b0 = byte(pos_);
        int extra = b0 >= 0xF0 && b0 < 0xF5 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 ? 1 : -1;
        if (extra < 0 || b0 >= 0xF5 || pos_ + size_t(extra) >= s_.size())
            return fail("invalid UTF-8 in a string");
        uint32_t cp = b0 & (0x3F >> extra);
        for (int i = 1; i <= extra; ++i) {
            unsigned char b = byte(pos_ + size_t(i));
            if ((b & 0xC0) != 0x80)
                return fail("invalid UTF-8 in a string");
            cp = cp << 6 | (b & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return fail("invalid UTF-8 in a string");
        pos_ += size_t(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
        return true;
    }

    bool string(std::u16string& out) {
        ++pos_; // opening quote
        for (;;) {
            if (pos_ >= s_.size())
                return fail("missing closing '\"'");
            unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20)
                return fail("control character in a string (write it as an escape)");
            if (c >= 0x80) {
                if (!utf8(out))
                    return false;
                continue;
            }
            if (c != '\\') {
                out += char16_t(c);
                ++pos_;
                continue;
            }
            if (++pos_ >= s_.size())
                return fail("missing closing '\"'");
            char e = s_[pos_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += char16_t(e);
                break;
            case 'b':
                out += u'\b';
                break;
            case 'f':
                out += u'\f';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case 'u': {
                uint32_t u = 0;
                if (!hex4(u))
                    return false;
                out += char16_t(u);
                break;
            }
            default:
                --pos_;
                return fail(std::string("unknown escape '\\") + e + "'");
            }
        }
    }

    bool array(JsonValue& v, int depth) {
        v.type = JsonValue::Type::Array;
        ++pos_;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == ']')
            return ++pos_, true;
        for (;;) {
            skipSpace();
            JsonValue item;
            if (!value(item, depth + 1))
                return false;
            v.items.push_back(std::move(item));
            skipSpace();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                v.items.shrink_to_fit(); // a large file's tree holds many small arrays
                return ++pos_, true;
            }
            return fail("expected ',' or ']'");
        }
    }

    bool object(JsonValue& v, int depth) {
        v.type = JsonValue::Type::Object;
        ++pos_;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == '}')
            return ++pos_, true;
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '"')
                return fail("expected a member name in double quotes");
            std::u16string key;
            if (!string(key))
                return false;
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != ':')
                return fail("expected ':' after the member name");
            ++pos_;
            skipSpace();
            JsonValue member;
            if (!value(member, depth + 1))
                return false;
            v.members.emplace_back(std::move(key), std::move(member));
            skipSpace();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                v.members.shrink_to_fit();
                return ++pos_, true;
            }
            return fail("expected ',' or '}'");
        }
    }
};

} // namespace

JsonValue::JsonValue() = default;

const JsonValue* JsonValue::find(std::u16string_view key) const {
    for (const auto& [k, v] : members)
        if (k == key)
            return &v;
    return nullptr;
}

std::string JsonError::describe() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

std::optional<JsonValue> parseJson(std::string_view utf8, JsonError& error) {
    return JsonParser(utf8, error).document();
}

} // namespace simhost
