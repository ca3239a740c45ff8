// The playing-now list and stored playlists: listing, clearing, removing, moving, playing,
// deleting and creating, and the current file's text. Host's thread.
#include "bridge/TandravoleCtrl.h"

#include "bridge/TrackKey.h"
#include "common/Utf.h"
#include "host/PlayerCalls.h"

#include <algorithm>

using namespace bridge;
using host::FileOp;
using host::FilesOp;
using host::HostObjectPtr;
using host::HostValue;
using host::PlayingNowOp;
using host::PlaylistOp;
using host::PlaylistsOp;
using host::RootOp;

namespace {

// A playlist's "Type" property: a decimal number after optional white space, 0 when the text
// does not begin with one (as wcstol reads it). 0 is an ordinary playlist, 2 a group.
int32_t playlistType(const std::u16string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    // Out-of-range numbers saturate, as wcstol's do.
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - u'0'), INT64_C(1) << 31);
    if (negative)
        return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, INT32_MAX));
}

constexpr int32_t kOrdinaryPlaylist = 0;
constexpr int32_t kPlaylistGroup = 2;

} // namespace

intptr_t CTandravoleCtrl::onListTracks(int32_t playlistId, TrackList& list) {
    list.playlistId = playlistId;
    bool wantText = list.wantDisplayText != 0;
    if (playlistId == player::kNowPlaying) {
        HostObjectPtr now = playingNow();
        int32_t count = intOf(now.get(), PlayingNowOp::Count);
        for (int32_t i = 0; i < count; ++i) {
            TrackInfo track;
            track.index = i;
            fillTrackInfo(track, objectOf(now.get(), PlayingNowOp::Item, {i}).get(), wantText);
            list.entries.push_back(std::move(track));
        }
        return 1;
    }
    HostObjectPtr playlist = playlistById(playlistId);
    if (!playlist)
        return 1;
    HostObjectPtr files = objectOf(playlist.get(), PlaylistOp::Files);
    int32_t count = intOf(files.get(), FilesOp::Count);
    for (int32_t i = 0; i < count; ++i) {
        TrackInfo track;
        track.index = i;
        fillTrackInfo(track, objectOf(files.get(), FilesOp::Item, {i}).get(), wantText);
        list.entries.push_back(std::move(track));
    }
    return 1;
}

intptr_t CTandravoleCtrl::onListPlaylists(std::vector<PlaylistEntry>& out) {
    HostObjectPtr playlists = objectOf(root_.get(), RootOp::Playlists);
    int32_t count = intOf(playlists.get(), PlaylistsOp::Count);
    for (int32_t i = 0; i < count; ++i) {
        HostObjectPtr playlist = objectOf(playlists.get(), PlaylistsOp::Item, {i});
        int32_t type = playlistType(
            needText(host::callMethod(playlist.get(), PlaylistOp::Property, {u"Type"})));
        if (type != kOrdinaryPlaylist && type != kPlaylistGroup)
            continue;
        PlaylistEntry entry;
        entry.name = utf16ToUtf8(textProperty(playlist.get(), PlaylistOp::Name));
        entry.id = intOf(playlist.get(), PlaylistOp::Id);
        HostObjectPtr files = objectOf(playlist.get(), PlaylistOp::Files);
        entry.fileCount = static_cast<uint32_t>(intOf(files.get(), FilesOp::Count));
        out.push_back(std::move(entry));
    }
    return 1;
}

void CTandravoleCtrl::onClearList(uint32_t playlistId) {
    if (playlistId == player::kNowPlayingU) {
        if (host::callMethod(playingNow().get(), PlayingNowOp::Clear).ok()) {
            server_->sendListChanged(player::kNowPlayingU);
            server_->sendPlaylistsChanged();
        }
        return;
    }
    HostObjectPtr playlist = playlistById(static_cast<int32_t>(playlistId));
    if (!playlist)
        return;
    HostObjectPtr empty = objectOf(root_.get(), RootOp::NewFiles);
    if (host::callMethod(playlist.get(), PlaylistOp::SetFiles, {empty}).isTrue()) {
        server_->sendListChanged(playlistId);
        server_->sendPlaylistsChanged();
    }
}

