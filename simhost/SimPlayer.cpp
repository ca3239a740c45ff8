#include "simhost/SimPlayer.h"

#include "medialib/TextFold.h"
#include "simhost/Covers.h"
#include "simhost/Presets.h"

#include <map>
#include <vector>

namespace simhost {

using medialib::autoAlbumArtist;
using medialib::folded;
using medialib::LibraryData;
using medialib::Track;

namespace {

// Gives every track with an album the id of its album: one per album title and album artist
// (the artist when no album artist is set), in order of first appearance.
void assignAlbumIds(std::vector<Track>& tracks) {
    std::map<std::u16string, int32_t> ids;
    for (auto& t : tracks) {
        if (t.album.empty()) {
            t.albumId = -1;
            continue;
        }
        std::u16string key = folded(t.album) + u'\x1f' + folded(autoAlbumArtist(t));
        t.albumId = ids.try_emplace(key, int32_t(ids.size())).first->second;
    }
}

} // namespace

std::filesystem::path defaultCoverCache() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    return (ec ? std::filesystem::path(".") : base) / "tandravole-covers";
}

namespace {

std::shared_ptr<PlayerCore> makeCore(medialib::LibraryData library, const SimOptions& options) {
    platform::Clock* clock = options.clock ? options.clock : &platform::systemClock();
    assignAlbumIds(library.tracks);
    return std::make_shared<PlayerCore>(std::move(library), clock, options.openDelayMs);
}

} // namespace

SimPlayer::SimPlayer(LibraryData library, SimOptions options)
    : Player(makeCore(std::move(library), options)),
      core_(std::static_pointer_cast<PlayerCore>(backend_)) {
    if (!options.coverCache.empty()) {
        std::string problem;
        core_->covers = generateCovers(core_->tracks, options.coverCache, problem);
        startupProblem_ = problem;
    }
    if (options.writeEqualizerPresets) {
        std::string problem = installEqualizerPresets(kSimMajorVersion);
        if (!problem.empty())
            startupProblem_ += (startupProblem_.empty() ? "" : "; ") + problem;
    }
}

SimPlayer::~SimPlayer() = default;

std::optional<uint64_t> SimPlayer::msUntilNextChange() {
    platform::ScopedLock lock(core_->lock);
    if (core_->eventsPending())
        return 0;
    uint64_t ms = core_->msUntilNextChange();
    if (ms == UINT64_MAX)
        return std::nullopt;
    return ms;
}

std::string SimPlayer::describe() {
    platform::ScopedLock lock(core_->lock);
    return std::to_string(core_->tracks.size()) + " tracks, " +
           std::to_string(core_->playlists.size()) + " playlists";
}

void SimPlayer::setRepeatMode(RepeatMode mode) {
    platform::ScopedLock lock(core_->lock);
    core_->setRepeat(mode);
}

void SimPlayer::setMuted(bool muted) {
    platform::ScopedLock lock(core_->lock);
    core_->setMuted(muted);
}

size_t SimPlayer::trackCount() {
    platform::ScopedLock lock(core_->lock);
    return core_->tracks.size();
}

} // namespace simhost
