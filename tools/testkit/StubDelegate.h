// A delegate that does nothing: every operation fails or returns at once. Tests and
// benchmarks derive from it and override the few operations they care about.
#pragma once

#include "server/engine/WinampControlServerDelegate.h"

class StubDelegate : public WinampControlServerDelegate {
public:
    bool getTrackInfo(TrackInfo&, int32_t) override { return false; }
    bool getPlayerStatus(PlayerStatus&) override { return false; }
    void playbackCommand(int32_t) override {}
    void toggleRepeat(int32_t) override {}
    void setShuffle(bool) override {}
    void setVolume(uint16_t) override {}
    void setPosition(int32_t) override {}
    bool getNowPlayingTracks(TrackList&) override { return false; }
    bool getPlaylistTracks(TrackList&, int32_t) override { return false; }
    bool getPlaylists(std::vector<PlaylistEntry>&, int32_t) override { return false; }
    bool getTrackCover(std::vector<uint8_t>&, int32_t, TrackKey&, int16_t) override {
        return false;
    }
    void onClientConnected() override {}
    void onClientDisconnected() override {}
    void onClientLogin(bool) override {}
    void setCurrentTrackRating(uint8_t) override {}
    int32_t getCurrentTrackIndex() override { return -1; }
    void setCurrentTrackIndex(int32_t) override {}
    void removeTrack(int32_t, int32_t) override {}
    void deletePlaylist(int32_t) override {}
    bool playPlaylist(int32_t) override { return false; }
    void reservedPairCommand(uint16_t, uint16_t) override {}
    void moveTrack(int32_t, uint32_t, uint32_t) override {}
    bool queryLibraryList(uint32_t, const std::u16string&, const std::u16string&,
                          const std::u16string&, const std::u16string&,
                          WinampMediaLibraryListBase*&) override {
        return false;
    }
    void addLibraryItemsToPlaylist(int32_t, const std::u16string&, const std::u16string&,
                                   const std::u16string&, const std::u16string&, uint32_t,
                                   uint32_t) override {}
    void clearPlaylist(uint32_t) override {}
    bool listLibraryCategory(uint32_t, WinampMediaLibraryListBase*&) override { return false; }
    bool searchLibrary(uint32_t, const std::u16string&,
                       WinampMediaLibraryListTracks<std::string>*&) override {
        return false;
    }
    void addSearchResultsToPlaylist(int32_t, uint32_t, int32_t, int32_t) override {}
    void fillNowPlayingFromFilter(uint8_t, uint8_t, bool) override {}
    void reservedCommand() override {}
    void createPlaylist(const std::u16string&, uint32_t) override {}
    bool getCurrentTrackText(std::string&, TrackKey&) override { return false; }
    bool getAlbumCover(std::vector<uint8_t>*, std::string*, uint16_t, std::string*) override {
        return false;
    }
    bool startPowerAction(uint64_t) override { return false; }
    bool getEqualizer(EqualizerSetting&, bool&, uint16_t&, uint8_t&, uint8_t&) override {
        return false;
    }
    bool getEqualizerPresets(std::vector<EqualizerPreset>&) override { return false; }
    void setEqualizer(const EqualizerSetting&) override {}
    void setEqualizerEnabled(bool) override {}
    void applyEqualizerPreset(uint32_t) override {}
    void setSleepTimer(bool, uint32_t, uint32_t, uint64_t) override {}
    void getSleepTimer(bool&, uint32_t&, uint32_t&, uint32_t&) override {}
};