void CTandravoleCtrl::onRemoveTrack(int32_t playlistId, int32_t index) {
    if (playlistId == player::kNowPlaying) {
        run(playingNow().get(), PlayingNowOp::Remove, {index});
        return;
    }
    HostObjectPtr playlist = playlistById(playlistId);
    if (!playlist)
        return;
    HostObjectPtr files = objectOf(playlist.get(), PlaylistOp::Files);
    if (!host::callMethod(files.get(), FilesOp::Remove, {index}).isTrue())
        return;
    std::optional<int32_t> stored =
        host::callMethod(playlist.get(), PlaylistOp::SetFiles, {files}).asInt();
    if (stored.value_or(0) != 0)
        server_->sendPlaylistsChanged();
}

intptr_t CTandravoleCtrl::onPlayPlaylist(int32_t playlistId) {
    HostObjectPtr playlist = playlistById(playlistId);
    if (!playlist)
        return 0;
    HostObjectPtr files = objectOf(playlist.get(), PlaylistOp::Files);
    if (intOf(files.get(), FilesOp::Count) < 1)
        return 0;
    if (!host::callMethod(files.get(), FilesOp::Play, {-1}).ok())
        return 0;
    server_->sendListChanged(player::kNowPlayingU);
    return 1;
}

void CTandravoleCtrl::onMoveTrack(int32_t playlistId, uint32_t from, uint32_t to) {
    const int32_t f = static_cast<int32_t>(from);
    if (playlistId == player::kNowPlaying) {
        HostObjectPtr now = playingNow();
        uint32_t count = static_cast<uint32_t>(intOf(now.get(), PlayingNowOp::Count));
        if (from >= count || to >= count || from == to)
            return;
        int32_t key = intOf(objectOf(now.get(), PlayingNowOp::Item, {f}).get(), FileOp::Key);
        if (from < to) {
            run(now.get(), PlayingNowOp::Insert, {key, static_cast<int32_t>(to + 1)});
            run(now.get(), PlayingNowOp::Remove, {f});
        } else {
            run(now.get(), PlayingNowOp::Remove, {f});
            run(now.get(), PlayingNowOp::Insert, {key, static_cast<int32_t>(to)});
        }
        return;
    }
    HostObjectPtr playlist = playlistById(playlistId);
    if (!playlist)
        return;
    HostObjectPtr files = objectOf(playlist.get(), PlaylistOp::Files);
    uint32_t count = static_cast<uint32_t>(intOf(files.get(), FilesOp::Count));
    if (from >= count || to >= count || from == to)
        return;
    // The moved file travels through a collection of its own.
    HostObjectPtr moved = objectOf(root_.get(), RootOp::NewFiles);
    run(moved.get(), FilesOp::InsertCopy, {files, f, -1});
    if (from < to) {
        run(files.get(), FilesOp::InsertCopy, {moved, 0, static_cast<int32_t>(to + 1)});
        run(files.get(), FilesOp::Remove, {f});
    } else {
        run(files.get(), FilesOp::Remove, {f});
        run(files.get(), FilesOp::InsertCopy, {moved, 0, static_cast<int32_t>(to)});
    }
    run(playlist.get(), PlaylistOp::SetFiles, {files});
}

void CTandravoleCtrl::onDeletePlaylist(int32_t playlistId) {
    HostObjectPtr playlist = playlistById(playlistId);
    if (!playlist)
        return;
    std::u16string name = textProperty(playlist.get(), PlaylistOp::Name);
    std::u16string path = textProperty(playlist.get(), PlaylistOp::Path);
    HostObjectPtr playlists = objectOf(root_.get(), RootOp::Playlists);
    if (host::callMethod(playlists.get(), PlaylistsOp::Delete, {name, path}).isTrue())
        server_->sendPlaylistsChanged();
}

void CTandravoleCtrl::onCreatePlaylist(const std::u16string& name) {
    HostObjectPtr playlists = objectOf(root_.get(), RootOp::Playlists);
    if (host::callMethod(playlists.get(), PlaylistsOp::Create, {name, u""}).asObject())
        server_->sendPlaylistsChanged();
}

intptr_t CTandravoleCtrl::onCurrentText(TrackKey& key, std::string& text) {
    HostObjectPtr file = playingNowFile(player::kCurrent);
    if (!file)
        return 0;
    std::u16string value = textProperty(file.get(), FileOp::Text);
    if (value.empty())
        return 0;
    key = trackKeyForPath(textProperty(file.get(), FileOp::Path));
    text = utf16ToUtf8(value);
    return 1;
}
