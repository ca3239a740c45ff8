// Every message of the catalogue byte for byte, its size rule at one byte short and one byte
// long, and the fields whose encoding depends on a threshold, a formula or single flag bits.
#include "server/wire/Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace wire;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

template <class M> bool decodes(const Bytes& payload) {
    M m;
    // Its own allocation of exactly that size, so a read past it is an ASan report.
    Bytes copy(payload);
    return m.decode(copy.data(), copy.size());
}
template <class M> M decoded(const Bytes& payload) {
    M m;
    EXPECT_TRUE(m.decode(payload.data(), payload.size())) << M::kName;
    return m;
}

struct SizeRule {
    size_t shortest = SIZE_MAX; // the shortest prefix accepted; SIZE_MAX: the whole payload
    bool exact = false;         // one byte more is refused
    bool reencodes = true;      // decoding and encoding again gives the same bytes
};

// The codec encodes the sample to exactly the payload; the payload decodes, and encodes back
// to itself; every prefix shorter than the rule's shortest is refused and every other prefix
// accepted; one byte more is refused only by an exact rule.
template <class M> void expectCodec(const M& sample, const Bytes& payload, SizeRule rule = {}) {
    SCOPED_TRACE(M::kName);
    EXPECT_EQ(encodePayload(sample), payload);
    M back;
    ASSERT_TRUE(back.decode(payload.data(), payload.size()));
    if (rule.reencodes) {
        EXPECT_EQ(encodePayload(back), payload);
    }
    const size_t shortest = rule.shortest == SIZE_MAX ? payload.size() : rule.shortest;
    for (size_t n = 0; n < payload.size(); ++n)
        EXPECT_EQ(decodes<M>(Bytes(payload.begin(), payload.begin() + ptrdiff_t(n))), n >= shortest)
            << n << " of " << payload.size() << " bytes";
    Bytes longer = payload;
    longer.push_back(0);
    EXPECT_EQ(decodes<M>(longer), !rule.exact) << "one byte more";
}

const Bytes kKey = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                    0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
TrackKey key() {
    TrackKey k;
    std::copy(kKey.begin(), kKey.end(), k.bytes.begin());
    return k;
}

