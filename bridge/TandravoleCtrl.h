// CTandravoleCtrl, the player bridge: the control the player creates and initialises with its
// root automation object. It owns the protocol engine (WinampControlServer) and implements
// its delegate, owns the hidden window on the host's thread through which every player call
// for a network request runs, turns the player's events into pushes, keeps the settings
// record, the equalizer presets, the cached search result and the sleep timer, and owns the
// seams to the panel, message boxes, DNS-SD, the update check and power actions.
//
// Threads. The host's thread (the one that constructs the control and calls Init) runs Init,
// the window procedure, the player's events and the destructor. Delegate operations arrive
// on the engine's threads and send to the hidden window, which runs the handler on the
// host's thread while the sender waits; queryLibraryList and listLibraryCategory call the
// player directly on their thread, and the presets are read at login on the connection's
// thread. The handlers serialise every other player call by running one at a time.
//
// Locks (leaves: nothing is taken inside them): the settings lock guards the settings record
// (read at login, by the update check and on the host's thread); the presets lock guards the
// preset list (rebuilt at login, read by the message processor). The server's session lock is
// taken, outside both, for the pushes the control writes itself. The push flag, the sleep
// timer's fields and the teardown flag are atomics.
//
// Teardown: the destructor marks the control as tearing down (every handler then answers 0
// at once), destroys the server while the host's thread keeps answering sends (a thread
// blocked in a send can finish and be joined), then closes the window, unadvises the event
// sink and releases the player.
#pragma once

#include "bridge/ControlServices.h"
#include "bridge/CrtRandom.h"
#include "bridge/HostWindow.h"
#include "bridge/PluginSettings.h"
#include "bridge/WindowMessages.h"
#include "host/HostAutomation.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "server/engine/WinampControlServer.h"
#include "server/engine/WinampControlServerDelegate.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bridge {

// Init's result, with the HRESULT each stands for.
enum class InitResult : int32_t {
    Ok = 0,                                                // S_OK
    NullRoot = static_cast<int32_t>(0x80004003),           // E_POINTER: no root object
    AlreadyInitialised = static_cast<int32_t>(0x80004005), // E_FAIL: Init ran before
};

// The address in the update notice sent to the app.
inline constexpr char kProductWebSite[] = "www.tandravole.com";
inline constexpr char kUpdateNoticeText[] =
    "A new version of the Media Center plug-in is available for download at ";

// The equalizer as the app sees it: ten bands, 0..200 with 100 for no gain.
inline constexpr uint16_t kEqualizerFrequencies[10] = {60,   170,  310,   600,   1000,
                                                       3000, 6000, 12000, 14000, 16000};
constexpr uint16_t kEqualizerRange = 200;
constexpr uint8_t kEqualizerScale = 12;

} // namespace bridge

