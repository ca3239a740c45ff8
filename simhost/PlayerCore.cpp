#include "simhost/PlayerCore.h"

#include "medialib/TextFold.h"

#include <algorithm>
#include <limits>

namespace simhost {

using medialib::LibraryData;
using medialib::PlaylistData;
using medialib::PlaylistType;
using medialib::Track;

using host::PlaybackState;

namespace {
// Ends of tracks handled in one catch-up; a clock jumped far ahead with repeat on would
// otherwise loop for a long time.
constexpr int kMaxTrackEndsPerCatchUp = 100000;
// "Previous" restarts the current track once this much of it has played.
constexpr uint64_t kRestartThresholdMs = 5000;
} // namespace

PlayerCore::PlayerCore(LibraryData library, platform::Clock* clock, uint32_t openDelayMs)
    : tracks(std::move(library.tracks)), playlists(std::move(library.playlists)), clock_(clock),
      openDelayMs_(openDelayMs) {
    byKey.reserve(tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i)
        byKey.emplace(tracks[i].key, i);
    for (auto& p : playlists)
        nextPlaylistId = std::max(nextPlaylistId, p.id + 1);
    for (int32_t key : library.playingNow)
        if (byKey.count(key))
            nowPlaying.push_back(key);
    if (!nowPlaying.empty())
        position = 0;
}

Track* PlayerCore::track(int32_t key) {
    auto it = byKey.find(key);
    return it == byKey.end() ? nullptr : &tracks[it->second];
}

PlaylistData* PlayerCore::playlist(int32_t id) {
    for (auto& p : playlists)
        if (p.id == id)
            return &p;
    return nullptr;
}

std::optional<std::vector<int32_t>> PlayerCore::search(std::u16string_view expression,
                                                       const std::vector<int32_t>* candidates,
                                                       std::string& error) {
    return medialib::searchKeys(
        expression, tracks, candidates, [this](int32_t key) { return track(key); }, error);
}

std::vector<int32_t> PlayerCore::playlistFiles(const PlaylistData& p) {
    if (p.type == PlaylistType::Smart) {
        std::string ignored;
        return search(p.expression, nullptr, ignored).value_or(std::vector<int32_t>());
    }
    return p.keys;
}

// --- playback --------------------------------------------------------------------------------

uint64_t PlayerCore::elapsedMs(uint64_t now) const {
    if (state == PlaybackState::Playing && now > anchor_)
        return elapsedBase_ + (now - anchor_);
    return elapsedBase_;
}

uint64_t PlayerCore::currentDurationMs() {
    if (position < 0 || size_t(position) >= nowPlaying.size())
        return 0;
    const Track* t = track(nowPlaying[size_t(position)]);
    // A file without a known length still plays for a second, so playback always moves on.
    return t && t->durationSeconds > 0 ? uint64_t(t->durationSeconds) * 1000 : 1000;
}

void PlayerCore::setState(PlaybackState s) {
    if (s == state)
        return;
    state = s;
    notify(host::kNotifyPlayerStateChange);
    statusChanged();
}

void PlayerCore::startEntry(int32_t index, uint64_t atMs) {
    position = index;
    elapsedBase_ = 0;
    if (openDelayMs_ > 0) {
        anchor_ = atMs + openDelayMs_;
        setState(PlaybackState::Waiting);
    } else {
        anchor_ = atMs;
        setState(PlaybackState::Playing);
    }
    // A restart of the same entry (track repeat) is a track change for the listener too.
    notify(host::kNotifyTrackChange);
    statusChanged();
}

void PlayerCore::catchUp() {
    uint64_t now = clock_->monotonicMs();
    for (int guard = 0; guard < kMaxTrackEndsPerCatchUp; ++guard) {
        if (state == PlaybackState::Waiting) {
            if (now < anchor_)
                return;
            setState(PlaybackState::Playing);
        }
        if (state != PlaybackState::Playing)
            return;
        uint64_t duration = currentDurationMs();
        uint64_t elapsed = elapsedMs(now);
        if (elapsed < duration)
            return;
        uint64_t endedAt = anchor_ + (duration - elapsedBase_);
        if (Track* t = track(nowPlaying[size_t(position)]))
            ++t->playCount;
        int32_t count = int32_t(nowPlaying.size());
        int32_t nextIndex;
        if (repeat == RepeatMode::Track)
            nextIndex = position;
        else if (position + 1 < count)
            nextIndex = position + 1;
        else if (repeat == RepeatMode::List)
            nextIndex = 0;
        else {
            // The end of the list: stop on the last entry.
            elapsedBase_ = 0;
            setState(PlaybackState::Stopped);
            return;
        }
        startEntry(nextIndex, endedAt);
    }
}

int32_t PlayerCore::positionSeconds() {
    catchUp();
    if (position < 0)
        return 0;
    return int32_t(elapsedMs(clock_->monotonicMs()) / 1000);
}

int32_t PlayerCore::playbackFigure() {
    catchUp();
    if (state == PlaybackState::Stopped || position < 0)
        return 0;
    const Track* t = track(nowPlaying[size_t(position)]);
    return t ? t->bitrate : 0;
}

void PlayerCore::play() {
    catchUp();
    if (nowPlaying.empty())
        return;
    uint64_t now = clock_->monotonicMs();
    if (position < 0) {
        position = 0;
        notify(host::kNotifyTrackChange);
    }
    if (state == PlaybackState::Paused) {
        anchor_ = now;
        setState(PlaybackState::Playing);
    } else if (state == PlaybackState::Stopped) {
        startEntry(position, now);
    }
}

void PlayerCore::stop() {
    catchUp();
    elapsedBase_ = 0;
    setState(PlaybackState::Stopped);
}

void PlayerCore::playPause() {
    catchUp();
    uint64_t now = clock_->monotonicMs();
    if (state == PlaybackState::Playing) {
        elapsedBase_ = elapsedMs(now);
        setState(PlaybackState::Paused);
    } else if (state == PlaybackState::Waiting) {
        elapsedBase_ = 0;
        setState(PlaybackState::Paused);
    } else {
        play();
    }
}

void PlayerCore::next() {
    catchUp();
    if (position < 0)
        return;
    int32_t count = int32_t(nowPlaying.size());
    int32_t target = position + 1;
    if (target >= count) {
        if (repeat != RepeatMode::List) {
            elapsedBase_ = 0;
            setState(PlaybackState::Stopped);
            return;
        }
        target = 0;
    }
    selectEntry(target);
}

void PlayerCore::previous() {
    catchUp();
    if (position < 0)
        return;
    uint64_t now = clock_->monotonicMs();
    int32_t count = int32_t(nowPlaying.size());
    bool restart =
        elapsedMs(now) >= kRestartThresholdMs || (position == 0 && repeat != RepeatMode::List);
    if (restart) {
        elapsedBase_ = 0;
        anchor_ = now;
        statusChanged();
        return;
    }
    selectEntry(position == 0 ? count - 1 : position - 1);
}

void PlayerCore::seek(int32_t seconds) {
    catchUp();
    if (position < 0 || state == PlaybackState::Stopped)
        return;
    uint64_t duration = currentDurationMs();
    uint64_t target = seconds < 0 ? 0 : uint64_t(seconds) * 1000;
    elapsedBase_ = std::min(target, duration);
    anchor_ = clock_->monotonicMs();
    statusChanged();
    catchUp();
}

bool PlayerCore::selectEntry(int32_t index) {
    catchUp();
    if (index < -1 || index >= int32_t(nowPlaying.size()))
        return false;
    if (index == -1) {
        elapsedBase_ = 0;
        setState(PlaybackState::Stopped);
        if (position != -1) {
            position = -1;
            notify(host::kNotifyTrackChange);
        }
        return true;
    }
    if (state == PlaybackState::Playing || state == PlaybackState::Waiting) {
        startEntry(index, clock_->monotonicMs());
        return true;
    }
    bool changed = index != position;
    position = index;
    elapsedBase_ = 0;
    if (changed)
        notify(host::kNotifyTrackChange);
    statusChanged();
    return true;
}

bool PlayerCore::insertEntry(int32_t key, int32_t at) {
    catchUp();
    int32_t count = int32_t(nowPlaying.size());
    if (!track(key) || at < -1 || at > count)
        return false;
    if (at == -1)
        at = count;
    nowPlaying.insert(nowPlaying.begin() + at, key);
    if (position >= 0 && at <= position)
        ++position;
    return true;
}

bool PlayerCore::removeEntry(int32_t index) {
    catchUp();
    int32_t count = int32_t(nowPlaying.size());
    if (index < 0 || index >= count)
        return false;
    nowPlaying.erase(nowPlaying.begin() + index);
    --count;
    if (index < position) {
        --position;
    } else if (index == position) {
        bool active = state == PlaybackState::Playing || state == PlaybackState::Waiting;
        if (index < count && active) {
            startEntry(index, clock_->monotonicMs()); // the entry that moved up plays next
        } else {
            if (index >= count) {
                position = count - 1;
                elapsedBase_ = 0;
                setState(PlaybackState::Stopped);
            }
            elapsedBase_ = 0;
            notify(host::kNotifyTrackChange);
            statusChanged();
        }
    }
    return true;
}

void PlayerCore::clearNowPlaying() {
    catchUp();
    elapsedBase_ = 0;
    setState(PlaybackState::Stopped);
    nowPlaying.clear();
    preShuffle_.clear();
    if (position != -1) {
        position = -1;
        notify(host::kNotifyTrackChange);
    }
}

void PlayerCore::setShuffle(bool on) {
    catchUp();
    if (on == shuffle)
        return;
    shuffle = on;
    int32_t currentKey = position >= 0 ? nowPlaying[size_t(position)] : 0;
    if (on) {
        preShuffle_ = nowPlaying;
        for (size_t i = nowPlaying.size(); i > 1; --i) {
            rng_ = rng_ * 1664525u + 1013904223u;
            std::swap(nowPlaying[i - 1], nowPlaying[(rng_ >> 8) % i]);
        }
        if (position >= 0) {
            // The playing entry leads the shuffled list.
            auto it = std::find(nowPlaying.begin(), nowPlaying.end(), currentKey);
            std::iter_swap(nowPlaying.begin(), it);
            position = 0;
        }
    } else {
        std::vector<int32_t> a = preShuffle_, b = nowPlaying;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a == b && !a.empty()) { // unchanged while shuffled: the old order comes back
            nowPlaying = preShuffle_;
            if (position >= 0)
                position = int32_t(std::find(nowPlaying.begin(), nowPlaying.end(), currentKey) -
                                   nowPlaying.begin());
        }
        preShuffle_.clear();
    }
    statusChanged();
}

