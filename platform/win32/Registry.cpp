// The registry seam over the Windows registry. wchar_t is 16 bits here, so UTF-16 texts pass
// through unchanged.
#include "platform/Registry.h"

#include <windows.h>

namespace platform {
namespace {

HKEY rootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    }
    return HKEY_CURRENT_USER;
}

std::wstring wide(std::u16string_view s) {
    return std::wstring(s.begin(), s.end());
}

} // namespace

struct RegistryKey::Impl {
    HKEY key = nullptr;
    ~Impl() {
        if (key)
            RegCloseKey(key);
    }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::open(RegistryRoot root, std::u16string_view path, bool writable) {
    close();
    HKEY key = nullptr;
    REGSAM access = writable ? (KEY_READ | KEY_WRITE) : KEY_READ;
    if (RegOpenKeyExW(rootKey(root), wide(path).c_str(), 0, access, &key) != ERROR_SUCCESS)
        return false;
    impl_ = std::make_unique<Impl>();
    impl_->key = key;
    return true;
}

bool RegistryKey::create(RegistryRoot root, std::u16string_view path) {
    close();
    HKEY key = nullptr;
    if (RegCreateKeyExW(rootKey(root), wide(path).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    impl_ = std::make_unique<Impl>();
    impl_->key = key;
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
    std::wstring wname = wide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(impl_->key, wname.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    RegistryValue v;
    v.name = std::u16string(name);
    v.type = type;
    v.data.resize(size);
    if (RegQueryValueExW(impl_->key, wname.c_str(), nullptr, &type,
                         v.data.empty() ? nullptr : v.data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    v.data.resize(size);
    return v;
}

std::optional<uint32_t> RegistryKey::readDword(std::u16string_view name) const {
    auto v = readValue(name);
    if (!v || v->type != REG_DWORD || v->data.size() != 4)
        return std::nullopt;
    return uint32_t(v->data[0]) | uint32_t(v->data[1]) << 8 | uint32_t(v->data[2]) << 16 |
           uint32_t(v->data[3]) << 24;
}

std::optional<uint64_t> RegistryKey::readQword(std::u16string_view name) const {
    auto v = readValue(name);
    if (!v || v->type != REG_QWORD || v->data.size() != 8)
        return std::nullopt;
    uint64_t r = 0;
    for (int i = 7; i >= 0; --i)
        r = r << 8 | v->data[size_t(i)];
    return r;
}

std::optional<std::u16string> RegistryKey::readString(std::u16string_view name) const {
    auto v = readValue(name);
    if (!v || v->type != REG_SZ)
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
    if (!v || v->type != REG_BINARY)
        return std::nullopt;
    return v->data;
}

bool RegistryKey::writeValue(std::u16string_view name, uint32_t type,
                             const std::vector<uint8_t>& data) {
    if (!impl_)
        return false;
    return RegSetValueExW(impl_->key, wide(name).c_str(), 0, type,
                          data.empty() ? nullptr : data.data(),
                          DWORD(data.size())) == ERROR_SUCCESS;
}

bool RegistryKey::writeDword(std::u16string_view name, uint32_t value) {
    std::vector<uint8_t> d{uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                           uint8_t(value >> 24)};
    return writeValue(name, REG_DWORD, d);
}

bool RegistryKey::writeQword(std::u16string_view name, uint64_t value) {
    std::vector<uint8_t> d;
    for (int i = 0; i < 8; ++i)
        d.push_back(uint8_t(value >> (8 * i)));
    return writeValue(name, REG_QWORD, d);
}

bool RegistryKey::writeString(std::u16string_view name, std::u16string_view value) {
    std::vector<uint8_t> d;
    for (char16_t c : value) {
        d.push_back(uint8_t(c & 0xFF));
        d.push_back(uint8_t(c >> 8));
    }
    d.push_back(0);
    d.push_back(0);
    return writeValue(name, REG_SZ, d);
}

bool RegistryKey::writeBinary(std::u16string_view name, const std::vector<uint8_t>& value) {
    return writeValue(name, REG_BINARY, value);
}

bool RegistryKey::deleteValue(std::u16string_view name) {
    return impl_ && RegDeleteValueW(impl_->key, wide(name).c_str()) == ERROR_SUCCESS;
}

RegistryEnum RegistryKey::enumValue(uint32_t index, RegistryValue& out) const {
    if (!impl_)
        return RegistryEnum::Failed;
    wchar_t name[16384];
    DWORD nameLen = 16384, type = 0, size = 0;
    LONG rc = RegEnumValueW(impl_->key, index, name, &nameLen, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS)
        return RegistryEnum::NoMoreItems;
    if (rc != ERROR_SUCCESS)
        return RegistryEnum::Failed;
    std::vector<uint8_t> data(size);
    nameLen = 16384;
    rc = RegEnumValueW(impl_->key, index, name, &nameLen, nullptr, &type,
                       data.empty() ? nullptr : data.data(), &size);
    if (rc != ERROR_SUCCESS)
        return rc == ERROR_NO_MORE_ITEMS ? RegistryEnum::NoMoreItems : RegistryEnum::Failed;
    data.resize(size);
    out.name.assign(name, name + nameLen);
    out.type = type;
    out.data = std::move(data);
    return RegistryEnum::Ok;
}

RegistryEnum RegistryKey::enumSubKey(uint32_t index, std::u16string& name) const {
    if (!impl_)
        return RegistryEnum::Failed;
    wchar_t buf[256];
    DWORD len = 256;
    LONG rc = RegEnumKeyExW(impl_->key, index, buf, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS)
        return RegistryEnum::NoMoreItems;
    if (rc != ERROR_SUCCESS)
        return RegistryEnum::Failed;
    name.assign(buf, buf + len);
    return RegistryEnum::Ok;
}

bool deleteRegistryTree(RegistryRoot root, std::u16string_view path) {
    if (path.empty())
        return false;
    // With a subkey name, RegDeleteTreeW removes that key itself as well.
    return RegDeleteTreeW(rootKey(root), wide(path).c_str()) == ERROR_SUCCESS;
}

bool writeRegistryValues(RegistryRoot root, std::u16string_view path,
                         const std::vector<RegistryValue>& values,
                         const std::vector<std::u16string>& remove) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(rootKey(root), wide(path).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const RegistryValue& v : values)
        ok = RegSetValueExW(key, wide(v.name).c_str(), 0, v.type,
                            v.data.empty() ? nullptr : v.data.data(),
                            DWORD(v.data.size())) == ERROR_SUCCESS &&
             ok;
    for (const std::u16string& name : remove) {
        LSTATUS rc = RegDeleteValueW(key, wide(name).c_str());
        ok = (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) && ok;
    }
    RegCloseKey(key);
    return ok;
}

namespace {

using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// RegDeleteKeyExW, or null where advapi32 lacks it; looked up once.
DeleteKeyExFn deleteKeyEx() {
    static const DeleteKeyExFn fn = [] {
        HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
        void* entry =
            advapi ? reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")) : nullptr;
        return reinterpret_cast<DeleteKeyExFn>(entry);
    }();
    return fn;
}

} // namespace

bool deleteRegistryKey(RegistryRoot root, std::u16string_view path) {
    if (path.empty())
        return false;
    // Both refuse a key that has subkeys.
    std::wstring name = wide(path);
    if (DeleteKeyExFn fn = deleteKeyEx())
        return fn(rootKey(root), name.c_str(), 0, 0) == ERROR_SUCCESS;
    return RegDeleteKeyW(rootKey(root), name.c_str()) == ERROR_SUCCESS;
}

bool deleteEmptyRegistryKey(RegistryRoot root, std::u16string_view path) {
    if (path.empty())
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExW(rootKey(root), wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD subKeys = 0, values = 0;
    LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && subKeys == 0 && values == 0 && deleteRegistryKey(root, path);
}

void setRegistryStoreFile(const std::string&) {}
std::string registryStoreFile() {
    return {};
}
std::string registryStoreProblem() {
    return {};
}

} // namespace platform
