// The registry as one text file. The whole store is held in memory under one mutex; every
// change is made on a copy, which replaces the file and only then the memory, so a write that
// fails changes neither. Lines of the file:
//   # Tandravole registry store: ...            the first line, always
//   [HKEY_CURRENT_USER\\Software\\Example]      a key (full path, root first)
//   "name"=4:2a000000                           a value: type number, raw bytes in hex
//   # end of store                              the last line, always
// In key paths and value names, quotes, backslashes (the path separator too) and closing
// brackets are escaped with a backslash and code units outside printable ASCII are written as
// \uXXXX. Other lines starting with '#' are comments.
// A file that breaks any of these rules is damaged: it is moved aside, never overwritten.
// Longer than most files (about 700 lines): the format, the durable write and the key API share
// the store's private types and its one lock, and read best side by side.
#include "platform/Registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <unistd.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

struct StoredKey {
    std::u16string path; // as first created, root prefix included
    std::vector<RegistryValue> values;
};

using KeyMap = std::map<std::u16string, StoredKey>; // by lowered full path

constexpr const char* kHeader = "# Tandravole registry store: [key], then \"name\"=type:hex bytes";
constexpr std::string_view kHeaderStart = "# Tandravole registry store";
constexpr std::string_view kEndLine = "# end of store";
// Far above any store of settings and presets; a larger file is not one of ours.
constexpr size_t kMaxStoreSize = 16u << 20;
// Names tried for a damaged file: "<file>.damaged", then "<file>.damaged.1" and on.
constexpr int kAsideNames = 100;

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

// Trims separators at both ends and collapses repeated ones.
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

StoredKey* findIn(KeyMap& keys, const std::u16string& full) {
    auto it = keys.find(lowered(full));
    return it == keys.end() ? nullptr : &it->second;
}

