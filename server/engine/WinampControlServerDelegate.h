// The protocol engine's view of the player: 41 operations in a fixed slot order (the engine
// calls them by place, so empty operations keep their slots). The records they fill are in
// server/wire/PlayerRecords.h, beside the codecs that encode them.
// Texts handed to the engine are UTF-8; texts handed to the player side are UTF-16. An index
// or playlist id of -1 means the current entry or the playing-now list.
//
// Callers: onClientConnected on the listening thread, onClientLogin on the connection's
// thread while it parses the login, onClientDisconnected on the connection's thread after its
// loop ended, getAlbumCover on a cover loader thread, everything else on the message
// processing thread. Operations never throw; they report failure by false, 0 or an unfilled
// record.
#pragma once

#include "server/wire/PlayerRecords.h"
#include "server/wire/WinampMediaLibraryList.h"

#include <cstdint>
#include <string>
#include <vector>

class WinampControlServerDelegate {
public:
    // 0..10: playback and lists
    virtual bool getTrackInfo(TrackInfo& track, int32_t index) = 0;
    virtual bool getPlayerStatus(PlayerStatus& status) = 0;
    // 0 play/pause, 1 play, 2 stop, 3 previous, 4 next, 5 random track
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
    // item 0xFFFFFFFF = all; position 0xFFFFFFFF after the current entry, 0xFFFFFFFE at the end
    virtual void addLibraryItemsToPlaylist(int32_t playlistId, const std::u16string& genre,
                                           const std::u16string& artist,
                                           const std::u16string& album,
                                           const std::u16string& composer, uint32_t item,
                                           uint32_t position) = 0;
    virtual void clearPlaylist(uint32_t playlistId) = 0;
    virtual bool listLibraryCategory(uint32_t kind, WinampMediaLibraryListBase*& list) = 0;
    virtual bool searchLibrary(uint32_t searchId, const std::u16string& text,
                               WinampMediaLibraryListTracks<std::string>*& list) = 0;
    virtual void addSearchResultsToPlaylist(int32_t playlistId, uint32_t searchId, int32_t item,
                                            int32_t position) = 0;
    // kind 0 rating, 1 never played
    virtual void fillNowPlayingFromFilter(uint8_t kind, uint8_t rating, bool orHigher) = 0;
    virtual void reservedCommand() = 0; // empty in the control
    virtual void createPlaylist(const std::u16string& name, uint32_t unused) = 0;
    virtual bool getCurrentTrackText(std::string& text, TrackKey& key) = 0;
    // artist is in and out: an empty artist is replaced by the one the lookup used.
    virtual bool getAlbumCover(std::vector<uint8_t>* image, std::string* album,
                               uint16_t requestedSize, std::string* artist) = 0;
    // 33..40: power, equalizer, sleep timer
    virtual bool startPowerAction(uint64_t action) = 0;
    virtual bool getEqualizer(EqualizerSetting& setting, bool& enabled, uint16_t& range,
                              uint8_t& scale, uint8_t& available) = 0;
    virtual bool getEqualizerPresets(std::vector<EqualizerPreset>& presets) = 0;
    virtual void setEqualizer(const EqualizerSetting& setting) = 0;
    virtual void setEqualizerEnabled(bool on) = 0;
    virtual void applyEqualizerPreset(uint32_t presetIndex) = 0;
    // mode 0 at a given time, 1 at the end of the track; action 0 stop, 1 and 2 power actions
    virtual void setSleepTimer(bool enabled, uint32_t mode, uint32_t action, uint64_t seconds) = 0;
    virtual void getSleepTimer(bool& enabled, uint32_t& mode, uint32_t& action,
                               uint32_t& secondsLeft) = 0;

    virtual ~WinampControlServerDelegate() = default;
};
