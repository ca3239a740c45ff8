#include "tools/testkit/RecordingDelegate.h"

#include "common/Utf.h"
#include "platform/Clock.h"

#include <algorithm>
#include <type_traits>

namespace testkit {

namespace {

constexpr const char* kNames[kOpCount] = {
    "getTrackInfo",
    "getPlayerStatus",
    "playbackCommand",
    "toggleRepeat",
    "setShuffle",
    "setVolume",
    "setPosition",
    "getNowPlayingTracks",
    "getPlaylistTracks",
    "getPlaylists",
    "getTrackCover",
    "onClientConnected",
    "onClientDisconnected",
    "onClientLogin",
    "setCurrentTrackRating",
    "getCurrentTrackIndex",
    "setCurrentTrackIndex",
    "removeTrack",
    "deletePlaylist",
    "playPlaylist",
    "reservedPairCommand",
    "moveTrack",
    "queryLibraryList",
    "addLibraryItemsToPlaylist",
    "clearPlaylist",
    "listLibraryCategory",
    "searchLibrary",
    "addSearchResultsToPlaylist",
    "fillNowPlayingFromFilter",
    "reservedCommand",
    "createPlaylist",
    "getCurrentTrackText",
    "getAlbumCover",
    "startPowerAction",
    "getEqualizer",
    "getEqualizerPresets",
    "setEqualizer",
    "setEqualizerEnabled",
    "applyEqualizerPreset",
    "setSleepTimer",
    "getSleepTimer",
};

std::string text(bool v) {
    return v ? "1" : "0";
}
template <class T>
requires std::is_integral_v<T> std::string text(T v) {
    return std::to_string(+v);
}
std::string text(const std::string& s) {
    return s;
}
std::string text(const std::u16string& s) {
    return utf16ToUtf8(s);
}

std::string join() {
    return {};
}
template <class First, class... Rest> std::string join(const First& first, const Rest&... rest) {
    std::string out = text(first);
    ((out += ',', out += text(rest)), ...);
    return out;
}

// Polls every millisecond; the bound only limits how long a failing test waits.
template <class Condition> bool waitUntil(Condition condition, uint32_t ms) {
    const uint32_t start = platform::tickCount();
    while (!condition()) {
        if (platform::tickCount() - start >= ms)
            return condition();
        platform::sleepMs(1);
    }
    return true;
}

} // namespace

const char* opName(Op op) {
    return size_t(op) < kOpCount ? kNames[size_t(op)] : "?";
}

RecordingDelegate::RecordingDelegate(Recording recording)
    : recording_(recording == Recording::On) {}

std::vector<std::string> RecordingDelegate::calls() {
    std::lock_guard<std::mutex> hold(logMutex_);
    return calls_;
}

bool RecordingDelegate::called(const std::string& call) {
    std::lock_guard<std::mutex> hold(logMutex_);
    return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
}

bool RecordingDelegate::waitFor(const std::string& call, uint32_t ms) {
    return waitUntil([&] { return called(call); }, ms);
}

void RecordingDelegate::clearCalls() {
    std::lock_guard<std::mutex> hold(logMutex_);
    calls_.clear();
}

bool RecordingDelegate::waitForCount(Op op, uint64_t n, uint32_t ms) {
    return waitUntil([&] { return count(op) >= n; }, ms);
}

void RecordingDelegate::onCall(Op op, std::function<void()> hook) {
    std::lock_guard<std::mutex> hold(hooksMutex_);
    hooks_[size_t(op)] = std::move(hook);
    anyHook_ = true;
}

void RecordingDelegate::clearHooks() {
    std::lock_guard<std::mutex> hold(hooksMutex_);
    hooks_.fill(nullptr);
    anyHook_ = false;
}

void RecordingDelegate::log(Op op, const std::string& args) {
    std::string call = opName(op);
    call += '(';
    call += args;
    call += ')';
    std::lock_guard<std::mutex> hold(logMutex_);
    calls_.push_back(std::move(call));
}

void RecordingDelegate::runHook(Op op) {
    if (!anyHook_.load(std::memory_order_acquire))
        return;
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> hold(hooksMutex_);
        hook = hooks_[size_t(op)];
    }
    if (hook)
        hook(); // without the lock: a hook may block or throw
}

