// The private window messages that carry the delegate's operations to the host's thread, and
// the records some of them point to. A sender keeps every record on its own stack for the
// duration of the send; the window procedure reads and fills it there.
//
// Message           wParam                        lParam                          result
// 40001 track info  int32 index, -1 = current      TrackInfo*                      1 filled
// 40002 transport   0                              int32 command                   0
// 40003 status      0                              PlayerStatus*                   1 filled
// 40004 cover image int32 index, -1 = current      std::vector<uint8_t>*           1 read
// 40005 cover key   int32 index, -1 = current      TrackKey*                       1 computed
// 40006 volume      0                              uint16 level                    0
// 40007 shuffle     0                              uint8 on                        0
// 40008 set index   0                              int32 index                     0
// 40009 list        int32 playlist id              TrackList*                      1
// 40010 position    0                              int32 milliseconds              0
// 40011 get index   0                              0                               position
// 40012 clear       0                              uint32 playlist id              0
// 40013 rating      0                              uint8 rating                    0
// 40014 remove      int32 playlist id              int32 index                     0
// 40015 playlists   int32 (not used)               std::vector<PlaylistEntry>*     1
// 40016 play list   0                              int32 playlist id               1 started
// 40017 add library 0                              LibrarySelectionRecord*         0
// 40018 move        int32 playlist id              MoveRecord*                     0
// 40019 search      LibraryTrackList**             SearchRecord*                   1; 0 no words
// 40020 end session 0                              0                               0
// 40021 add results 0                              AddSearchResultsRecord*         0
// 40022 rule fill   uint8 kind                     rating bits 0..7, orHigher 16   0
// 40023 repeat      0                              int32 (not used)                0
// 40024 delete      0                              int32 playlist id               0
// 40025 create      uint32 (not used)              const std::u16string* name      0
// 40026 text        TrackKey*                      std::string* (UTF-8)            1 non-empty
// 40027 album cover 0                              AlbumCoverRecord*               1 read
// 40028 eq on?      0                              0                               1 on
// 40029 eq enable   0                              uint8 on                        0
// 40030 eq write    0                              const EqualizerSetting*         0
// 40031 eq read     0                              EqualizerSetting*               1
#pragma once

#include "server/wire/PlayerRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bridge {

namespace wm {

enum WindowMessage : uint32_t {
    kTrackInfo = 40001,
    kPlaybackCommand = 40002,
    kPlayerStatus = 40003,
    kCoverImage = 40004,
    kCoverKey = 40005,
    kSetVolume = 40006,
    kSetShuffle = 40007,
    kSetCurrentIndex = 40008,
    kListTracks = 40009,
    kSetPosition = 40010,
    kGetCurrentIndex = 40011,
    kClearList = 40012,
    kSetRating = 40013,
    kRemoveTrack = 40014,
    kListPlaylists = 40015,
    kPlayPlaylist = 40016,
    kAddLibraryItems = 40017,
    kMoveTrack = 40018,
    kSearch = 40019,
    kEndClientSession = 40020,
    kAddSearchResults = 40021,
    kFillFromRule = 40022,
    kToggleRepeat = 40023,
    kDeletePlaylist = 40024,
    kCreatePlaylist = 40025,
    kCurrentText = 40026,
    kAlbumCover = 40027,
    kEqualizerOn = 40028,
    kEqualizerEnable = 40029,
    kEqualizerWrite = 40030,
    kEqualizerRead = 40031,
};

constexpr uint32_t kFirst = kTrackInfo;
constexpr uint32_t kLast = kEqualizerRead;

} // namespace wm

// The sleep timer's clock: WM_TIMER with this id every five seconds while a timer in time
// mode is armed.
constexpr uint32_t kSleepTimerId = 3;
constexpr uint32_t kSleepTimerPeriodMs = 5000;

// 40022: lParam carries the rating in bits 0..7 and "or higher" in bit 16.
constexpr intptr_t kRuleOrHigherBit = intptr_t(1) << 16;

struct MoveRecord {
    uint32_t from;
    uint32_t to;
};

struct SearchRecord {
    uint32_t searchId;
    std::u16string text;
};

struct AddSearchResultsRecord {
    int32_t playlistId;
    uint32_t searchId;
    int32_t item;
    int32_t position;
};

struct AlbumCoverRecord {
    const std::string* album;
    std::string* artist; // in and out
    std::vector<uint8_t>* image;
    uint16_t size;
};

struct LibrarySelectionRecord {
    int32_t playlistId;
    const std::u16string* genre;
    const std::u16string* artist;
    const std::u16string* album;
    const std::u16string* composer;
    uint32_t item;
    uint32_t position;
};

} // namespace bridge
