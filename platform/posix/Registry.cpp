// The registry as one text file (its form: RegistryStoreFormat.h). The whole store is held in
// memory under one mutex; every change is made on a copy, which replaces the file and only then
// the memory, so a write that fails changes neither. A file that is not a store of ours is
// damaged: it is moved aside, never overwritten.
#include "platform/Registry.h"

#include "platform/posix/RegistryStoreFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <signal.h>
#include <unistd.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

using namespace store_file;

// Names tried for a damaged file: "<file>.damaged", then "<file>.damaged.1" and on.
constexpr int kAsideNames = 100;

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

// A writer killed between making its temporary file and renaming it leaves the file behind.
// Its name carries the writer's process id: one whose process is gone (or is this process,
// which writes only under the store's lock, held by whoever calls this) is removed.
void removeStaleTemporaries(const std::string& file) {
    fs::path target(file);
    fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = target.filename().string() + ".tmp-";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        char* rest = nullptr;
        long pid = std::strtol(name.c_str() + prefix.size(), &rest, 10);
        if (pid <= 0 || *rest != '-')
            continue;
        if (pid != ::getpid() && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH))
            continue; // its writer may still be at work
        std::error_code ignored;
        fs::remove(it->path(), ignored);
    }
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
    removeStaleTemporaries(path);
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
    std::string temp = target.string() + ".tmp-" + std::to_string(::getpid()) + "-XXXXXX";
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

bool writeRegistryValues(RegistryRoot root, std::u16string_view path,
                         const std::vector<RegistryValue>& values,
                         const std::vector<std::u16string>& remove) {
    std::u16string full = fullPath(root, path);
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    bool changed = !s.find(full);
    KeyMap next = s.keys();
    StoredKey& key = createIn(next, full);
    for (const RegistryValue& v : values) {
        auto same = [&](const RegistryValue& stored) { return sameName(stored.name, v.name); };
        auto it = std::find_if(key.values.begin(), key.values.end(), same);
        if (it == key.values.end()) {
            key.values.push_back(v);
            changed = true;
        } else if (it->type != v.type || it->data != v.data) {
            it->type = v.type;
            it->data = v.data;
            changed = true;
        }
    }
    for (const std::u16string& name : remove)
        changed |= std::erase_if(key.values, [&](const RegistryValue& stored) {
                       return sameName(stored.name, name);
                   }) > 0;
    // Nothing to change writes nothing, as a single value written again as it stands.
    return !changed || s.commit(std::move(next));
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