void PlayerCore::setRepeat(RepeatMode mode) {
    catchUp();
    if (mode == repeat)
        return;
    repeat = mode;
    statusChanged();
}

void PlayerCore::playFiles(const std::vector<int32_t>& keys, int32_t start) {
    catchUp();
    std::vector<int32_t> list;
    for (int32_t k : keys)
        if (track(k))
            list.push_back(k);
    elapsedBase_ = 0;
    nowPlaying = std::move(list);
    preShuffle_.clear();
    if (nowPlaying.empty()) {
        position = -1;
        setState(PlaybackState::Stopped);
        notify(host::kNotifyTrackChange);
        return;
    }
    if (start < 0 || start >= int32_t(nowPlaying.size()))
        start = 0;
    position = -1; // so that starting counts as a change
    startEntry(start, clock_->monotonicMs());
}

uint64_t PlayerCore::msUntilNextChange() {
    catchUp();
    uint64_t now = clock_->monotonicMs();
    if (state == PlaybackState::Waiting)
        return anchor_ > now ? anchor_ - now : 0;
    if (state == PlaybackState::Playing) {
        uint64_t d = currentDurationMs(), e = elapsedMs(now);
        return d > e ? d - e : 0;
    }
    return std::numeric_limits<uint64_t>::max();
}

