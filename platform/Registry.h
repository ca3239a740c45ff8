// The registry seam. On Windows these calls are the registry itself. On POSIX they work on a
// small store kept in one file, with the same roots, key paths (case-insensitive, separated by
// backslashes), value names (case-insensitive) and value types, so settings, presets and
// registration are one code path on both.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine, ClassesRoot };

// Value types with their Windows numbers (REG_SZ, REG_BINARY, REG_DWORD, REG_QWORD).
enum class RegistryType : uint32_t { String = 1, Binary = 3, Dword = 4, Qword = 11 };

struct RegistryValue {
    std::u16string name;
    uint32_t type = 0;         // a RegistryType number, or whatever another writer stored
    std::vector<uint8_t> data; // raw bytes; a string is UTF-16LE with its terminating NUL
};

enum class RegistryEnum { Ok, NoMoreItems, Failed };

class RegistryKey {
public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens an existing key for reading (KEY_READ) or for reading and writing.
    bool open(RegistryRoot root, std::u16string_view path, bool writable = false);
    // Opens the key for writing, creating it and its missing parents.
    bool create(RegistryRoot root, std::u16string_view path);
    void close();
    bool isOpen() const;

    std::optional<uint32_t> readDword(std::u16string_view name) const;
    std::optional<uint64_t> readQword(std::u16string_view name) const;
    // A REG_SZ value without its terminator (text after an embedded NUL is dropped).
    std::optional<std::u16string> readString(std::u16string_view name) const;
    std::optional<std::vector<uint8_t>> readBinary(std::u16string_view name) const;
    // Any value with its type and raw bytes.
    std::optional<RegistryValue> readValue(std::u16string_view name) const;

    bool writeDword(std::u16string_view name, uint32_t value);
    bool writeQword(std::u16string_view name, uint64_t value);
    // Stores the text and a terminating NUL as REG_SZ.
    bool writeString(std::u16string_view name, std::u16string_view value);
    bool writeBinary(std::u16string_view name, const std::vector<uint8_t>& value);
    // Stores raw bytes under any type, as RegSetValueExW does.
    bool writeValue(std::u16string_view name, uint32_t type, const std::vector<uint8_t>& data);
    bool deleteValue(std::u16string_view name);

    // Value `index` in storage order (RegEnumValueW): NoMoreItems past the last one.
    RegistryEnum enumValue(uint32_t index, RegistryValue& out) const;
    RegistryEnum enumSubKey(uint32_t index, std::u16string& name) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Deletes a key with all its subkeys and values; true when it existed and is gone.
bool deleteRegistryTree(RegistryRoot root, std::u16string_view path);

// Creates the key and its missing parents, writes `values` into it (each replacing a value of
// the same name, in storage order for new ones) and deletes the values named in `remove` (a
// missing one is no failure), all as one change. On POSIX that is one durable rewrite of the
// store's file, so a process killed at any moment leaves either all of it or none of it. On
// Windows the registry takes each value by itself. False when the key could not be created or
// a change could not be made.
bool writeRegistryValues(RegistryRoot root, std::u16string_view path,
                         const std::vector<RegistryValue>& values,
                         const std::vector<std::u16string>& remove = {});

// Deletes one key that has no subkeys; its values go with it. False when the key is missing,
// still has subkeys, or could not be deleted. Windows: RegDeleteKeyExW where advapi32 has it
// (looked up once), RegDeleteKeyW otherwise.
bool deleteRegistryKey(RegistryRoot root, std::u16string_view path);

// Deletes the key only when it has neither values nor subkeys, as SHDeleteEmptyKeyW does;
// false when it is missing, not empty, or could not be deleted.
bool deleteEmptyRegistryKey(RegistryRoot root, std::u16string_view path);

// POSIX only: the file behind the store (default "~/.config/tandravole/registry"). Switching
// drops the store in memory; the new file is read at the next call that needs it. A missing
// file is an empty store; its folder and any missing parents are created by the first write.
// Ignored on Windows.
//
// On POSIX every change rewrites the whole file durably: the new content goes to a temporary
// file beside it ("<file>.tmp-<process id>-XXXXXX"), which is flushed to disk and renamed over
// the old file, and then the folder is flushed. A change that cannot be written (folder not
// creatable, disk full, target not replaceable) returns false and leaves the file, the store
// in memory and the folder as they were: the temporary file is removed again. A temporary
// file left by a process that died in the middle of a change is removed when the store is
// next read.
void setRegistryStoreFile(const std::string& path);
std::string registryStoreFile();

// POSIX only: what was wrong with the store's file when it was read, as one line naming the
// file, or empty when it was fine or missing (always empty on Windows). Reads the file if that
// has not happened yet. The store never fails on a bad file; it carries on empty, so every
// setting falls back to its default:
// - A damaged file (not a store of ours, truncated, malformed, over 16 MiB) is renamed to
//   "<file>.damaged" (or "<file>.damaged.1" up to ".99" when taken) and kept there; the next
//   write starts a new file.
// - A file that cannot be read, or a damaged one that cannot be moved aside, is left alone:
//   the store is empty and refuses every write, so the file is never overwritten.
std::string registryStoreProblem();

} // namespace platform
