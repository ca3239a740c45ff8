// The protocol engine's view of the player: 41 operations in a fixed slot order (the engine
// calls them by place, so empty operations keep their slots). The records they fill are in
// server/wire/PlayerRecords.h, beside the codecs that encode them.
// Texts handed to the engine are UTF-8; texts handed to the player side are UTF-16. An index
// or playlist id of -1 means the current entry or the playing-now list.
//
// Callers: onClientConnected on the listening thread, onClientLogin on the connection's
// thread while it parses the login, onClientDisconnected on the connection's thread after its
// loop ended, getAlbumCover on a cover loader thread, everything else on the message
// processing thread. Operations report failure by false, 0 or an unfilled record and are not
// meant to throw; when one does, the engine drops the message (or cover request) it was
// serving, logs the failure and goes on.
#pragma once

#include "server/wire/PlayerRecords.h"
#include "server/wire/WinampMediaLibraryList.h"

#include <cstdint>
#include <string>
#include <vector>

// The numbers the delegate's operations take and give, named once for the engine, the player
// bridge and the test doubles.
namespace player {

// -1 (0xFFFFFFFF unsigned) has one meaning per kind of argument: the current entry where an
// index is taken, the playing-now list where a playlist id is taken, "no entry" as
// getCurrentTrackIndex's answer, every item where an item is taken, and after the current
// entry where a position is taken.
constexpr int32_t kCurrent = -1;
constexpr uint32_t kCurrentU = 0xFFFFFFFFu;
constexpr int32_t kNowPlaying = kCurrent;
constexpr uint32_t kNowPlayingU = kCurrentU;
constexpr int32_t kNoIndex = kCurrent;
constexpr int32_t kAllItems = kCurrent;
constexpr uint32_t kAllItemsU = kCurrentU;
constexpr int32_t kAfterCurrent = kCurrent;
constexpr uint32_t kAfterCurrentU = kCurrentU;
// -2 (0xFFFFFFFE unsigned) as a position: append at the end.
constexpr int32_t kAtEnd = -2;
constexpr uint32_t kAtEndU = 0xFFFFFFFEu;

// playbackCommand
enum PlaybackCommand : int32_t {
    PLAYBACK_PLAY_PAUSE = 0,
    PLAYBACK_PLAY = 1,
    PLAYBACK_STOP = 2,
    PLAYBACK_PREVIOUS = 3,
    PLAYBACK_NEXT = 4,
    PLAYBACK_RANDOM = 5,
};

// listLibraryCategory: the kind of the list it gives, with the list kinds' numbers.
enum LibraryCategory : uint32_t {
    CATEGORY_GENRES = LIST_KIND_GENRES,
    CATEGORY_ARTISTS = LIST_KIND_ARTISTS,
    CATEGORY_COMPOSERS = LIST_KIND_COMPOSERS,
    CATEGORY_ALBUMS = LIST_KIND_ALBUMS,
};

// setSleepTimer / getSleepTimer (MSG_SLEEP_TIMER carries each plus one).
enum SleepTimerMode : uint32_t {
    SLEEP_MODE_AT_TIME = 0,     // at a point in time, seconds from now
    SLEEP_MODE_AT_LIST_END = 1, // when the playing-now list has played to its end
};
enum SleepTimerAction : uint32_t {
    SLEEP_ACTION_STOP = 0,      // stop playback only
    SLEEP_ACTION_POWER_OFF = 1, // stop, then power action POWER_OFF
    SLEEP_ACTION_SUSPEND = 2,   // stop, then power action POWER_SLEEP
};

// startPowerAction
enum PowerAction : uint32_t {
    POWER_SLEEP = 0, // suspend, or hibernate where suspend is not allowed
    POWER_RESTART = 1,
    POWER_OFF = 2,
};

// fillNowPlayingFromFilter
enum FillRule : uint8_t {
    FILL_BY_RATING = 0,
    FILL_NEVER_PLAYED = 1,
};

} // namespace player