template <class Args> void RecordingDelegate::enter(Op op, Args args) {
    counts_[size_t(op)].fetch_add(1, std::memory_order_relaxed);
    if (recording_)
        log(op, args());
    runHook(op);
}

// --- playback and lists ----------------------------------------------------------------------

bool RecordingDelegate::getTrackInfo(TrackInfo& track, int32_t index) {
    enter(Op::GetTrackInfo, [&] { return join(index); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    auto found = answers_.tracks.find(index);
    if (found == answers_.tracks.end())
        return false;
    track = found->second;
    return true;
}

bool RecordingDelegate::getPlayerStatus(PlayerStatus& status) {
    enter(Op::GetPlayerStatus, [] { return join(); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.status)
        return false;
    status = *answers_.status;
    return true;
}

void RecordingDelegate::playbackCommand(int32_t command) {
    enter(Op::PlaybackCommand, [&] { return join(command); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.followCommands || !answers_.status)
        return;
    uint32_t& state = answers_.status->playState;
    if (command == player::PLAYBACK_PLAY_PAUSE)
        state = state == 0 ? 1 : 0;
    else if (command == player::PLAYBACK_PLAY)
        state = 0;
    else if (command == player::PLAYBACK_STOP)
        state = 2;
}

void RecordingDelegate::toggleRepeat(int32_t unused) {
    enter(Op::ToggleRepeat, [&] { return join(unused); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (answers_.followCommands && answers_.status)
        answers_.status->repeatMode = answers_.status->repeatMode == 0 ? 2 : 0;
}

void RecordingDelegate::setShuffle(bool on) {
    enter(Op::SetShuffle, [&] { return join(on); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (answers_.followCommands && answers_.status)
        answers_.status->shuffle = on ? 1 : 0;
}

void RecordingDelegate::setVolume(uint16_t level) {
    enter(Op::SetVolume, [&] { return join(level); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (answers_.followCommands && answers_.status)
        answers_.status->volume = level;
}

void RecordingDelegate::setPosition(int32_t milliseconds) {
    enter(Op::SetPosition, [&] { return join(milliseconds); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (answers_.followCommands && answers_.status)
        answers_.status->positionMs = uint32_t(milliseconds / 1000 * 1000);
}

bool RecordingDelegate::getNowPlayingTracks(TrackList& list) {
    enter(Op::GetNowPlayingTracks, [&] { return join(list.wantDisplayText); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.nowPlaying)
        return false;
    list.entries.insert(list.entries.end(), answers_.nowPlaying->begin(),
                        answers_.nowPlaying->end());
    return true;
}

bool RecordingDelegate::getPlaylistTracks(TrackList& list, int32_t playlistId) {
    enter(Op::GetPlaylistTracks, [&] { return join(playlistId, list.wantDisplayText); });
    list.playlistId = playlistId;
    std::lock_guard<std::mutex> hold(answersMutex_);
    auto found = answers_.playlistTracks.find(playlistId);
    if (found == answers_.playlistTracks.end())
        return false;
    list.entries.insert(list.entries.end(), found->second.begin(), found->second.end());
    return true;
}

bool RecordingDelegate::getPlaylists(std::vector<PlaylistEntry>& playlists, int32_t unused) {
    enter(Op::GetPlaylists, [&] { return join(unused); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.playlists)
        return false;
    playlists = *answers_.playlists;
    return true;
}

bool RecordingDelegate::getTrackCover(std::vector<uint8_t>& image, int32_t index, TrackKey& key,
                                      int16_t size) {
    enter(Op::GetTrackCover, [&] { return join(index, size); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    key = answers_.trackCoverKey;
    auto found = answers_.trackCovers.find(index);
    if (found == answers_.trackCovers.end())
        return false;
    image = found->second;
    return true;
}

// --- session events --------------------------------------------------------------------------

void RecordingDelegate::onClientConnected() {
    enter(Op::OnClientConnected, [] { return join(); });
}

void RecordingDelegate::onClientDisconnected() {
    enter(Op::OnClientDisconnected, [] { return join(); });
}

void RecordingDelegate::onClientLogin(bool authenticated) {
    enter(Op::OnClientLogin, [&] { return join(authenticated); });
}

// --- edits -----------------------------------------------------------------------------------

void RecordingDelegate::setCurrentTrackRating(uint8_t rating) {
    enter(Op::SetCurrentTrackRating, [&] { return join(rating); });
}

int32_t RecordingDelegate::getCurrentTrackIndex() {
    enter(Op::GetCurrentTrackIndex, [] { return join(); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    return answers_.currentIndex;
}

void RecordingDelegate::setCurrentTrackIndex(int32_t index) {
    enter(Op::SetCurrentTrackIndex, [&] { return join(index); });
}

void RecordingDelegate::removeTrack(int32_t playlistId, int32_t index) {
    enter(Op::RemoveTrack, [&] { return join(playlistId, index); });
}

void RecordingDelegate::deletePlaylist(int32_t playlistId) {
    enter(Op::DeletePlaylist, [&] { return join(playlistId); });
}

bool RecordingDelegate::playPlaylist(int32_t playlistId) {
    enter(Op::PlayPlaylist, [&] { return join(playlistId); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    return answers_.playPlaylistResult;
}

void RecordingDelegate::reservedPairCommand(uint16_t low, uint16_t high) {
    enter(Op::ReservedPairCommand, [&] { return join(low, high); });
}

void RecordingDelegate::moveTrack(int32_t playlistId, uint32_t from, uint32_t to) {
    enter(Op::MoveTrack, [&] { return join(playlistId, from, to); });
}

// --- library, search, covers -----------------------------------------------------------------

bool RecordingDelegate::queryLibraryList(uint32_t requestId, const std::u16string& genre,
                                         const std::u16string& artist, const std::u16string& album,
                                         const std::u16string& composer,
                                         WinampMediaLibraryListBase*& list) {
    enter(Op::QueryLibraryList, [&] { return join(requestId, genre, artist, album, composer); });
    ListFactory make;
    {
        std::lock_guard<std::mutex> hold(answersMutex_);
        make = answers_.libraryQuery;
    }
    if (!make)
        return false;
    delete list;
    list = make();
    return true;
}

void RecordingDelegate::addLibraryItemsToPlaylist(int32_t playlistId, const std::u16string& genre,
                                                  const std::u16string& artist,
                                                  const std::u16string& album,
                                                  const std::u16string& composer, uint32_t item,
                                                  uint32_t position) {
    enter(Op::AddLibraryItemsToPlaylist,
          [&] { return join(playlistId, genre, artist, album, composer, item, position); });
}

void RecordingDelegate::clearPlaylist(uint32_t playlistId) {
    enter(Op::ClearPlaylist, [&] { return join(playlistId); });
}

bool RecordingDelegate::listLibraryCategory(uint32_t kind, WinampMediaLibraryListBase*& list) {
    enter(Op::ListLibraryCategory, [&] { return join(kind); });
    ListFactory make;
    {
        std::lock_guard<std::mutex> hold(answersMutex_);
        auto found = answers_.categories.find(kind);
        if (found != answers_.categories.end())
            make = found->second;
    }
    if (!make)
        return false;
    delete list;
    list = make();
    return true;
}

bool RecordingDelegate::searchLibrary(uint32_t searchId, const std::u16string& text,
                                      WinampMediaLibraryListTracks<std::string>*& list) {
    enter(Op::SearchLibrary, [&] { return join(searchId, text); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    auto found = answers_.searches.find(utf16ToUtf8(text));
    if (found == answers_.searches.end())
        return false;
    delete list;
    list = new LibraryTrackList(found->second);
    return true;
}

void RecordingDelegate::addSearchResultsToPlaylist(int32_t playlistId, uint32_t searchId,
                                                   int32_t item, int32_t position) {
    enter(Op::AddSearchResultsToPlaylist,
          [&] { return join(playlistId, searchId, item, position); });
}

void RecordingDelegate::fillNowPlayingFromFilter(uint8_t kind, uint8_t rating, bool orHigher) {
    enter(Op::FillNowPlayingFromFilter, [&] { return join(kind, rating, orHigher); });
}

void RecordingDelegate::reservedCommand() {
    enter(Op::ReservedCommand, [] { return join(); });
}

void RecordingDelegate::createPlaylist(const std::u16string& name, uint32_t extra) {
    enter(Op::CreatePlaylist, [&] { return join(name, extra); });
}

bool RecordingDelegate::getCurrentTrackText(std::string& text, TrackKey& key) {
    enter(Op::GetCurrentTrackText, [] { return join(); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.trackText)
        return false;
    text = answers_.trackText->text;
    key = answers_.trackText->key;
    return true;
}

bool RecordingDelegate::getAlbumCover(std::vector<uint8_t>* image, std::string* album,
                                      uint16_t requestedSize, std::string* artist) {
    enter(Op::GetAlbumCover, [&] { return join(*album, *artist, requestedSize); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    auto found = answers_.albumCovers.find(*album);
    if (found == answers_.albumCovers.end())
        return false;
    *image = found->second;
    if (artist->empty())
        *artist = answers_.coverArtist;
    return true;
}

// --- power, equalizer, sleep timer -----------------------------------------------------------

bool RecordingDelegate::startPowerAction(uint64_t action) {
    enter(Op::StartPowerAction, [&] { return join(action); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    return answers_.powerActionResult;
}

bool RecordingDelegate::getEqualizer(EqualizerSetting& setting, bool& enabled, uint16_t& range,
                                     uint8_t& scale, uint8_t& available) {
    enter(Op::GetEqualizer, [] { return join(); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.equalizer)
        return false;
    setting = answers_.equalizer->setting;
    enabled = answers_.equalizer->enabled;
    range = answers_.equalizer->range;
    scale = answers_.equalizer->scale;
    available = answers_.equalizer->available;
    return true;
}

bool RecordingDelegate::getEqualizerPresets(std::vector<EqualizerPreset>& presets) {
    enter(Op::GetEqualizerPresets, [] { return join(); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.presets)
        return false;
    presets = *answers_.presets;
    return true;
}

void RecordingDelegate::setEqualizer(const EqualizerSetting& setting) {
    enter(Op::SetEqualizer, [&] { return join(setting.bands.size(), setting.preamp); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (answers_.followCommands && answers_.equalizer) {
        answers_.equalizer->setting.bands = setting.bands;
        answers_.equalizer->setting.preamp = setting.preamp;
    }
}

void RecordingDelegate::setEqualizerEnabled(bool on) {
    enter(Op::SetEqualizerEnabled, [&] { return join(on); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (answers_.followCommands && answers_.equalizer)
        answers_.equalizer->enabled = on;
}

void RecordingDelegate::applyEqualizerPreset(uint32_t presetIndex) {
    enter(Op::ApplyEqualizerPreset, [&] { return join(presetIndex); });
}

void RecordingDelegate::setSleepTimer(bool enabled, uint32_t mode, uint32_t action,
                                      uint64_t seconds) {
    enter(Op::SetSleepTimer, [&] { return join(enabled, mode, action, seconds); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (answers_.followCommands)
        answers_.sleepTimer = Answers::SleepTimer{enabled, mode, action, uint32_t(seconds)};
}

void RecordingDelegate::getSleepTimer(bool& enabled, uint32_t& mode, uint32_t& action,
                                      uint32_t& secondsLeft) {
    enter(Op::GetSleepTimer, [] { return join(); });
    std::lock_guard<std::mutex> hold(answersMutex_);
    if (!answers_.sleepTimer)
        return;
    enabled = answers_.sleepTimer->enabled;
    mode = answers_.sleepTimer->mode;
    action = answers_.sleepTimer->action;
    secondsLeft = answers_.sleepTimer->secondsLeft;
}

} // namespace testkit
