// The companion side's decoding of what the server sends, as the client does it: an envelope
// (MSG_COMPRESSED) is opened first and a malformed one skipped, then the message is decoded
// with its codec and described for printing, library lists and search results through the
// list decoder.
//
// Input: byte 0 the message type, the rest its payload.
//
// Checked beyond the sanitizers:
// - a library list the decoder accepts holds the stated count, and its own encoding decodes
//   to the same entries (what the server writes, the client reads back unchanged);
// - any payload sent in an envelope opens to exactly itself (fast compression always, high
//   compression for payloads of 512 bytes and more).
#include "client/Describe.h"
#include "client/RemoteClient.h"
#include "server/wire/Frame.h"
#include "server/wire/Messages.h"
#include "server/wire/WinampMediaLibraryList.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <vector>

namespace {

constexpr size_t kHighCompressionFrom = 512;

template <class List>
bool sameEntriesAs(const WinampMediaLibraryListBase& a, const WinampMediaLibraryListBase& b) {
    const auto* x = dynamic_cast<const List*>(&a);
    const auto* y = dynamic_cast<const List*>(&b);
    return x != nullptr && y != nullptr && x->entries == y->entries;
}

bool sameList(const WinampMediaLibraryListBase& a, const WinampMediaLibraryListBase& b) {
    if (a.kind != b.kind || a.count() != b.count())
        return false;
    switch (a.kind) {
    case LIST_KIND_ALBUMS:
        return sameEntriesAs<LibraryAlbumList>(a, b);
    case LIST_KIND_TRACKS:
        return sameEntriesAs<LibraryTrackList>(a, b);
    default:
        return sameEntriesAs<LibraryStringList>(a, b);
    }
}

void checkList(int code, uint32_t count, const std::vector<uint8_t>& entries) {
    auto list = decodeLibraryList(code, count, entries.data(), entries.size());
    if (!list)
        return;
    FUZZ_CHECK(list->count() == count);
    FUZZ_CHECK(listKindCode(list->kind) == code);
    const std::vector<uint8_t> again = list->encoded();
    auto back = decodeLibraryList(code, count, again.data(), again.size());
    FUZZ_CHECK(back != nullptr);
    FUZZ_CHECK(sameList(*list, *back));
}

void checkEnvelope(uint32_t type, const uint8_t* payload, size_t size, wire::CompressionMode mode) {
    std::vector<uint8_t> frame = wire::buildCompressedFrame(type, payload, size, mode);
    if (frame.empty())
        return;
    wire::ReceivedMessage inner;
    FUZZ_CHECK(wire::openCompressed(frame.data() + wire::kHeaderSize,
                                    frame.size() - wire::kHeaderSize, inner));
    FUZZ_CHECK(inner.type == type);
    FUZZ_CHECK(inner.payload == std::vector<uint8_t>(payload, payload + size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    wire::ReceivedMessage message;
    message.type = data[0];
    message.payload.assign(data + 1, data + size);

    if (message.type == wire::MSG_COMPRESSED) {
        wire::ReceivedMessage inner;
        if (!wire::openCompressed(message.payload.data(), message.payload.size(), inner))
            return 0;
        message = std::move(inner);
    } else {
        checkEnvelope(message.type, message.payload.data(), message.payload.size(),
                      wire::CompressionMode::Fast);
        // High compression takes a quarter megabyte of state per envelope: only for payloads
        // long enough to reach the high ratios where the two modes differ.
        if (message.payload.size() >= kHighCompressionFrom)
            checkEnvelope(message.type, message.payload.data(), message.payload.size(),
                          wire::CompressionMode::High);
    }

    remote::Value described = remote::describeMessage(message);
    std::ostringstream text;
    described.printText(text);
    (void)described.json();

    if (auto list = remote::decodeAs<wire::LibraryListMessage>(message))
        checkList(list->code, list->count, list->entries);
    if (auto found = remote::decodeAs<wire::SearchResultsMessage>(message))
        checkList(listKindCode(LIST_KIND_TRACK_NAMES), found->total, found->entries);
    return 0;
}
