// Commands and edits: every request reaches its delegate operation with its arguments;
// malformed and unknown requests are dropped.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

struct Case {
    uint32_t type;
    Bytes payload;
    std::string call;
};

// Sends every case, then a marker query whose reply shows that all of them were dispatched,
// and compares the calls in order (a case without a call is dropped).
void expectCalls(RecordingDelegate& fake, Peer& p, const std::vector<Case>& cases) {
    fake.clearCalls();
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        p.sendRaw(c.type, c.payload);
        if (!c.call.empty())
            expected.push_back(c.call);
    }
    expected.push_back("getCurrentTrackIndex()");
    p.query(QUERY_CURRENT_INDEX);
    ASSERT_EQ(p.nextOf(MSG_CURRENT_INDEX).type, uint32_t(MSG_CURRENT_INDEX));
    EXPECT_EQ(fake.calls(), expected);
}

Case command(uint8_t code, uint32_t argument, std::string call) {
    return {MSG_PLAYER_COMMAND, Bytes{code} + le32(argument), std::move(call)};
}

TEST_F(Engine, EveryRequestReachesItsDelegateOperationWithItsArguments) {
    auto p = connectAndLogin();
    // clang-format off
    expectCalls(fake, *p, {
        command(CMD_PLAY_PAUSE, 0, "playbackCommand(0)"),
        command(CMD_PLAY, 0, "playbackCommand(1)"),
        command(CMD_STOP, 0, "playbackCommand(2)"),
        command(CMD_SHUFFLE, 7, "setShuffle(1)"),
        command(CMD_REPEAT, 2, "toggleRepeat(2)"),
        command(CMD_VOLUME, 0xFFFF0000, "setVolume(65535)"),
        command(CMD_SEEK, 10000, "setPosition(10000)"),
        command(CMD_NEXT, 0, "playbackCommand(4)"),
        command(CMD_PREVIOUS, 0, "playbackCommand(3)"),
        command(CMD_SET_INDEX, 3, "setCurrentTrackIndex(3)"),
        command(CMD_REMOVE, 2, "removeTrack(-1,2)"),
        command(CMD_PLAY_PLAYLIST, 5, "playPlaylist(5)"),
        command(CMD_RESERVED_PAIR, 0xABCD1234, "reservedPairCommand(4660,43981)"),
        command(CMD_RANDOM, 0, "playbackCommand(5)"),
        command(CMD_RESERVED, 0, "reservedCommand()"),
        command(CMD_DELETE_PLAYLIST, 6, "deletePlaylist(6)"),
        command(CMD_APPLY_PRESET, 0xFFFFFFFF, "applyEqualizerPreset(4294967295)"),
        command(CMD_EQUALIZER_ON, 1, "setEqualizerEnabled(1)"),
        {MSG_SET_RATING, {4}, "setCurrentTrackRating(4)"},
        {MSG_MOVE_NOW_PLAYING, le32(1) + le32(2), "moveTrack(-1,1,2)"},
        {MSG_LIBRARY_QUERY, le32(9) + Bytes({1, 0, 1, 'G', 0, 'L', 0}),
         "queryLibraryList(9,G,,L,)"},
        {MSG_CLEAR_PLAYLIST, le32(0xFFFFFFFF), "clearPlaylist(4294967295)"},
        {MSG_LIBRARY_ADD, le32(3) + le32(0) + le32(1) + le32(0) + le32(0xFFFFFFFF) + text0("A"),
         "addLibraryItemsToPlaylist(3,,A,,,4294967295,4294967294)"},
        {MSG_SEARCH, le32(7) + text0("bee"), "searchLibrary(7,bee)"},
        {MSG_ADD_SEARCH_RESULTS, le32(7) + le32(0xFFFFFFFF),
         "addSearchResultsToPlaylist(-1,7,-1,-2)"},
        {MSG_FILL_NOW_PLAYING, {player::FILL_NEVER_PLAYED, 4, 2},
         "fillNowPlayingFromFilter(1,4,1)"},
        {MSG_CREATE_PLAYLIST, le32(2) + text0("Pl"), "createPlaylist(Pl,4294967295)"},
        {MSG_REMOVE_TRACK, le32(5) + le32(1), "removeTrack(5,1)"},
        {MSG_MOVE_TRACK, le32(5) + le32(1) + le32(3), "moveTrack(5,1,3)"},
        {MSG_ADD_SEARCH_RESULTS_TO, le32(7) + le32(5) + le32(2),
         "addSearchResultsToPlaylist(5,7,2,-2)"},
        {MSG_LIBRARY_QUERY_EX, le32(8) + le32(0x0C) + text0("L") + text0("C"),
         "queryLibraryList(8,,,L,C)"},
        {MSG_LIBRARY_ADD_EX, le32(5) + le32(0x10000008) + le32(2) + text0("C") + le32(1),
         "addLibraryItemsToPlaylist(5,,,,C,2,1)"},
        {MSG_LIBRARY_ADD_EX,
         le32(5) + le32(0x0F) + le32(0xFFFFFFFF) + text0("G") + text0("A") + text0("L") +
             text0("C"),
         "addLibraryItemsToPlaylist(5,G,A,L,C,4294967295,4294967294)"},
        {MSG_CREATE_PLAYLIST_EX, le32(9) + Bytes({0, 0}) + le32(1) + text0("Q"),
         "createPlaylist(Q,9)"},
        {MSG_ADD_SEARCH_RESULTS_AT, le32(7) + le32(5) + le32(2) + le32(3) + Bytes({0, 0}),
         "addSearchResultsToPlaylist(5,7,2,3)"},
        {MSG_EQUALIZER, Bytes({1, 0, 0, 0, 0, 0, 110, 0, 0, 0, 60, 0, 100, 0}),
         "setEqualizer(1,110)"},
        {MSG_SLEEP_TIMER, Bytes({1, 2, 3, 0}) + le32(60), "setSleepTimer(1,1,2,60)"},
        {MSG_SLEEP_TIMER, Bytes({0, 1, 1, 0}) + le32(0), "setSleepTimer(0,0,0,0)"},
        // Shuffle, repeat and the equalizer switch read byte 1 only; seek, index and playlist
        // ids pass the whole argument, as a signed number where the delegate takes one.
        command(CMD_SHUFFLE, 0x80, "setShuffle(1)"),
        command(CMD_SHUFFLE, 0x100, "setShuffle(0)"),
        command(CMD_EQUALIZER_ON, 0x100, "setEqualizerEnabled(0)"),
        command(CMD_EQUALIZER_ON, 2, "setEqualizerEnabled(1)"),
        command(CMD_REPEAT, 0, "toggleRepeat(0)"),
        command(CMD_REPEAT, 1, "toggleRepeat(1)"),
        command(CMD_REPEAT, 3, "toggleRepeat(0)"),
        command(CMD_REPEAT, 0x0201, "toggleRepeat(1)"),
        command(CMD_SEEK, 0xFFFFFFFF, "setPosition(-1)"),
        command(CMD_SET_INDEX, 0x80000000, "setCurrentTrackIndex(-2147483648)"),
        command(CMD_REMOVE, 0xFFFFFFFE, "removeTrack(-1,-2)"),
        command(CMD_PLAY_PLAYLIST, 0xFFFFFFFF, "playPlaylist(-1)"),
        command(CMD_DELETE_PLAYLIST, 0x10000, "deletePlaylist(65536)"),
        command(CMD_RESERVED_PAIR, 0xFFFF, "reservedPairCommand(65535,0)"),
        {MSG_REMOVE_TRACK, le32(0xFFFFFFFF) + le32(0xFFFFFFFF), "removeTrack(-1,-1)"},
        {MSG_MOVE_TRACK, le32(0xFFFFFFFF) + le32(0xFFFFFFFF) + le32(0),
         "moveTrack(-1,4294967295,0)"},
        {MSG_FILL_NOW_PLAYING, {player::FILL_BY_RATING, 5, 0}, "fillNowPlayingFromFilter(0,5,0)"},
        // Malformed and unknown messages are dropped and the session goes on.
        {MSG_PLAYER_COMMAND, {6, 0x80, 0, 0}, ""},
        {MSG_PLAYER_COMMAND, {6, 0x80, 0, 0, 0, 0}, ""},
        {MSG_CREATE_PLAYLIST, {3, 0, 0, 0, 'a', 'b', 'c'}, ""},
        {MSG_SEARCH, {1, 0, 0, 0, 'x'}, ""},
        {MSG_SLEEP_TIMER, {1, 0, 1, 0, 0, 0, 0, 0}, ""},
        {MSG_EQUALIZER, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}, ""},
        {MSG_LIBRARY_QUERY, {1, 0, 0, 0, 1, 0, 0, 'n', 'o', 'n', 'u', 'l'}, ""},
        {MSG_QUERY, {2, 0, 0, 0}, ""},
        {MSG_QUERY, {0, 0, 0, 0, 0}, ""},
        {MSG_QUERY, {20, 0, 0, 0, 0}, ""},
        {MSG_PLAYER_COMMAND, {0, 0, 0, 0, 0}, ""},
        {MSG_PLAYER_COMMAND, {19, 0, 0, 0, 0}, ""},
        {0, {}, ""},
        {17, {1, 2}, ""},
        {MSG_PLAYER_STATUS, Bytes(10, 0), ""},
        {MSG_COMPRESSED, Bytes(12, 0), ""},
        {52, {}, ""},
        {MSG_COVER_REQUEST, Bytes(16, 0), ""},
    });
    // clang-format on
}

// A frame sent byte by byte, one larger than the 256-byte receive buffer on the stack, and the
// one behind it in the same send all arrive whole. (Garbage before a frame is the splitter's.)
TEST_F(Engine, FramesArriveWholeInPiecesAndAboveTheStackBuffer) {
    auto p = connectAndLogin();
    const Bytes index = buildFrame(MSG_QUERY, queryBytes(QUERY_CURRENT_INDEX, 0));
    for (uint8_t b : index) {
        p->client.sendAll(&b, 1);
        platform::sleepMs(1);
    }
    EXPECT_EQ(p->next().type, uint32_t(MSG_CURRENT_INDEX));
    p->client.sendAll(buildFrame(MSG_SEARCH, le32(3) + text0(std::string(600, 'w'))) + index);
    EXPECT_EQ(p->next().type, uint32_t(MSG_CURRENT_INDEX));
    EXPECT_TRUE(fake.called("searchLibrary(3," + std::string(600, 'w') + ")"));
}

} // namespace
} // namespace engine_test
