#include "platform/posix/RegistryStoreFormat.h"

#include <cstdint>
#include <cstdio>

namespace platform::store_file {
namespace {

constexpr const char* kHeader = "# Tandravole registry store: [key], then \"name\"=type:hex bytes";
constexpr std::string_view kHeaderStart = "# Tandravole registry store";
constexpr std::string_view kEndLine = "# end of store";

char16_t lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

bool startsWithRoot(std::u16string_view full) {
    std::u16string low = lowered(full);
    for (RegistryRoot root :
         {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine, RegistryRoot::ClassesRoot}) {
        std::u16string name = lowered(rootName(root));
        if (low == name || low.starts_with(name + u"\\"))
            return true;
    }
    return false;
}

std::string escapeText(std::u16string_view s) {
    std::string out;
    char buf[8];
    for (char16_t c : s) {
        if (c == u'"' || c == u'\\' || c == u']') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
            out += buf;
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads escaped text from line[i] up to the terminator and steps past it; false on anything
// escapeText does not write: a character outside printable ASCII, an unknown escape, a
// \u without four hex digits, or no terminator.
bool unescapeText(std::string_view line, size_t& i, char terminator, std::u16string& out) {
    while (i < line.size() && line[i] != terminator) {
        char c = line[i++];
        if (c < 0x20 || c > 0x7E)
            return false;
        if (c != '\\') {
            out += char16_t(c);
            continue;
        }
        if (i >= line.size())
            return false;
        char e = line[i++];
        if (e == '"' || e == '\\' || e == ']') {
            out += char16_t(e);
        } else if (e == 'u' && i + 4 <= line.size()) {
            unsigned v = 0;
            for (size_t k = 0; k < 4; ++k) {
                int d = hexDigit(line[i++]);
                if (d < 0)
                    return false;
                v = v << 4 | unsigned(d);
            }
            out += char16_t(v);
        } else {
            return false;
        }
    }
    if (i >= line.size())
        return false;
    ++i; // the terminator
    return true;
}

// One value line after its opening quote; false when it is not exactly "name"=type:hex.
bool parseValue(std::string_view line, RegistryValue& v) {
    size_t i = 1;
    if (!unescapeText(line, i, '"', v.name) || i >= line.size() || line[i++] != '=')
        return false;
    uint64_t type = 0;
    size_t digits = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i, ++digits)
        type = type * 10 + uint64_t(line[i] - '0');
    if (digits == 0 || digits > 10 || type > 0xFFFFFFFFu || i >= line.size() || line[i++] != ':')
        return false;
    v.type = uint32_t(type);
    if ((line.size() - i) % 2 != 0)
        return false;
    for (; i < line.size(); i += 2) {
        int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        v.data.push_back(uint8_t(hi << 4 | lo));
    }
    return true;
}

} // namespace

const char16_t* rootName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::CurrentUser:
        return u"HKEY_CURRENT_USER";
    case RegistryRoot::LocalMachine:
        return u"HKEY_LOCAL_MACHINE";
    case RegistryRoot::ClassesRoot:
        return u"HKEY_CLASSES_ROOT";
    }
    return u"HKEY_CURRENT_USER";
}

std::u16string lowered(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        c = lower(c);
    return out;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::u16string cleanPath(std::u16string_view path) {
    std::u16string out;
    for (char16_t c : path) {
        if (c == u'\\' && (out.empty() || out.back() == u'\\'))
            continue;
        out += c;
    }
    while (!out.empty() && out.back() == u'\\')
        out.pop_back();
    return out;
}

std::u16string fullPath(RegistryRoot root, std::u16string_view path) {
    std::u16string full = rootName(root);
    std::u16string clean = cleanPath(path);
    if (!clean.empty())
        full += u"\\" + clean;
    return full;
}

StoredKey* findIn(KeyMap& keys, const std::u16string& full) {
    auto it = keys.find(lowered(full));
    return it == keys.end() ? nullptr : &it->second;
}

StoredKey& createIn(KeyMap& keys, const std::u16string& full) {
    size_t room = SIZE_MAX;
    return *createIn(keys, full, room);
}

StoredKey* createIn(KeyMap& keys, const std::u16string& full, size_t& room) {
    const std::u16string low = lowered(full);
    if (auto it = keys.find(low); it != keys.end())
        return &it->second;
    // The missing parents, deepest first: a parent that exists has every parent of its own
    // already, so the walk ends at the first one found.
    std::vector<size_t> missing;
    size_t need = full.size();
    if (need > room)
        return nullptr;
    for (size_t pos = full.rfind(u'\\'); pos != std::u16string::npos && pos > 0;
         pos = full.rfind(u'\\', pos - 1)) {
        if (keys.count(low.substr(0, pos)) != 0)
            break;
        need += pos;
        if (need > room)
            return nullptr;
        missing.push_back(pos);
    }
    room -= need;
    for (size_t pos : missing)
        keys.try_emplace(low.substr(0, pos), StoredKey{full.substr(0, pos), {}});
    return &keys.try_emplace(low, StoredKey{full, {}}).first->second;
}

bool parseStore(std::string_view text, KeyMap& keys, std::string& why) {
    if (text.size() > kMaxStoreSize) {
        why = "larger than any store (over " + std::to_string(kMaxStoreSize) + " bytes)";
        return false;
    }
    if (text.empty()) {
        why = "empty";
        return false;
    }
    if (text.back() != '\n') {
        why = "ends in the middle of a line (truncated)";
        return false;
    }
    StoredKey* current = nullptr;
    // Every key's name counts once, with the parents it implies: a store the writer makes
    // holds each of them on a line of its own, so they fit within the largest file.
    size_t room = kMaxStoreSize;
    bool ended = false;
    size_t number = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t eol = text.find('\n', pos);
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        auto fail = [&](const char* what) {
            why = "line " + std::to_string(number) + ": " + what;
            return false;
        };
        if (ended)
            return fail("text after the end of the store");
        if (number == 1) {
            if (!line.starts_with(kHeaderStart))
                return fail("not a registry store (no header line)");
            continue;
        }
        if (line == kEndLine) {
            ended = true;
        } else if (line.empty() || line[0] == '#') {
            continue;
        } else if (line[0] == '[') {
            size_t i = 1;
            std::u16string path;
            if (!unescapeText(line, i, ']', path) || i != line.size())
                return fail("malformed key");
            path = cleanPath(path);
            if (!startsWithRoot(path))
                return fail("key outside the registry roots");
            current = createIn(keys, path, room);
            if (!current)
                return fail("keys nested too deep: their names and their parents' add up to "
                            "more than any store holds");
        } else if (line[0] == '"') {
            RegistryValue v;
            if (!parseValue(line, v))
                return fail("malformed value");
            if (!current)
                return fail("value before any key");
            current->values.push_back(std::move(v));
        } else {
            return fail("neither a key, a value nor a comment");
        }
    }
    if (!ended) {
        why = "the end line is missing (truncated)";
        return false;
    }
    return true;
}

std::string serialise(const KeyMap& keys) {
    static const char* digits = "0123456789abcdef";
    std::string out = std::string(kHeader) + "\n";
    for (auto& [lowPath, key] : keys) {
        out += '[' + escapeText(key.path) + "]\n";
        for (auto& v : key.values) {
            out += '"' + escapeText(v.name) + "\"=" + std::to_string(v.type) + ':';
            for (uint8_t b : v.data) {
                out += digits[b >> 4];
                out += digits[b & 15];
            }
            out += '\n';
        }
    }
    out += std::string(kEndLine) + "\n";
    return out;
}

} // namespace platform::store_file
