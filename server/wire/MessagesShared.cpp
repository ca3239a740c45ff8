// Shared encoding helpers of the message codecs, and the catalogue's look-ups by type.
#include "server/wire/MessagesShared.h"

#include <array>

namespace wire {

namespace codec {

std::string_view clipUtf8(std::string_view s, size_t limit) {
    if (s.size() <= limit)
        return s;
    size_t end = limit;
    while (end > 0 && (uint8_t(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

void writeKey(ByteWriter& w, const TrackKey& key) {
    w.bytes(key.bytes.data(), key.bytes.size());
}
bool readKey(ByteReader& r, TrackKey& key) {
    return r.bytes(key.bytes.data(), key.bytes.size());
}

void writeIndexedList(ByteWriter& w, const std::vector<IndexedText>& entries) {
    for (const IndexedText& e : entries) {
        w.u32(e.index);
        w.cstring(e.text);
    }
}
bool readIndexedList(ByteReader& r, uint32_t count, std::vector<IndexedText>& entries) {
    // Each entry takes at least 5 bytes: a count beyond that cannot be honest.
    if (count > r.remaining() / 5)
        return false;
    entries.resize(count);
    for (IndexedText& e : entries)
        if (!r.u32(e.index) || !r.cstring(e.text))
            return false;
    return true;
}

bool ignoresPayload(const uint8_t*, size_t) {
    return true;
}

} // namespace codec

// --- catalogue queries -----------------------------------------------------------------------
namespace {
struct TypeInfo {
    uint32_t type;
    const char* name;
    Direction direction;
};
template <class... M> constexpr std::array<TypeInfo, sizeof...(M)> typeTable(MessageList<M...>) {
    return {TypeInfo{M::kType, M::kName, M::kDirection}...};
}
constexpr auto kTypes = typeTable(Catalogue{});

const TypeInfo* findType(uint32_t type) {
    for (const TypeInfo& t : kTypes)
        if (t.type == type)
            return &t;
    return nullptr;
}
} // namespace

const char* messageName(uint32_t type) {
    const TypeInfo* t = findType(type);
    return t ? t->name : nullptr;
}

bool isSentBy(uint32_t type, Direction sender) {
    const TypeInfo* t = findType(type);
    return t && sentBy(t->direction, sender);
}

} // namespace wire
