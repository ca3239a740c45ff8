// The registry as one text file. The whole store is held in memory under one mutex and the
// file is rewritten (to a temporary file, then renamed) after every change, so a crash leaves
// either the old or the new store. Lines of the file:
//   [HKEY_CURRENT_USER\Software\Example]        a key (full path, root first)
//   "name"=4:2a000000                           a value: type number, raw bytes in hex
// Quotes and backslashes in names are escaped with a backslash; code units outside printable
// ASCII are written as \uXXXX. Lines starting with '#' are comments.
#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace platform {
namespace {

struct StoredKey {
    std::u16string path; // as first created, root prefix included
    std::vector<RegistryValue> values;
};

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

char16_t lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
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

// Trims separators at both ends and collapses repeated ones; false for an empty segment name
// that cannot be a key.
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

class Store {
public:
    std::mutex mutex;
    std::map<std::u16string, StoredKey> keys; // by lowered full path

    void setFile(const std::string& path) {
        file_ = path;
        keys.clear();
        loaded_ = false;
    }
    std::string file() {
        if (file_.empty()) {
            const char* home = std::getenv("HOME");
            file_ = std::string(home && *home ? home : ".") + "/.config/tandravole/registry";
        }
        return file_;
    }
    void ensureLoaded() {
        if (loaded_)
            return;
        loaded_ = true;
        load();
    }
    StoredKey* find(const std::u16string& full) {
        ensureLoaded();
        auto it = keys.find(lowered(full));
        return it == keys.end() ? nullptr : &it->second;
    }
    StoredKey& createKey(const std::u16string& full) {
        ensureLoaded();
        // Parents exist whenever a child does, as in the real registry.
        size_t pos = full.find(u'\\');
        while (pos != std::u16string::npos) {
            std::u16string parent = full.substr(0, pos);
            keys.try_emplace(lowered(parent), StoredKey{parent, {}});
            pos = full.find(u'\\', pos + 1);
        }
        return keys.try_emplace(lowered(full), StoredKey{full, {}}).first->second;
    }
    bool save();

private:
    void load();
    std::string file_;
    bool loaded_ = false;
};

Store& store() {
    static Store s;
    return s;
}

std::string escapeText(std::u16string_view s) {
    std::string out;
    char buf[8];
    for (char16_t c : s) {
        if (c == u'"' || c == u'\\') {
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

// Reads escaped text up to the terminator; false on a malformed escape.
bool unescapeText(const std::string& line, size_t& i, char terminator, std::u16string& out) {
    while (i < line.size() && line[i] != terminator) {
        char c = line[i++];
        if (c != '\\') {
            out += char16_t(static_cast<unsigned char>(c));
            continue;
        }
        if (i >= line.size())
            return false;
        char e = line[i++];
        if (e == 'u') {
            if (i + 4 > line.size())
                return false;
            char* end = nullptr;
            std::string hex = line.substr(i, 4);
            unsigned long v = std::strtoul(hex.c_str(), &end, 16);
            if (end != hex.c_str() + 4)
                return false;
            out += char16_t(v);
            i += 4;
        } else {
            out += char16_t(static_cast<unsigned char>(e));
        }
    }
    if (i >= line.size())
        return false;
    ++i; // the terminator
    return true;
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

void Store::load() {
    std::ifstream in(file(), std::ios::binary);
    if (!in)
        return;
    std::string line;
    StoredKey* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        size_t i = 1;
        if (line[0] == '[') {
            std::u16string path;
            current = unescapeText(line, i, ']', path) ? &createKey(cleanPath(path)) : nullptr;
            continue;
        }
        if (line[0] != '"' || !current)
            continue; // not ours: skipped rather than guessed at
        RegistryValue v;
        if (!unescapeText(line, i, '"', v.name) || i >= line.size() || line[i] != '=')
            continue;
        char* end = nullptr;
        v.type = uint32_t(std::strtoul(line.c_str() + i + 1, &end, 10));
        if (!end || *end != ':')
            continue;
        const char* p = end + 1;
        bool good = true;
        while (*p && good) {
            int hi = hexDigit(p[0]), lo = p[1] ? hexDigit(p[1]) : -1;
            good = hi >= 0 && lo >= 0;
            if (good)
                v.data.push_back(uint8_t(hi * 16 + lo));
            p += good ? 2 : 0;
        }
        if (good)
            current->values.push_back(std::move(v));
    }
}

bool Store::save() {
    std::string path = file();
    std::error_code ec;
    std::filesystem::path target(path);
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), ec);
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out << "# Tandravole registry store: [key], then \"name\"=type:hex bytes\n";
        static const char* digits = "0123456789abcdef";
        for (auto& [lowPath, key] : keys) {
            out << '[' << escapeText(key.path) << "]\n";
            for (auto& v : key.values) {
                out << '"' << escapeText(v.name) << "\"=" << v.type << ':';
                for (uint8_t b : v.data)
                    out << digits[b >> 4] << digits[b & 15];
                out << '\n';
            }
        }
        out.flush();
        if (!out)
            return false;
    }
    std::filesystem::rename(tmp, target, ec);
    return !ec;
}

std::vector<uint8_t> utf16Bytes(std::u16string_view s, bool terminate) {
    std::vector<uint8_t> out;
    out.reserve((s.size() + 1) * 2);
    for (char16_t c : s) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
    if (terminate) {
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

} // namespace

struct RegistryKey::Impl {
    std::u16string full;
    bool writable = false;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::open(RegistryRoot root, std::u16string_view path, bool writable) {
    close();
    std::u16string full = fullPath(root, path);
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.find(full) && full != rootName(root))
        return false;
    impl_ = std::make_unique<Impl>(Impl{full, writable});
    return true;
}

bool RegistryKey::create(RegistryRoot root, std::u16string_view path) {
    close();
    std::u16string full = fullPath(root, path);
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    bool existed = s.find(full) != nullptr;
    s.createKey(full);
    if (!existed && !s.save())
        return false;
    impl_ = std::make_unique<Impl>(Impl{full, true});
    return true;
}

void RegistryKey::close() {
    impl_.reset();
}
bool RegistryKey::isOpen() const {
    return impl_ != nullptr;
}

std::optional<RegistryValue> RegistryKey::readValue(std::u16string_view name) const {
    if (!impl_)
        return std::nullopt;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    StoredKey* key = s.find(impl_->full);
    if (!key)
        return std::nullopt;
    for (auto& v : key->values)
        if (sameName(v.name, name))
            return v;
    return std::nullopt;
}

std::optional<uint32_t> RegistryKey::readDword(std::u16string_view name) const {
    auto v = readValue(name);
    if (!v || v->type != uint32_t(RegistryType::Dword) || v->data.size() != 4)
        return std::nullopt;
    return uint32_t(v->data[0]) | uint32_t(v->data[1]) << 8 | uint32_t(v->data[2]) << 16 |
           uint32_t(v->data[3]) << 24;
}

std::optional<uint64_t> RegistryKey::readQword(std::u16string_view name) const {
    auto v = readValue(name);
    if (!v || v->type != uint32_t(RegistryType::Qword) || v->data.size() != 8)
        return std::nullopt;
    uint64_t r = 0;
    for (int i = 7; i >= 0; --i)
        r = r << 8 | v->data[size_t(i)];
    return r;
}

std::optional<std::u16string> RegistryKey::readString(std::u16string_view name) const {
    auto v = readValue(name);
    if (!v || v->type != uint32_t(RegistryType::String))
        return std::nullopt;
    std::u16string out;
    for (size_t i = 0; i + 1 < v->data.size(); i += 2) {
        char16_t c = char16_t(v->data[i] | v->data[i + 1] << 8);
        if (c == 0)
            break;
        out += c;
    }
    return out;
}

std::optional<std::vector<uint8_t>> RegistryKey::readBinary(std::u16string_view name) const {
    auto v = readValue(name);
    if (!v || v->type != uint32_t(RegistryType::Binary))
        return std::nullopt;
    return v->data;
}

bool RegistryKey::writeValue(std::u16string_view name, uint32_t type,
                             const std::vector<uint8_t>& data) {
    if (!impl_ || !impl_->writable)
        return false;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    StoredKey* key = s.find(impl_->full);
    if (!key)
        return false;
    bool found = false;
    for (auto& v : key->values)
        if (sameName(v.name, name)) {
            v.type = type;
            v.data = data;
            found = true;
            break;
        }
    if (!found)
        key->values.push_back(RegistryValue{std::u16string(name), type, data});
    return s.save();
}

bool RegistryKey::writeDword(std::u16string_view name, uint32_t value) {
    std::vector<uint8_t> d{uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                           uint8_t(value >> 24)};
    return writeValue(name, uint32_t(RegistryType::Dword), d);
}

bool RegistryKey::writeQword(std::u16string_view name, uint64_t value) {
    std::vector<uint8_t> d;
    for (int i = 0; i < 8; ++i)
        d.push_back(uint8_t(value >> (8 * i)));
    return writeValue(name, uint32_t(RegistryType::Qword), d);
}

bool RegistryKey::writeString(std::u16string_view name, std::u16string_view value) {
    return writeValue(name, uint32_t(RegistryType::String), utf16Bytes(value, true));
}

bool RegistryKey::writeBinary(std::u16string_view name, const std::vector<uint8_t>& value) {
    return writeValue(name, uint32_t(RegistryType::Binary), value);
}

bool RegistryKey::deleteValue(std::u16string_view name) {
    if (!impl_ || !impl_->writable)
        return false;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    StoredKey* key = s.find(impl_->full);
    if (!key)
        return false;
    for (auto it = key->values.begin(); it != key->values.end(); ++it)
        if (sameName(it->name, name)) {
            key->values.erase(it);
            return s.save();
        }
    return false;
}

RegistryEnum RegistryKey::enumValue(uint32_t index, RegistryValue& out) const {
    if (!impl_)
        return RegistryEnum::Failed;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    StoredKey* key = s.find(impl_->full);
    if (!key)
        return RegistryEnum::Failed;
    if (index >= key->values.size())
        return RegistryEnum::NoMoreItems;
    out = key->values[index];
    return RegistryEnum::Ok;
}

RegistryEnum RegistryKey::enumSubKey(uint32_t index, std::u16string& name) const {
    if (!impl_)
        return RegistryEnum::Failed;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.ensureLoaded();
    std::u16string prefix = lowered(impl_->full) + u"\\";
    uint32_t n = 0;
    for (auto it = s.keys.lower_bound(prefix); it != s.keys.end(); ++it) {
        const std::u16string& low = it->first;
        if (low.compare(0, prefix.size(), prefix) != 0)
            break;
        if (low.find(u'\\', prefix.size()) != std::u16string::npos)
            continue; // a grandchild
        if (n++ == index) {
            name = it->second.path.substr(prefix.size());
            return RegistryEnum::Ok;
        }
    }
    return RegistryEnum::NoMoreItems;
}

bool deleteRegistryTree(RegistryRoot root, std::u16string_view path) {
    std::u16string full = fullPath(root, path);
    if (full == rootName(root))
        return false;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.find(full))
        return false;
    std::u16string low = lowered(full);
    std::u16string prefix = low + u"\\";
    for (auto it = s.keys.begin(); it != s.keys.end();) {
        if (it->first == low || it->first.compare(0, prefix.size(), prefix) == 0)
            it = s.keys.erase(it);
        else
            ++it;
    }
    return s.save();
}

void setRegistryStoreFile(const std::string& path) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.setFile(path);
}

std::string registryStoreFile() {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.file();
}

} // namespace platform