// Parents exist whenever a child does, as in the real registry.
StoredKey& createIn(KeyMap& keys, const std::u16string& full) {
    size_t pos = full.find(u'\\');
    while (pos != std::u16string::npos) {
        std::u16string parent = full.substr(0, pos);
        keys.try_emplace(lowered(parent), StoredKey{parent, {}});
        pos = full.find(u'\\', pos + 1);
    }
    return keys.try_emplace(lowered(full), StoredKey{full, {}}).first->second;
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

// Parses a whole store file into keys; on failure `why` says what is wrong and where.
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
            current = &createIn(keys, path);
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

enum class ReadResult { Ok, Missing, Failed };

// Reads at most kMaxStoreSize + 1 bytes (enough to tell that a file is too large).
ReadResult readFile(const std::string& path, std::string& text, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::Missing;
        error = std::strerror(errno);
        return ReadResult::Failed;
    }
    char buf[16384];
    while (text.size() <= kMaxStoreSize) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        text.append(buf, size_t(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(size_t(n));
    }
    return true;
}

// Makes a rename inside the folder durable. Best effort: some file systems cannot flush a
// folder, and by now the new file is in place either way.
void syncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Moves a damaged file to the first free "<file>.damaged[.N]"; that name, or empty when the
// file could not be moved.
std::string keepAside(const std::string& file) {
    for (int n = 0; n < kAsideNames; ++n) {
        std::string aside = file + ".damaged" + (n == 0 ? "" : "." + std::to_string(n));
        std::error_code ec;
        if (fs::symlink_status(aside, ec).type() != fs::file_type::not_found)
            continue;
        return std::rename(file.c_str(), aside.c_str()) == 0 ? aside : std::string();
    }
    return {};
}

class Store {
public:
    std::mutex mutex;

    void setFile(const std::string& path) {
        file_ = path;
        keys_.clear();
        loaded_ = false;
        frozen_ = false;
        problem_.clear();
    }
    std::string file() {
        if (file_.empty()) {
            const char* home = std::getenv("HOME");
            file_ = std::string(home && *home ? home : ".") + "/.config/tandravole/registry";
        }
        return file_;
    }
    const KeyMap& keys() {
        ensureLoaded();
        return keys_;
    }
    StoredKey* find(const std::u16string& full) {
        ensureLoaded();
        return findIn(keys_, full);
    }
    const std::string& problem() {
        ensureLoaded();
        return problem_;
    }
    // Writes `next` to the file and then makes it the store; false leaves both as they were.
    bool commit(KeyMap next) {
        ensureLoaded();
        if (frozen_ || !writeFile(serialise(next)))
            return false;
        keys_ = std::move(next);
        return true;
    }

private:
    void ensureLoaded() {
        if (loaded_)
            return;
        loaded_ = true;
        load();
    }
    void load();
    bool writeFile(const std::string& text);

    std::string file_;
    KeyMap keys_;
    bool loaded_ = false;
    bool frozen_ = false; // the file could be neither read nor moved aside: never overwrite it
    std::string problem_;
};

void Store::load() {
    std::string path = file();
    std::string text, error;
    switch (readFile(path, text, error)) {
    case ReadResult::Missing:
        return;
    case ReadResult::Failed:
        frozen_ = true;
        problem_ =
            path + ": cannot be read (" + error + "); the store is empty and will not be written";
        return;
    case ReadResult::Ok:
        break;
    }
    KeyMap parsed;
    std::string why;
    if (parseStore(text, parsed, why)) {
        keys_ = std::move(parsed);
        return;
    }
    std::string aside = keepAside(path);
    if (aside.empty()) {
        frozen_ = true;
        problem_ = path + ": damaged (" + why +
                   "); it could not be moved aside, so the store is empty and will not be written";
    } else {
        problem_ = path + ": damaged (" + why + "); kept as " + aside + ", the store starts empty";
    }
}

// The new content goes to a temporary file in the same folder, which is flushed to disk and
// then renamed over the old file; the folder is flushed last so the rename itself lasts. Any
// failure before the rename removes the temporary file and leaves the old file untouched.
bool Store::writeFile(const std::string& text) {
    fs::path target(file());
    fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        return false;
    std::string temp = target.string() + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    syncFolder(folder);
    return true;
}

Store& store() {
    static Store s;
    return s;
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
    if (!s.find(full)) {
        KeyMap next = s.keys();
        createIn(next, full);
        if (!s.commit(std::move(next)))
            return false;
    }
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
    const StoredKey* live = s.find(impl_->full);
    if (!live)
        return false;
    // A value written again as it stands changes nothing: no copy, no write to disk.
    for (const auto& v : live->values)
        if (sameName(v.name, name) && v.type == type && v.data == data)
            return true;
    KeyMap next = s.keys();
    StoredKey* key = findIn(next, impl_->full);
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
    return s.commit(std::move(next));
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
    if (!s.find(impl_->full))
        return false;
    KeyMap next = s.keys();
    auto& values = findIn(next, impl_->full)->values;
    for (auto it = values.begin(); it != values.end(); ++it)
        if (sameName(it->name, name)) {
            values.erase(it);
            return s.commit(std::move(next));
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
    const KeyMap& keys = s.keys();
    std::u16string prefix = lowered(impl_->full) + u"\\";
    uint32_t n = 0;
    for (auto it = keys.lower_bound(prefix); it != keys.end(); ++it) {
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
    KeyMap next = s.keys();
    for (auto it = next.begin(); it != next.end();) {
        if (it->first == low || it->first.compare(0, prefix.size(), prefix) == 0)
            it = next.erase(it);
        else
            ++it;
    }
    return s.commit(std::move(next));
}

namespace {

// Deletes the key at `full` when it has no subkeys, and also no values when `mustBeEmpty`.
bool deleteOneKey(const std::u16string& full, bool mustBeEmpty) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    const StoredKey* key = s.find(full);
    if (!key || (mustBeEmpty && !key->values.empty()))
        return false;
    std::u16string low = lowered(full);
    std::u16string prefix = low + u"\\";
    const KeyMap& keys = s.keys();
    auto child = keys.lower_bound(prefix);
    if (child != keys.end() && child->first.starts_with(prefix))
        return false; // a subkey
    KeyMap changed = keys;
    changed.erase(low);
    return s.commit(std::move(changed));
}

} // namespace

bool deleteRegistryKey(RegistryRoot root, std::u16string_view path) {
    std::u16string full = fullPath(root, path);
    return full != rootName(root) && deleteOneKey(full, false);
}

bool deleteEmptyRegistryKey(RegistryRoot root, std::u16string_view path) {
    std::u16string full = fullPath(root, path);
    return full != rootName(root) && deleteOneKey(full, true);
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

std::string registryStoreProblem() {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.problem();
}

} // namespace platform