TEST(CatalogueLayouts, SessionAndStatusMessages) {
    expectCodec(HelloMessage{.passwordRequired = 1, .challenge = {1, 2, 3, 4, 5, 6, 7, 8}},
                {0x02, 0x03, 1, 1, 2, 3, 4, 5, 6, 7, 8});

    const LoginMessage login{.response = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,
                                          0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F},
                             .hasOptions = true,
                             .extendedLists = 1,
                             .keepaliveSeconds = 30};
    const Bytes loginBytes = cat({Bytes(login.response.begin(), login.response.end()), {1, 30}});
    expectCodec(login, loginBytes, {.shortest = 16});
    // Which sizes carry the options is the engine's login test's.

    expectCodec(LoginResultMessage{.accepted = 1}, {1});

    expectCodec(
        QueryMessage{.sub = 10, .parameter = 0x04030201, .hasSecond = true, .second = 0x08070605},
        {10, 1, 2, 3, 4, 5, 6, 7, 8}, {.shortest = 5});
    // Only exactly 9 bytes carry the second parameter: the engine's query test.

    TrackInfoMessage track;
    track.track = {.isCurrent = 1,
                   .playbackFigure = 3,
                   .rating = 4,
                   .figureA = 0x0102,
                   .trackNumber = 0x0506,
                   .extra = {7, 8, 9, 10},
                   .index = 2,
                   .durationMs = 0x0A0B0C0D,
                   .key = key(),
                   .name = "N",
                   .artist = "Ar",
                   .album = "",
                   .genre = "G",
                   .displayText = ""};
    expectCodec(track, cat({{2, 0, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A, 0x02, 0x01, 3, 4, 0x06, 0x05},
                            kKey,
                            {0x06, 1, 2, 0, 1, 'N', 0, 'A', 'r', 0, 0, 'G', 0},
                            {7, 0, 8, 0, 9, 0, 10, 0}}));

    expectCodec(PlayerStatusMessage{.status = {0x01020304, 1, 2, 0x1234, 1}},
                {4, 3, 2, 1, 2, 1, 2, 0x12, 0x34, 0x12});
    expectCodec(PlayerCommandMessage{.command = 6, .argument = 0x04030201}, {6, 1, 2, 3, 4},
                {.exact = true});
    expectCodec(SetRatingMessage{.rating = 4}, {4}, {.exact = true});
    expectCodec(CurrentIndexMessage{.index = 0x11223344}, {0x44, 0x33, 0x22, 0x11});
    expectCodec(CapabilitiesMessage{.mask = 0x0102030405060708ull}, {8, 7, 6, 5, 4, 3, 2, 1});
    expectCodec(ServerNoticeMessage{.reason = NOTICE_TAKEN_OVER}, {8});
    expectCodec(UpdateNoticeMessage{.text = "new"}, {4, 0, 0, 0, 0, 0, 'n', 'e', 'w', 0});
    EXPECT_FALSE(decodes<UpdateNoticeMessage>({0, 0, 0, 0, 0, 0}));                // no terminator
    EXPECT_FALSE(decodes<UpdateNoticeMessage>({3, 0, 0, 0, 0, 0, 'n', 'e', 'w'})); // not 0

    expectCodec(TrackTextMessage{.ok = true, .text = "hi", .key = key()},
                cat({{2, 0, 0, 0}, kKey, {'h', 'i', 0}}));
    // The failure form: n = 0 and a zero key, whatever key the record had.
    expectCodec(TrackTextMessage{.text = "ignored", .key = key()}, Bytes(20, 0));
    EXPECT_FALSE(decoded<TrackTextMessage>(Bytes(20, 0)).ok);
    EXPECT_FALSE(decodes<TrackTextMessage>(cat({{1, 0, 0, 0}, Bytes(16, 0)})));

    expectCodec(QuietMessage{}, {}, {.shortest = 0});
    expectCodec(KeepaliveMessage{}, {}, {.shortest = 0});
    expectCodec(PingMessage{}, {}, {.shortest = 0});
    EXPECT_TRUE(decodes<QuietMessage>({1, 2, 3})); // whatever a quiet message carries is ignored
}