class CTandravoleCtrl final : public WinampControlServerDelegate,
                              public host::HostEventSink,
                              public bridge::UpdateCheckOwner {
public:
    explicit CTandravoleCtrl(bridge::ControlEnvironment environment = {});
    ~CTandravoleCtrl() override;
    CTandravoleCtrl(const CTandravoleCtrl&) = delete;
    CTandravoleCtrl& operator=(const CTandravoleCtrl&) = delete;

    // Host's thread: takes the player's root object, advises the event sink, creates the
    // hidden window and registers it with the player, loads the settings, configures the
    // server and starts it when enabled (with DNS-SD when asked for), starts the update check
    // and fills the panel. Refuses a null root and a second call without doing anything.
    bridge::InitResult Init(host::HostObjectPtr root);

    WinampControlServer& server() { return *server_; }
    // Null before Init, or when the system refused the window.
    bridge::HostWindow* window() { return window_.get(); }

    // The settings record, for the panel and the update check: a copy, and a change made
    // under the settings lock.
    PluginSettings settings() override;
    void updateSettings(const std::function<void(PluginSettings&)>& change) override;
    // Whether an app is logged in (the server's session lock), for the update check.
    bool clientLoggedIn() override;
    bridge::MessageBoxes& messageBoxes() override { return *messageBoxes_; }

    // The panel's "Check now" (host's thread; blocks it for the request).
    void CheckForUpdateNow();
    // The panel's "Apply" (host's thread): saves what the panel shows, tells a logged-in app
    // that the settings changed and ends its session, stops the server and DNS-SD, and starts
    // them again with the new settings. A port that cannot be opened is reported in a box and
    // leaves the "Server enabled" box cleared; the settings are saved all the same.
    void ApplySettings();

    // The hidden window's procedure (host's thread): the private messages, the player's
    // status message, WM_ENDSESSION, WM_POWERBROADCAST and WM_TIMER. Nothing means "let the
    // system's default processing run".
    std::optional<intptr_t> windowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam);

    // The player's events (host's thread).
    void onHostEvent(int32_t eventId, std::span<const host::HostValue> args) override;

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
                       int16_t unused) override;
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
    void createPlaylist(const std::u16string& name, uint32_t unused) override;
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
    // Sends to the hidden window; 0 at once without a window or while tearing down.
    intptr_t send(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    template <class T> static intptr_t pointer(T* p) { return reinterpret_cast<intptr_t>(p); }

    // --- window procedure (CtrlWindow.cpp) ---
    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void onStatusMessage(uintptr_t wParam);
    void disconnectSession(uint8_t reason);
    void onResume();
    // Runs `work` and turns a failed player call (or any exception) into "nothing happened".
    bool guarded(const char* what, const std::function<void()>& work);

    // --- reading the player (CtrlPlayback.cpp), host's thread ---
    host::HostObjectPtr playback();
    host::HostObjectPtr playingNow();
    host::HostObjectPtr volumeObject();
    host::HostObjectPtr playlistById(int32_t id); // null when the player knows none
    bool readTrackInfo(TrackInfo& track, int32_t index, bool wantDisplayText);
    void fillTrackInfo(TrackInfo& track, host::HostObject* file, bool wantDisplayText);
    bool readPlayerStatus(PlayerStatus& status);
    int32_t playingNowPosition();
    void pushStatus();
    void pushTrackInfo();

    // --- handlers: playback (CtrlPlayback.cpp) ---
    void onPlaybackCommand(int32_t command);
    void onSetVolume(uint16_t level);
    void onSetShuffle(bool on);
    void onSetPosition(int32_t milliseconds);
    void onSetRating(uint8_t rating);
    void onToggleRepeat();

    // --- handlers: lists and playlists (CtrlLists.cpp) ---
    intptr_t onListTracks(int32_t playlistId, TrackList& list);
    intptr_t onListPlaylists(std::vector<PlaylistEntry>& out);
    void onClearList(uint32_t playlistId);
    void onRemoveTrack(int32_t playlistId, int32_t index);
    intptr_t onPlayPlaylist(int32_t playlistId);
    void onMoveTrack(int32_t playlistId, uint32_t from, uint32_t to);
    void onDeletePlaylist(int32_t playlistId);
    void onCreatePlaylist(const std::u16string& name);
    intptr_t onCurrentText(TrackKey& key, std::string& text);

    // --- handlers: search and library (CtrlSearch.cpp) ---
    intptr_t onSearch(const bridge::SearchRecord& record, LibraryTrackList*& list);
    void onAddSearchResults(const bridge::AddSearchResultsRecord& record);
    void onFillFromRule(uint8_t kind, uint8_t rating, bool orHigher);
    void onAddLibraryItems(const bridge::LibrarySelectionRecord& record);
    void releaseSearchResult();

    // --- handlers: covers (CtrlCovers.cpp) ---
    intptr_t onCoverKey(int32_t index, TrackKey& key);
    intptr_t onCoverImage(int32_t index, std::vector<uint8_t>& image);
    intptr_t onAlbumCover(const bridge::AlbumCoverRecord& record);
    host::HostObjectPtr playingNowFile(int32_t index); // -1: the current one; null when none

    // --- equalizer (CtrlEqualizer.cpp) ---
    intptr_t onEqualizerRead(EqualizerSetting& setting);
    intptr_t onEqualizerIsOn();
    void onEqualizerEnable(bool on);
    void onEqualizerWrite(const EqualizerSetting& setting);
    void loadEqualizerPresets();

    // --- sleep timer (CtrlSleepTimer.cpp) ---
    void onSleepTimerTick();
    void checkEndOfList(uint32_t playState);
    void fireSleepTimer();
    bool listModeArmed() const;

    // --- events (CtrlEvents.cpp) ---
    void onTrackChange();
    void onEqualizerChange();
    void onStateOrVolumeChange();

    // --- lifecycle (CtrlLifecycle.cpp) ---
    bool startServer(const PluginSettings& settings);

    // Owned seams; the clock is the environment's or the system's.
    platform::Clock* clock_;
    bridge::WindowFactory windowFactory_;
    std::unique_ptr<bridge::ControlPanel> panel_;
    std::unique_ptr<bridge::MessageBoxes> messageBoxes_;
    std::unique_ptr<bridge::DnsSdService> dnsSd_;
    std::unique_ptr<bridge::UpdateCheckService> updateCheck_;
    std::unique_ptr<bridge::PowerActionService> powerActions_;
    std::function<void(PluginSettings&)> settingsForThisRun_;
    std::function<bool()> socketStartup_;
    std::function<void()> socketCleanup_;

    std::unique_ptr<WinampControlServer> server_;

    // Set by Init on the host's thread before the server's threads start; released by the
    // destructor after they have ended.
    host::HostObjectPtr root_;
    std::unique_ptr<bridge::HostWindow> window_;
    bool initialised_ = false;
    bool sinkAdvised_ = false;
    bool socketsStarted_ = false; // Init's start of the sockets library succeeded
    uint32_t sinkCookie_ = 0;
    std::atomic<bool> tearingDown_{false};

    platform::CriticalSection settingsLock_;
    PluginSettings settings_; // under settingsLock_

    // The client session's pushes: set by a successful login, cleared by the disconnect.
    std::atomic<bool> pushing_{false};

    platform::CriticalSection presetsLock_;
    std::vector<EqualizerPreset> presets_; // under presetsLock_, sorted by name bytes

    // The latest search's files and its id: host's thread only.
    host::HostObjectPtr searchResult_;
    uint32_t searchId_ = 0;

    // The sleep timer: written by setSleepTimer (message processor) and the host's thread.
    std::atomic<bool> sleepArmed_{false};
    std::atomic<uint32_t> sleepMode_{player::SLEEP_MODE_AT_LIST_END};
    std::atomic<uint32_t> sleepAction_{player::SLEEP_ACTION_STOP};
    std::atomic<uint64_t> sleepDeadline_{0}; // file time

    // The random-track command's generator: host's thread only.
    bridge::CrtRandom random_;
};