// --- volume and equalizer --------------------------------------------------------------------

void PlayerCore::setVolume(int32_t v) {
    v = std::clamp(v, 0, 100);
    if (v == volume)
        return;
    volume = v;
    notify(host::kNotifyVolumeChanged);
    statusChanged();
}

void PlayerCore::setMuted(bool m) {
    if (m == muted)
        return;
    muted = m;
    notify(host::kNotifyVolumeChanged);
    statusChanged();
}

void PlayerCore::setEqualizerOn(bool on) {
    if (on == equalizerOn)
        return;
    equalizerOn = on;
    notify(host::kNotifyEqChanged);
}

void PlayerCore::setBand(int32_t band, int32_t value) {
    value = std::clamp(value, -100, 100);
    if (bands[size_t(band)] == value)
        return;
    bands[size_t(band)] = value;
    notify(host::kNotifyEqChanged);
}

// --- what the automation objects ask ----------------------------------------------------------

using automation::fault;
using host::HostFault;
using host::HostStatus;

HostStatus PlayerCore::runSearch(std::u16string_view expression,
                                 const std::vector<int32_t>* candidates, std::vector<int32_t>& keys,
                                 HostFault* f) {
    std::string error;
    auto found = search(expression, candidates, error);
    if (!found)
        return fault(f, HostStatus::Failed, error);
    keys = std::move(*found);
    return Ok;
}