TEST(CatalogueLayouts, PlayingNowAndPlaylistMessages) {
    expectCodec(NowPlayingListMessage{.entries = {{1, "A"}, {0x0102, ""}}},
                {2, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 2, 1, 0, 0, 0});
    expectCodec(NowPlayingChangedMessage{}, {}, {.shortest = 0});
    expectCodec(PlaylistsMessage{.playlists = {{"Mix", 7, 12, 0}, {"", -3, 0, 0}}},
                {2,   0,   0, 0,    7,    0,    0,    0, 12, 0, 0, 0, 'M',
                 'i', 'x', 0, 0xFD, 0xFF, 0xFF, 0xFF, 0, 0,  0, 0, 0});
    expectCodec(MoveNowPlayingMessage{.from = 1, .to = 0x0A0B0C0D},
                {1, 0, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A});
    expectCodec(ClearPlaylistMessage{.playlistId = 0xFFFFFFFF}, {0xFF, 0xFF, 0xFF, 0xFF},
                {.exact = true});
    expectCodec(CreatePlaylistMessage{.name = "Mix"}, {3, 0, 0, 0, 'M', 'i', 'x', 0},
                {.exact = true});
    EXPECT_EQ(decoded<CreatePlaylistMessage>({0, 0, 0, 0, 0}).name, "");
    EXPECT_FALSE(decodes<CreatePlaylistMessage>({0xFF, 0xFF, 0xFF, 0xFF, 'a'})); // n + 5 wraps
    expectCodec(CreatePlaylistExMessage{.extra = 0x01020304, .name = "z"},
                {4, 3, 2, 1, 0, 0, 1, 0, 0, 0, 'z', 0}, {.exact = true});
    EXPECT_FALSE(decodes<CreatePlaylistExMessage>({0, 0, 0, 0, 0, 0, 0xF5, 0xFF, 0xFF, 0xFF, 0}));
    EXPECT_EQ(decoded<CreatePlaylistExMessage>({9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).extra, 9u);
    expectCodec(PlaylistsChangedMessage{}, {}, {.shortest = 0});
    expectCodec(PlaylistTracksMessage{.playlistId = 9, .entries = {{4, "t"}}},
                {1, 0, 0, 0, 9, 0, 0, 0, 4, 0, 0, 0, 't', 0});
    expectCodec(RemoveTrackMessage{.playlistId = 0xFFFFFFFF, .index = 5},
                {0xFF, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0}, {.exact = true});
    expectCodec(MoveTrackMessage{.playlistId = 1, .from = 2, .to = 3},
                {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}, {.exact = true});
    expectCodec(PlaylistChangedMessage{.playlistId = 0x01020304}, {4, 3, 2, 1});

    // Entry flags travel as two bits, which decode as those bits.
    const Bytes exBytes = {2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0,   0, 3, 0,
                           0, 0, 1, 0, 0,    0,    2,    0,    0, 0, 'X', 0, 4, 0,
                           0, 0, 2, 0, 0,    0,    1,    0,    0, 0, 'Y', 0};
    expectCodec(PlaylistsExMessage{.parameter = 0xFFFFFFFF,
                                   .listFlags = 1,
                                   .playlists = {{"X", 3, 1, 0x0100}, {"Y", 4, 2, 0x0001}}},
                exBytes, {.reencodes = false});
    PlaylistsExMessage back = decoded<PlaylistsExMessage>(exBytes);
    ASSERT_EQ(back.playlists.size(), 2u);
    EXPECT_EQ(
        std::tie(back.playlists[0].flags, back.playlists[1].flags, back.listFlags, back.parameter),
        std::tuple(2, 1, 1, 0xFFFFFFFFu));
}

TEST(CatalogueLayouts, LibraryAndSearchMessages) {
    expectCodec(
        LibraryQueryMessage{.requestId = 0x0A0B0C0D, .has = {1, 0, 1}, .texts = {"g", "", "b"}},
        {0x0D, 0x0C, 0x0B, 0x0A, 1, 0, 1, 'g', 0, 'b', 0});
    expectCodec(
        LibraryListMessage{
            .requestId = 5, .count = 2, .code = 6, .entries = {'A', 'n', 'n', 0, 'B', 'o', 0}},
        {5, 0, 0, 0, 2, 0, 0, 0, 6, 'A', 'n', 'n', 0, 'B', 'o', 0}, {.shortest = 9});
    // A flag is a whole u32: 0x100 counts as present.
    expectCodec(
        LibraryAddMessage{
            .playlistId = 0x01020304, .has = {0, 0x100, 1}, .item = 10, .texts = {"", "a", "b"}},
        {4, 3, 2, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 10, 0, 0, 0, 'a', 0, 'b', 0});
    expectCodec(SearchMessage{.searchId = 0x01020304, .text = "ab"}, {4, 3, 2, 1, 'a', 'b', 0},
                {.exact = true});
    EXPECT_FALSE(decodes<SearchMessage>({4, 3, 2, 1, 'a', 0, 'b', 0})); // 0 before the end
    EXPECT_EQ(decoded<SearchMessage>({4, 3, 2, 1, 0}).text, "");
    expectCodec(SearchResultsMessage{.searchId = 9, .total = 1, .entries = {'x', 0}},
                {9, 0, 0, 0, 1, 0, 0, 0, 'x', 0}, {.shortest = 8});
    expectCodec(AddSearchResultsMessage{.searchId = 3, .item = 0xFFFFFFFF},
                {3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, {.exact = true});
    expectCodec(AddSearchResultsToMessage{.searchId = 1, .playlistId = 2, .item = 3},
                {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}, {.exact = true});
    expectCodec(AddSearchResultsAtMessage{.searchId = 1, .playlistId = 2, .item = 3, .position = 4},
                {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0, 0});
    expectCodec(FillNowPlayingMessage{.kind = 1, .rating = 4, .orHigher = 1}, {1, 4, 1},
                {.exact = true});
    expectCodec(LibraryQueryExMessage{.requestId = 2, .mask = 0x09, .texts = {"g", "", "", "c"}},
                {2, 0, 0, 0, 9, 0, 0, 0, 'g', 0, 'c', 0});
    expectCodec(LibraryAddExMessage{.playlistId = 5,
                                    .mask = 0x02 | LibraryAddExMessage::kPositionBit,
                                    .item = 0xFFFFFFFF,
                                    .texts = {"", "a", "", ""},
                                    .position = 3},
                {5, 0, 0, 0, 2, 0, 0, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0, 3, 0, 0, 0});
    expectCodec(CompressedMessage{.uncompressedLength = 100,
                                  .innerType = MSG_LIBRARY_LIST,
                                  .block = {1, 2, 3}},
                {100, 0, 0, 0, 19, 0, 0, 0, 0, 0, 1, 2, 3}, {.shortest = 10});
}

TEST(CatalogueLayouts, CoverEqualizerAndSleepTimerMessages) {
    expectCodec(TrackCoverMessage{.image = {0x89, 'P', 'N'}, .key = key()},
                cat({{3, 0, 0, 0}, kKey, {0x89, 'P', 'N'}}));
    expectCodec(TrackCoverNoneMessage{}, {}, {.shortest = 0});

    // The album is read up to its stated length; an artist that does not fit counts as absent.
    const Bytes requestBytes = {4, 0, 0,   0,   1,   0,   0, 0, 2, 0, 3, 0,   200, 0,
                                9, 1, 'B', 'l', 'u', 'e', 0, 2, 0, 0, 0, 'J', 'o'};
    expectCodec(CoverRequestMessage{.album = "Blue",
                                    .hasArtist = true,
                                    .artist = "Jo",
                                    .tag1 = 1,
                                    .tag2 = 0x00030002,
                                    .requestedSize = 200,
                                    .tag3 = 9},
                requestBytes, {.shortest = 21});
    CoverRequestMessage noArtist = decoded<CoverRequestMessage>(
        Bytes(requestBytes.begin(), requestBytes.end() - 1)); // artist one byte short
    EXPECT_EQ(std::tie(noArtist.hasArtist, noArtist.album), std::tuple(false, "Blue"));
    Bytes flagOff = requestBytes;
    flagOff[15] = 0xFE; // only bit 0 says an artist follows
    EXPECT_FALSE(decoded<CoverRequestMessage>(flagOff).hasArtist);

    expectCodec(CoverMessage{.album = "Blue",
                             .artist = "Jo",
                             .image = {0xFF, 0xD8},
                             .tag1 = 1,
                             .tag2 = 2,
                             .tag3 = 3},
                {4, 0, 0, 0, 2, 0, 0,   0,   2,   0,   0, 0,   1,   0, 0,    0,
                 2, 0, 0, 0, 3, 0, 'B', 'l', 'u', 'e', 0, 'J', 'o', 0, 0xFF, 0xD8});
    expectCodec(EqualizerMessage{.setting = {"", {{60, 150}, {0x0F0E, 0}}, 0x0102}, .enabled = 1},
                {2, 1, 12, 1, 200, 0, 2, 1, 0, 0, 60, 0, 150, 0, 0x0E, 0x0F, 0, 0});
    expectCodec(EqualizerPresetsMessage{.names = {"Rock", ""}},
                {2, 0, 0, 0, 'R', 'o', 'c', 'k', 0, 0});
    expectCodec(SleepTimerMessage{.enabled = true, .mode = 1, .action = 2, .seconds = 600},
                {1, 2, 3, 0, 0x58, 2, 0, 0});
}

TEST(CatalogueLayouts, PlaylistDetailsFullAndShortEntries) {
    PlaylistDetailsMessage m;
    m.list.playlistId = 4;
    m.list.name = "L";
    m.list.entries = {{.playbackFigure = 4,
                       .rating = 5,
                       .figureA = 3,
                       .trackNumber = 6,
                       .extra = {7, 8, 9, 10},
                       .index = 1,
                       .durationMs = 2,
                       .key = {},
                       .name = "n",
                       .artist = "ar",
                       .album = "",
                       .genre = "",
                       .displayText = "ar - n"}};
    const Bytes head = {1, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 'L', 0};
    const Bytes first24 = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 4, 5, 6, 0, 7, 0, 8, 0, 9, 0, 10, 0, 0, 0};
    expectCodec(m, cat({head, first24, {1, 0, 2, 0, 0, 0, 0, 0, 'n', 0, 'a', 'r', 0, 0, 0}}));

    m.list.wantDisplayText = 1;
    Bytes shortHead = head;
    shortHead[10] = 2;
    expectCodec(m, cat({shortHead,
                        first24,
                        {6, 0, 0, 0, 0, 0, 0, 0, 'a', 'r', ' ', '-', ' ', 'n', 0, 0, 0, 0}}));

    // Each flag bit on its own.
    m.list.wantDisplayText = 0;
    m.list.reserved = 7;
    EXPECT_EQ(encodePayload(m)[10], 1);
    PlaylistDetailsMessage back = decoded<PlaylistDetailsMessage>(encodePayload(m));
    EXPECT_EQ(std::tie(back.list.reserved, back.list.wantDisplayText), std::tuple(1, 0));
}

// A list's count is checked against the smallest entry it could have: exactly that many
// smallest entries decode, and one more is refused before anything is allocated for it.
template <class M> void expectCountChecked(Bytes payload, size_t at = 0) {
    SCOPED_TRACE(M::kName);
    EXPECT_TRUE(decodes<M>(payload));
    if (M::kType == MSG_EQUALIZER)
        ++payload[at]; // a one-byte count
    else
        storeLE32(&payload[at], loadLE32(&payload[at]) + 1);
    EXPECT_FALSE(decodes<M>(payload));
}

TEST(CatalogueSizeRules, CountsAreCheckedAgainstTheSmallestEntry) {
    expectCountChecked<NowPlayingListMessage>(cat({{2, 0, 0, 0}, Bytes(10, 0)})); // 5 each
    expectCountChecked<PlaylistTracksMessage>(cat({{2, 0, 0, 0, 9, 0, 0, 0}, Bytes(10, 0)}));
    expectCountChecked<PlaylistsMessage>(cat({{2, 0, 0, 0}, Bytes(18, 0)})); // 9 each
    expectCountChecked<PlaylistsExMessage>(cat({{2, 0, 0, 0}, Bytes(8, 0), Bytes(26, 0)}));
    expectCountChecked<EqualizerPresetsMessage>(cat({{3, 0, 0, 0}, Bytes(3, 0)})); // 1 each
    expectCountChecked<PlaylistDetailsMessage>(
        cat({{2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, Bytes(72, 0)}));             // 36 each
    expectCountChecked<EqualizerMessage>(cat({{2}, Bytes(9, 0), Bytes(8, 0)})); // 10 + 4 each
    // No bands: the 10-byte head alone is whole, one byte less is not.
    EXPECT_TRUE(decoded<EqualizerMessage>(Bytes(10, 0)).setting.bands.empty());
    EXPECT_FALSE(decodes<EqualizerMessage>(Bytes(9, 0)));
}

// A text is there when its flag is non-zero, whichever byte of a u32 flag is set (which flag
// picks which text: the layouts above); flags that pick no text at all are refused. Bit 28
// alone brings a position and no text.
TEST(CatalogueSizeRules, TextsAndOptionalPartsPickedByFlags) {
    const Bytes add = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 5, 0, 0, 0, 'x', 0};
    EXPECT_EQ(decoded<LibraryAddMessage>(add).texts, (std::array<std::string, 3>{"", "", "x"}));
    EXPECT_FALSE(decodes<LibraryQueryMessage>({1, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(decodes<LibraryQueryExMessage>({1, 0, 0, 0, 0, 0, 0, 0}));
    const LibraryAddExMessage positioned =
        decoded<LibraryAddExMessage>({1, 0, 0, 0, 0, 0, 0, 0x10, 2, 0, 0, 0, 7, 0, 0, 0});
    EXPECT_EQ(positioned.position, 7u);
    EXPECT_EQ(positioned.texts, (std::array<std::string, 4>{}));
}

// Mode codes 1 and 2 and action codes 1 to 3 are the delegate's values plus one; anything
// else is dropped on the way in and not sent on the way out.
TEST(CatalogueSizeRules, SleepTimerCodesAtTheEdgesOfTheirRanges) {
    for (uint8_t mode = 0; mode <= 3; ++mode) {
        for (uint8_t action = 0; action <= 4; ++action) {
            const bool valid = mode >= 1 && mode <= 2 && action >= 1 && action <= 3;
            const Bytes payload = {0x40, mode, action, 0, 1, 0, 0, 0};
            ASSERT_EQ(decodes<SleepTimerMessage>(payload), valid) << int(mode) << int(action);
            if (valid) {
                SleepTimerMessage m = decoded<SleepTimerMessage>(payload);
                EXPECT_EQ(std::tie(m.enabled, m.mode, m.action),
                          std::tuple(true, mode - 1u, action - 1u));
            }
            EXPECT_EQ((SleepTimerMessage{.mode = mode, .action = action}.valid()),
                      mode <= 1 && action <= 2)
                << int(mode) << int(action);
        }
    }
    EXPECT_FALSE(decoded<SleepTimerMessage>({0, 1, 1, 0, 0, 0, 0, 0}).enabled);
}

// Each of the four text lengths of MSG_TRACK_INFO is one byte: 255 bytes travel whole, 256 are
// cut to 255 (a cut that would split a character steps back: the library list's length test).
TEST(CatalogueThresholds, TrackInfoTextsAt255And256Bytes) {
    for (int field = 0; field < 4; ++field) {
        for (size_t length : {255u, 256u}) {
            TrackInfoMessage m;
            std::string* fields[4] = {&m.track.name, &m.track.artist, &m.track.album,
                                      &m.track.genre};
            *fields[field] = std::string(length, 'x');
            const Bytes p = encodePayload(m);
            ASSERT_EQ(p.size(), 39u + 255) << field << " " << length;
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(p[31 + size_t(i)], i == field ? 255 : 0) << field << " " << i;
            const ptrdiff_t at = 35 + field;
            EXPECT_EQ(Bytes(p.begin() + at, p.end()), cat({Bytes(255, 'x'), Bytes(4 - field, 0)}));
        }
    }
}

// Flag bit 1 is isCurrent, bit 2 the extra block, which travels when its first or third value
// is non-zero; each case on its own.
TEST(CatalogueThresholds, TrackInfoFlagBitsOneAtATime) {
    struct Case {
        uint8_t isCurrent;
        std::array<uint16_t, 4> extra;
        uint8_t flags;
        bool block;
    } cases[] = {
        {0, {0, 0, 0, 0}, 0x00, false}, {1, {0, 0, 0, 0}, 0x02, false},
        {9, {0, 0, 0, 0}, 0x02, false}, {0, {5, 0, 0, 0}, 0x04, true},
        {0, {0, 0, 5, 0}, 0x04, true},  {0, {0, 5, 0, 5}, 0x00, false},
        {1, {1, 2, 3, 4}, 0x06, true},
    };
    for (const Case& c : cases) {
        TrackInfoMessage m;
        m.track.isCurrent = c.isCurrent;
        m.track.extra = c.extra;
        const Bytes p = encodePayload(m);
        EXPECT_EQ(p[30], c.flags) << int(c.isCurrent) << " " << c.extra[0] << c.extra[2];
        EXPECT_EQ(p.size(), c.block ? 47u : 39u);
        TrackInfoMessage back = decoded<TrackInfoMessage>(p);
        EXPECT_EQ(back.track.isCurrent, c.isCurrent ? 1 : 0);
        const std::array<uint16_t, 4> none{};
        EXPECT_EQ(back.track.extra, c.block ? c.extra : none);
    }
    // Bits other than 1 and 2 mean nothing to the receiver.
    Bytes other = encodePayload(TrackInfoMessage{});
    other[30] = 0xF9;
    EXPECT_EQ(decoded<TrackInfoMessage>(other).track, TrackInfo{});
}

// Byte 7 is the volume divided by 257, so 256 is 0 and 65534 is 254 (a shift by 8 would give 1
// and 255); play state (byte 4), shuffle (5) and repeat (6) map every value, known or not.
TEST(CatalogueThresholds, PlayerStatusFieldsForEveryValue) {
    const struct {
        size_t byte;
        uint32_t value;
        uint8_t code;
    } cases[] = {
        {7, 256, 0}, {7, 257, 1}, {7, 65534, 254}, {7, 65535, 255}, {4, 0, 1},
        {4, 1, 2},   {4, 2, 3},   {4, 3, 3},       {6, 0, 0},       {6, 1, 1},
        {6, 2, 2},   {6, 3, 0},   {5, 0, 0},       {5, 1, 1},       {5, 0x80, 1},
    };
    for (const auto& c : cases) {
        PlayerStatusMessage m;
        if (c.byte == 7)
            m.status.volume = uint16_t(c.value);
        else if (c.byte == 4)
            m.status.playState = c.value;
        else if (c.byte == 6)
            m.status.repeatMode = c.value;
        else
            m.status.shuffle = uint8_t(c.value);
        EXPECT_EQ(encodePayload(m)[c.byte], c.code) << c.byte << ": " << c.value;
    }
    // The receiver maps codes back: 1 playing, 2 paused, anything else stopped.
    const std::pair<uint8_t, uint32_t> back[] = {{0, 2}, {1, 0}, {2, 1}, {3, 2}, {4, 2}};
    for (const auto& [code, state] : back)
        EXPECT_EQ(decoded<PlayerStatusMessage>({0, 0, 0, 0, code, 0, 0, 0, 0, 0}).status.playState,
                  state)
            << int(code);
}

// Command 6: b0 the lowest byte, b1 the next, h the high half. Every combination of zero and
// non-zero parts, so a rule that checks the wrong part or multiplies wrongly shows.
TEST(CatalogueThresholds, VolumeArgumentForEveryCombinationOfItsParts) {
    struct Case {
        uint32_t argument;
        uint16_t volume;
    } cases[] = {
        {0x00000000, 0x0000}, {0x00000500, 0x0000}, {0x00000080, 0x8080}, {0x00000580, 0x8080},
        {0x12340000, 0x1234}, {0x12340500, 0x0000}, {0x12340080, 0x1234}, {0x12340580, 0x8080},
    };
    for (const Case& c : cases)
        EXPECT_EQ(volumeFromArgument(c.argument), c.volume) << std::hex << c.argument;
}

// 16-bit lengths in MSG_PLAYLIST_DETAILS: the list name and every entry text at 65535 and
// 65536 bytes; counts of equalizer bands and presets at their widths.
TEST(CatalogueThresholds, PlaylistDetailsLengthsAndListCountsAtTheirWidths) {
    for (size_t length : {65535u, 65536u}) {
        const std::string big(length, 'x');
        PlaylistDetailsMessage m;
        m.list.name = big;
        Bytes p = encodePayload(m);
        ASSERT_EQ(p.size(), 12u + 65535);
        EXPECT_EQ(loadLE16(&p[8]), 65535);
        EXPECT_EQ(decoded<PlaylistDetailsMessage>(p).list.name, std::string(65535, 'x'));

        for (int field = 0; field < 5; ++field) {
            PlaylistDetailsMessage d;
            TrackInfo t;
            std::string* texts[5] = {&t.name, &t.artist, &t.album, &t.genre, &t.displayText};
            *texts[field] = big;
            d.list.wantDisplayText = field == 4;
            d.list.entries = {t};
            p = encodePayload(d);
            ASSERT_EQ(p.size(), 12u + 36 + 65535) << field;
            EXPECT_EQ(loadLE16(&p[12 + 24 + 2 * size_t(field == 4 ? 0 : field)]), 65535) << field;
            TrackInfo back = decoded<PlaylistDetailsMessage>(p).list.entries.at(0);
            std::string* backTexts[5] = {&back.name, &back.artist, &back.album, &back.genre,
                                         &back.displayText};
            EXPECT_EQ(*backTexts[field], std::string(65535, 'x')) << field;
        }
    }
    for (size_t count : {255u, 256u}) {
        EqualizerMessage eq;
        eq.setting.bands.assign(count, EqualizerBand{1, 2});
        const Bytes p = encodePayload(eq);
        EXPECT_EQ(p[0], 255);
        EXPECT_EQ(p.size(), 10u + 4 * 255);
    }
    for (size_t count : {65535u, 65536u}) {
        EqualizerPresetsMessage presets;
        presets.names.assign(count, "");
        const Bytes p = encodePayload(presets);
        EXPECT_EQ(loadLE16(&p[0]), 65535);
        EXPECT_EQ(p.size(), 4u + 65535);
    }
}

} // namespace
