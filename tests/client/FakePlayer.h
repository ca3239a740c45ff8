// A player for client tests: fixed answers the tests set, and a record of the calls that
// change something. Calls arrive on the engine's threads; everything is under one mutex.
#pragma once

#include "server/wire/WinampMediaLibraryList.h"
#include "tools/testkit/StubDelegate.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class FakePlayer : public StubDelegate {
public:
    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> hold(mutex);
        return calls_;
    }
    bool called(const std::string& call) {
        std::lock_guard<std::mutex> hold(mutex);
        for (const auto& c : calls_)
            if (c == call)
                return true;
        return false;
    }

    bool getTrackInfo(TrackInfo& track, int32_t index) override {
        std::lock_guard<std::mutex> hold(mutex);
        if (index != -1 || current.name.empty())
            return false;
        track = current;
        return true;
    }
    bool getPlayerStatus(PlayerStatus& out) override {
        std::lock_guard<std::mutex> hold(mutex);
        out = status;
        return true;
    }
    void playbackCommand(int32_t command) override {
        record("playbackCommand(" + std::to_string(command) + ")");
        std::lock_guard<std::mutex> hold(mutex);
        if (command == 0)
            status.playState = status.playState == 0 ? 1 : 0;
        if (command == 1)
            status.playState = 0;
        if (command == 2)
            status.playState = 2;
    }
    void toggleRepeat(int32_t) override {
        record("toggleRepeat");
        std::lock_guard<std::mutex> hold(mutex);
        status.repeatMode = status.repeatMode == 0 ? 2 : 0;
    }
    void setShuffle(bool on) override {
        record(std::string("setShuffle(") + (on ? "1" : "0") + ")");
        std::lock_guard<std::mutex> hold(mutex);
        status.shuffle = on ? 1 : 0;
    }
    void setVolume(uint16_t level) override {
        record("setVolume(" + std::to_string(level) + ")");
        std::lock_guard<std::mutex> hold(mutex);
        status.volume = level;
    }
    void setPosition(int32_t ms) override {
        record("setPosition(" + std::to_string(ms) + ")");
        std::lock_guard<std::mutex> hold(mutex);
        status.positionMs = uint32_t(ms / 1000 * 1000);
    }
    bool getNowPlayingTracks(TrackList& list) override {
        std::lock_guard<std::mutex> hold(mutex);
        for (const auto& t : nowPlaying) {
            TrackInfo copy = t;
            if (list.wantDisplayText)
                copy.displayText = t.artist + " - " + t.name;
            list.entries.push_back(copy);
        }
        return true;
    }
    bool getPlaylists(std::vector<PlaylistEntry>& out, int32_t) override {
        std::lock_guard<std::mutex> hold(mutex);
        out = playlists;
        return true;
    }
    bool getCurrentTrackText(std::string& text, TrackKey&) override {
        text = "current";
        return true;
    }
    bool listLibraryCategory(uint32_t kind, WinampMediaLibraryListBase*& list) override {
        std::lock_guard<std::mutex> hold(mutex);
        delete list;
        list = nullptr;
        if (kind == 1) {
            auto* artists = new LibraryStringList(LIST_KIND_ARTISTS);
            artists->entries = artistNames;
            list = artists;
        } else if (kind == 6) {
            auto* out = new LibraryAlbumList();
            out->entries = albums;
            list = out;
        } else {
            return false;
        }
        return true;
    }
    bool queryLibraryList(uint32_t, const std::u16string& genre, const std::u16string& artist,
                          const std::u16string& album, const std::u16string& composer,
                          WinampMediaLibraryListBase*& list) override {
        record("queryLibraryList(" + narrow(genre) + "|" + narrow(artist) + "|" + narrow(album) +
               "|" + narrow(composer) + ")");
        std::lock_guard<std::mutex> hold(mutex);
        delete list;
        auto* out = new LibraryTrackList();
        out->entries = tracks;
        list = out;
        return true;
    }
    bool searchLibrary(uint32_t, const std::u16string& text,
                       WinampMediaLibraryListTracks<std::string>*& list) override {
        record("searchLibrary(" + narrow(text) + ")");
        std::lock_guard<std::mutex> hold(mutex);
        delete list;
        list = new LibraryTrackList();
        list->entries = tracks;
        return true;
    }
    bool getAlbumCover(std::vector<uint8_t>* image, std::string* album, uint16_t,
                       std::string* artist) override {
        std::lock_guard<std::mutex> hold(mutex);
        if (*album != coverAlbum)
            return false;
        *image = coverImage;
        if (artist->empty())
            *artist = "Cover Artist";
        return true;
    }
    bool getEqualizer(EqualizerSetting& setting, bool& enabled, uint16_t& range, uint8_t& scale,
                      uint8_t& available) override {
        std::lock_guard<std::mutex> hold(mutex);
        setting = equalizer;
        enabled = equalizerOn;
        range = 200;
        scale = 12;
        available = 1;
        return true;
    }
    void setEqualizer(const EqualizerSetting& setting) override {
        record("setEqualizer");
        std::lock_guard<std::mutex> hold(mutex);
        equalizer.preamp = setting.preamp;
        equalizer.bands = setting.bands;
    }
    void setSleepTimer(bool enabled, uint32_t mode, uint32_t action, uint64_t seconds) override {
        record("setSleepTimer(" + std::to_string(enabled) + "," + std::to_string(mode) + "," +
               std::to_string(action) + "," + std::to_string(seconds) + ")");
        std::lock_guard<std::mutex> hold(mutex);
        sleep = {enabled, mode, action, uint32_t(seconds)};
    }
    void getSleepTimer(bool& enabled, uint32_t& mode, uint32_t& action,
                       uint32_t& secondsLeft) override {
        std::lock_guard<std::mutex> hold(mutex);
        enabled = sleep.enabled;
        mode = sleep.mode;
        action = sleep.action;
        secondsLeft = sleep.seconds;
    }

    // Runs on the connection's thread when a login is accepted, like the control's pushes.
    void onClientLogin(bool accepted) override {
        std::function<void()> push;
        {
            std::lock_guard<std::mutex> hold(mutex);
            push = loginPush_;
        }
        if (accepted && push)
            push();
        loginsSeen++;
    }
    void setLoginPush(std::function<void()> push) {
        std::lock_guard<std::mutex> hold(mutex);
        loginPush_ = std::move(push);
    }
    std::atomic<int> loginsSeen{0};

    std::mutex mutex;
    PlayerStatus status{61000, 0, 0, 0x8080, 0};
    TrackInfo current;
    std::vector<TrackInfo> nowPlaying;
    std::vector<PlaylistEntry> playlists;
    std::vector<std::string> artistNames;
    std::vector<AlbumEntry<std::string>> albums;
    std::vector<TrackEntry<std::string>> tracks;
    std::string coverAlbum;
    std::vector<uint8_t> coverImage;
    EqualizerSetting equalizer;
    bool equalizerOn = false;
    struct {
        bool enabled = false;
        uint32_t mode = 0, action = 0, seconds = 0;
    } sleep;

private:
    static std::string narrow(const std::u16string& s) {
        std::string out;
        for (char16_t c : s)
            out += c < 0x80 ? char(c) : '?';
        return out;
    }
    void record(std::string call) {
        std::lock_guard<std::mutex> hold(mutex);
        calls_.push_back(std::move(call));
    }
    std::vector<std::string> calls_;
    std::function<void()> loginPush_;
};
