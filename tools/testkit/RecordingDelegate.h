// The one test double of WinampControlServerDelegate, shared by the engine, cover loader and
// client tests, the fuzz targets and the benchmarks.
//
// - Answers: what each query gives is set in Answers (edit()); every answer starts as the
//   operation's failure, so a default-constructed RecordingDelegate does nothing at all.
// - Call log: with Recording::On every call is logged as "name(arg,arg,...)" (texts as UTF-8,
//   bools as 0 or 1, the out-parameters left out); calls(), called() and waitFor() read it.
//   Calls are counted per operation in either mode (count(), waitForCount()), cheaply enough
//   for a benchmark.
// - Hooks: onCall(op, hook) runs hook on the calling thread after the call was logged and
//   counted and before it answers; a hook may block (to hold the engine inside a call) or throw
//   (to test the engine's error path).
// - followCommands: the setters change the answers as a player would (see Answers).
//
// Thread-safe: the engine calls it from its network, processing and cover loader threads while
// the test edits answers and reads the log. Three leaf locks: the log, the answers, the hooks.
#pragma once

#include "server/engine/WinampControlServerDelegate.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

// The delegate's operations, in slot order.
enum class Op : uint8_t {
    GetTrackInfo,
    GetPlayerStatus,
    PlaybackCommand,
    ToggleRepeat,
    SetShuffle,
    SetVolume,
    SetPosition,
    GetNowPlayingTracks,
    GetPlaylistTracks,
    GetPlaylists,
    GetTrackCover,
    OnClientConnected,
    OnClientDisconnected,
    OnClientLogin,
    SetCurrentTrackRating,
    GetCurrentTrackIndex,
    SetCurrentTrackIndex,
    RemoveTrack,
    DeletePlaylist,
    PlayPlaylist,
    ReservedPairCommand,
    MoveTrack,
    QueryLibraryList,
    AddLibraryItemsToPlaylist,
    ClearPlaylist,
    ListLibraryCategory,
    SearchLibrary,
    AddSearchResultsToPlaylist,
    FillNowPlayingFromFilter,
    ReservedCommand,
    CreatePlaylist,
    GetCurrentTrackText,
    GetAlbumCover,
    StartPowerAction,
    GetEqualizer,
    GetEqualizerPresets,
    SetEqualizer,
    SetEqualizerEnabled,
    ApplyEqualizerPreset,
    SetSleepTimer,
    GetSleepTimer,
};
constexpr size_t kOpCount = size_t(Op::GetSleepTimer) + 1;

// The operation's name as the log writes it ("getTrackInfo").
const char* opName(Op op);

// Makes a fresh library list for each call (the engine destroys every list it is given).
using ListFactory = std::function<WinampMediaLibraryListBase*()>;
template <class List> ListFactory listOf(List list) {
    return [list] { return new List(list); };
}

struct Answers {
    std::map<int32_t, TrackInfo> tracks;                      // getTrackInfo by index
    std::optional<PlayerStatus> status;                       // getPlayerStatus
    std::optional<std::vector<TrackInfo>> nowPlaying;         // getNowPlayingTracks
    std::map<int32_t, std::vector<TrackInfo>> playlistTracks; // getPlaylistTracks by id
    std::optional<std::vector<PlaylistEntry>> playlists;      // getPlaylists, either argument
    std::map<int32_t, std::vector<uint8_t>> trackCovers;      // getTrackCover by index
    TrackKey trackCoverKey;                                   // filled whether or not found
    int32_t currentIndex = player::kNoIndex;                  // getCurrentTrackIndex
    bool playPlaylistResult = false;
    ListFactory libraryQuery;                         // queryLibraryList, whatever the texts
    std::map<uint32_t, ListFactory> categories;       // listLibraryCategory by kind
    std::map<std::string, LibraryTrackList> searches; // searchLibrary by its text (UTF-8)
    struct TrackText {
        std::string text;
        TrackKey key;
    };
    std::optional<TrackText> trackText;                      // getCurrentTrackText
    std::map<std::string, std::vector<uint8_t>> albumCovers; // getAlbumCover by album
    std::string coverArtist; // getAlbumCover: replaces an empty artist when a cover is found
    bool powerActionResult = false;
    struct Equalizer {
        EqualizerSetting setting;
        bool enabled = false;
        uint16_t range = 200;
        uint8_t scale = 12;
        uint8_t available = 1;
    };
    std::optional<Equalizer> equalizer;                  // getEqualizer
    std::optional<std::vector<EqualizerPreset>> presets; // getEqualizerPresets
    struct SleepTimer {
        bool enabled = false;
        uint32_t mode = player::SLEEP_MODE_AT_TIME;
        uint32_t action = player::SLEEP_ACTION_STOP;
        uint32_t secondsLeft = 0;
    };
    std::optional<SleepTimer> sleepTimer; // getSleepTimer; none leaves the outputs as given

    // The setters change the answers as a player would: playback commands the status's play
    // state (play/pause toggles playing and paused, play plays, stop stops), setVolume,
    // setShuffle, setPosition (whole seconds) and toggleRepeat (off <-> list) the status,
    // setEqualizer and setEqualizerEnabled the equalizer, setSleepTimer the sleep timer.
    bool followCommands = false;
};