class WinampControlServerDelegate {
public:
    // 0..10: playback and lists
    virtual bool getTrackInfo(TrackInfo& track, int32_t index) = 0;
    virtual bool getPlayerStatus(PlayerStatus& status) = 0;
    // command: player::PlaybackCommand
    virtual void playbackCommand(int32_t command) = 0;
    virtual void toggleRepeat(int32_t unused) = 0;
    virtual void setShuffle(bool on) = 0;
    virtual void setVolume(uint16_t level) = 0;
    virtual void setPosition(int32_t milliseconds) = 0;
    virtual bool getNowPlayingTracks(TrackList& list) = 0;
    virtual bool getPlaylistTracks(TrackList& list, int32_t playlistId) = 0;
    virtual bool getPlaylists(std::vector<PlaylistEntry>& playlists, int32_t unused) = 0;
    virtual bool getTrackCover(std::vector<uint8_t>& image, int32_t index, TrackKey& key,
                               int16_t unused) = 0;
    // 11..13: session events
    virtual void onClientConnected() = 0; // empty in the control
    virtual void onClientDisconnected() = 0;
    virtual void onClientLogin(bool authenticated) = 0;
    // 14..21: edits
    virtual void setCurrentTrackRating(uint8_t rating) = 0;
    virtual int32_t getCurrentTrackIndex() = 0;
    virtual void setCurrentTrackIndex(int32_t index) = 0;
    virtual void removeTrack(int32_t playlistId, int32_t index) = 0;
    virtual void deletePlaylist(int32_t playlistId) = 0;
    virtual bool playPlaylist(int32_t playlistId) = 0;
    virtual void reservedPairCommand(uint16_t low, uint16_t high) = 0; // empty in the control
    virtual void moveTrack(int32_t playlistId, uint32_t from, uint32_t to) = 0;
    // 22..32: library, search, covers. A list stored through an out-parameter belongs to the
    // caller, which destroys it after use; a producer destroys any list already stored there.
    virtual bool queryLibraryList(uint32_t requestId, const std::u16string& genre,
                                  const std::u16string& artist, const std::u16string& album,
                                  const std::u16string& composer,
                                  WinampMediaLibraryListBase*& list) = 0;
    // item player::kAllItemsU = all; position player::kAfterCurrentU or player::kAtEndU
    virtual void addLibraryItemsToPlaylist(int32_t playlistId, const std::u16string& genre,
                                           const std::u16string& artist,
                                           const std::u16string& album,
                                           const std::u16string& composer, uint32_t item,
                                           uint32_t position) = 0;
    virtual void clearPlaylist(uint32_t playlistId) = 0;
    // kind: player::LibraryCategory
    virtual bool listLibraryCategory(uint32_t kind, WinampMediaLibraryListBase*& list) = 0;
    virtual bool searchLibrary(uint32_t searchId, const std::u16string& text,
                               WinampMediaLibraryListTracks<std::string>*& list) = 0;
    virtual void addSearchResultsToPlaylist(int32_t playlistId, uint32_t searchId, int32_t item,
                                            int32_t position) = 0;
    // kind: player::FillRule
    virtual void fillNowPlayingFromFilter(uint8_t kind, uint8_t rating, bool orHigher) = 0;
    virtual void reservedCommand() = 0; // empty in the control
    virtual void createPlaylist(const std::u16string& name, uint32_t unused) = 0;
    virtual bool getCurrentTrackText(std::string& text, TrackKey& key) = 0;
    // artist is in and out: an empty artist is replaced by the one the lookup used.
    virtual bool getAlbumCover(std::vector<uint8_t>* image, std::string* album,
                               uint16_t requestedSize, std::string* artist) = 0;
    // 33..40: power, equalizer, sleep timer
    // action: player::PowerAction
    virtual bool startPowerAction(uint64_t action) = 0;
    virtual bool getEqualizer(EqualizerSetting& setting, bool& enabled, uint16_t& range,
                              uint8_t& scale, uint8_t& available) = 0;
    virtual bool getEqualizerPresets(std::vector<EqualizerPreset>& presets) = 0;
    virtual void setEqualizer(const EqualizerSetting& setting) = 0;
    virtual void setEqualizerEnabled(bool on) = 0;
    virtual void applyEqualizerPreset(uint32_t presetIndex) = 0;
    // mode: player::SleepTimerMode; action: player::SleepTimerAction
    virtual void setSleepTimer(bool enabled, uint32_t mode, uint32_t action, uint64_t seconds) = 0;
    virtual void getSleepTimer(bool& enabled, uint32_t& mode, uint32_t& action,
                               uint32_t& secondsLeft) = 0;

    virtual ~WinampControlServerDelegate() = default;
};