HostStatus PlayerCore::rate(int32_t key, int32_t rating, HostFault* f) {
    Track* t = track(key);
    if (!t)
        return fault(f, HostStatus::Failed, "the file is no longer in the library");
    t->rating = rating;
    return Ok;
}

HostStatus PlayerCore::coverPath(const Track& t, int32_t sizeCode, std::u16string& path,
                                 HostFault*) {
    auto it = covers.find(t.albumId);
    path = it == covers.end() ? std::u16string()
                              : (sizeCode == 3 ? it->second.small : it->second.large);
    return Ok;
}

HostStatus PlayerCore::transport(host::PlaybackOp op, HostFault* f) {
    switch (op) {
    case host::PlaybackOp::Play:
        return play(), Ok;
    case host::PlaybackOp::Stop:
        return stop(), Ok;
    case host::PlaybackOp::Next:
        return next(), Ok;
    case host::PlaybackOp::Previous:
        return previous(), Ok;
    case host::PlaybackOp::PlayPause:
        return playPause(), Ok;
    default:
        return fault(f, HostStatus::UnknownOperation, "not a transport command");
    }
}

HostStatus PlayerCore::selectEntry(int32_t index, HostFault* f) {
    if (selectEntry(index))
        return Ok;
    return fault(f, HostStatus::BadIndex,
                 "index " + std::to_string(index) + " is outside 0.." +
                     std::to_string(int64_t(nowPlaying.size()) - 1));
}

HostStatus PlayerCore::storePlaylistKeys(int32_t id, const std::vector<int32_t>& keys, bool& stored,
                                         HostFault* f) {
    PlaylistData* p = playlist(id);
    if (!p)
        return fault(f, HostStatus::Failed, "the playlist was deleted");
    stored = p->type == PlaylistType::Ordinary; // groups and smart lists take no files
    if (stored)
        p->keys = keys;
    return Ok;
}

HostStatus PlayerCore::createPlaylist(const std::u16string& name, const std::u16string& path,
                                      int32_t& id, HostFault*) {
    PlaylistData p;
    p.id = id = nextPlaylistId++;
    p.name = name;
    p.path = path;
    playlists.push_back(std::move(p));
    return Ok;
}

HostStatus PlayerCore::deletePlaylist(const std::u16string& name, const std::u16string& path,
                                      bool& deleted, HostFault*) {
    deleted = false;
    for (auto it = playlists.begin(); it != playlists.end(); ++it)
        if (medialib::equalsFolded(it->name, name) && medialib::equalsFolded(it->path, path)) {
            playlists.erase(it);
            deleted = true;
            break;
        }
    return Ok;
}

} // namespace simhost