class RecordingDelegate : public WinampControlServerDelegate {
public:
    enum class Recording { Off, On };

    explicit RecordingDelegate(Recording recording = Recording::Off);

    // --- answers ---
    template <class Change> void edit(Change change) {
        std::lock_guard<std::mutex> hold(answersMutex_);
        change(answers_);
    }

    // --- the call log ---
    std::vector<std::string> calls();
    bool called(const std::string& call);
    // Waits until the call is in the log; false after ms.
    bool waitFor(const std::string& call, uint32_t ms = 5000);
    void clearCalls(); // the log only, not the counts
    uint64_t count(Op op) const { return counts_[size_t(op)].load(std::memory_order_relaxed); }
    // Waits until op has been called at least n times; false after ms.
    bool waitForCount(Op op, uint64_t n, uint32_t ms = 5000);

    // --- hooks ---
    void onCall(Op op, std::function<void()> hook);
    void clearHooks();

    // --- WinampControlServerDelegate ---
    bool getTrackInfo(TrackInfo& track, int32_t index) override;
    bool getPlayerStatus(PlayerStatus& status) override;
    void playbackCommand(int32_t command) override;
    void toggleRepeat(int32_t unused) override;
    void setShuffle(bool on) override;
    void setVolume(uint16_t level) override;
    void setPosition(int32_t milliseconds) override;
    bool getNowPlayingTracks(TrackList& list) override;
    bool getPlaylistTracks(TrackList& list, int32_t playlistId) override;
    bool getPlaylists(std::vector<PlaylistEntry>& playlists, int32_t unused) override;
    bool getTrackCover(std::vector<uint8_t>& image, int32_t index, TrackKey& key,
                       int16_t size) override;
    void onClientConnected() override;
    void onClientDisconnected() override;
    void onClientLogin(bool authenticated) override;
    void setCurrentTrackRating(uint8_t rating) override;
    int32_t getCurrentTrackIndex() override;
    void setCurrentTrackIndex(int32_t index) override;
    void removeTrack(int32_t playlistId, int32_t index) override;
    void deletePlaylist(int32_t playlistId) override;
    bool playPlaylist(int32_t playlistId) override;
    void reservedPairCommand(uint16_t low, uint16_t high) override;
    void moveTrack(int32_t playlistId, uint32_t from, uint32_t to) override;
    bool queryLibraryList(uint32_t requestId, const std::u16string& genre,
                          const std::u16string& artist, const std::u16string& album,
                          const std::u16string& composer,
                          WinampMediaLibraryListBase*& list) override;
    void addLibraryItemsToPlaylist(int32_t playlistId, const std::u16string& genre,
                                   const std::u16string& artist, const std::u16string& album,
                                   const std::u16string& composer, uint32_t item,
                                   uint32_t position) override;
    void clearPlaylist(uint32_t playlistId) override;
    bool listLibraryCategory(uint32_t kind, WinampMediaLibraryListBase*& list) override;
    bool searchLibrary(uint32_t searchId, const std::u16string& text,
                       WinampMediaLibraryListTracks<std::string>*& list) override;
    void addSearchResultsToPlaylist(int32_t playlistId, uint32_t searchId, int32_t item,
                                    int32_t position) override;
    void fillNowPlayingFromFilter(uint8_t kind, uint8_t rating, bool orHigher) override;
    void reservedCommand() override;
    void createPlaylist(const std::u16string& name, uint32_t extra) override;
    bool getCurrentTrackText(std::string& text, TrackKey& key) override;
    bool getAlbumCover(std::vector<uint8_t>* image, std::string* album, uint16_t requestedSize,
                       std::string* artist) override;
    bool startPowerAction(uint64_t action) override;
    bool getEqualizer(EqualizerSetting& setting, bool& enabled, uint16_t& range, uint8_t& scale,
                      uint8_t& available) override;
    bool getEqualizerPresets(std::vector<EqualizerPreset>& presets) override;
    void setEqualizer(const EqualizerSetting& setting) override;
    void setEqualizerEnabled(bool on) override;
    void applyEqualizerPreset(uint32_t presetIndex) override;
    void setSleepTimer(bool enabled, uint32_t mode, uint32_t action, uint64_t seconds) override;
    void getSleepTimer(bool& enabled, uint32_t& mode, uint32_t& action,
                       uint32_t& secondsLeft) override;

private:
    // Counts the call, logs it when recording (args() builds the argument text only then),
    // and runs the operation's hook.
    template <class Args> void enter(Op op, Args args);
    void log(Op op, const std::string& args);
    void runHook(Op op);

    std::array<std::atomic<uint64_t>, kOpCount> counts_{};
    const bool recording_; // fixed at construction
    std::mutex logMutex_;
    std::vector<std::string> calls_;

    std::mutex answersMutex_;
    Answers answers_;

    std::atomic<bool> anyHook_{false};
    std::mutex hooksMutex_;
    std::array<std::function<void()>, kOpCount> hooks_;
};

} // namespace testkit
