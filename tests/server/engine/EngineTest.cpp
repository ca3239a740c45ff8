// The protocol engine end to end over 127.0.0.1: a raw client speaks to WinampControlServer,
// whose delegate is a fake that records every call it receives.
#include "common/Md5.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "server/engine/WinampControlServer.h"
#include "server/wire/Messages.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>

using namespace wire;
using testing_support::TestClient;
using testing_support::waitUntil;
using Bytes = std::vector<uint8_t>;

namespace {

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

// Records "name(args)" for every call; answers from fields the tests set.
class RecordingDelegate : public WinampControlServerDelegate {
public:
    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> hold(mutex_);
        return calls_;
    }
    bool called(const std::string& call) {
        std::lock_guard<std::mutex> hold(mutex_);
        return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
    }
    bool waitFor(const std::string& call, uint32_t ms = 3000) {
        return waitUntil([&] { return called(call); }, ms);
    }
    // Changes answers under the lock the delegate reads them with.
    template <class F> void edit(F change) {
        std::lock_guard<std::mutex> hold(mutex_);
        change();
    }
    void clearCalls() {
        std::lock_guard<std::mutex> hold(mutex_);
        calls_.clear();
    }

    // Answers.
    PlayerStatus status{61000, 0, 2, 0x8080, 1};
    bool statusOk = true;
    TrackList nowPlaying;
    std::vector<PlaylistEntry> playlists;
    std::atomic<bool> blockStatus{false};
    platform::Event releaseStatus{false};
    std::atomic<bool> blockNowPlaying{false};
    platform::Event releaseNowPlaying{false};

    bool getTrackInfo(TrackInfo& t, int32_t index) override {
        record("getTrackInfo(" + std::to_string(index) + ")");
        t.index = index;
        t.name = "Song";
        return index != 99;
    }
    bool getPlayerStatus(PlayerStatus& s) override {
        record("getPlayerStatus()");
        if (blockStatus)
            releaseStatus.wait(5000);
        std::lock_guard<std::mutex> hold(mutex_);
        s = status;
        return statusOk;
    }
    void playbackCommand(int32_t c) override { record("playbackCommand(" + n(c) + ")"); }
    void toggleRepeat(int32_t v) override { record("toggleRepeat(" + n(v) + ")"); }
    void setShuffle(bool on) override { record("setShuffle(" + n(on) + ")"); }
    void setVolume(uint16_t v) override { record("setVolume(" + n(v) + ")"); }
    void setPosition(int32_t ms) override { record("setPosition(" + n(ms) + ")"); }
    bool getNowPlayingTracks(TrackList& list) override {
        record("getNowPlayingTracks(" + n(list.wantDisplayText) + ")");
        if (blockNowPlaying)
            releaseNowPlaying.wait(5000);
        std::lock_guard<std::mutex> hold(mutex_);
        list.entries = nowPlaying.entries;
        return true;
    }
    bool getPlaylistTracks(TrackList& list, int32_t id) override {
        record("getPlaylistTracks(" + n(id) + "," + n(list.wantDisplayText) + ")");
        list.playlistId = id;
        std::lock_guard<std::mutex> hold(mutex_);
        list.entries = nowPlaying.entries;
        return true;
    }
    bool getPlaylists(std::vector<PlaylistEntry>& out, int32_t v) override {
        record("getPlaylists(" + n(v) + ")");
        std::lock_guard<std::mutex> hold(mutex_);
        out = playlists;
        return true;
    }
    bool getTrackCover(std::vector<uint8_t>& image, int32_t index, TrackKey& key,
                       int16_t size) override {
        record("getTrackCover(" + n(index) + "," + n(size) + ")");
        key.bytes.fill(0x11);
        if (index != 0)
            return false;
        image = {1, 2, 3};
        return true;
    }
    void onClientConnected() override { record("onClientConnected()"); }
    void onClientDisconnected() override { record("onClientDisconnected()"); }
    void onClientLogin(bool ok) override { record("onClientLogin(" + n(ok) + ")"); }
    void setCurrentTrackRating(uint8_t r) override {
        record("setCurrentTrackRating(" + n(r) + ")");
    }
    int32_t getCurrentTrackIndex() override {
        record("getCurrentTrackIndex()");
        return currentIndex;
    }
    std::atomic<int32_t> currentIndex{4};
    void setCurrentTrackIndex(int32_t i) override { record("setCurrentTrackIndex(" + n(i) + ")"); }
    void removeTrack(int32_t p, int32_t i) override {
        record("removeTrack(" + n(p) + "," + n(i) + ")");
    }
    void deletePlaylist(int32_t p) override { record("deletePlaylist(" + n(p) + ")"); }
    bool playPlaylist(int32_t p) override {
        record("playPlaylist(" + n(p) + ")");
        return true;
    }
    void reservedPairCommand(uint16_t a, uint16_t b) override {
        record("reservedPairCommand(" + n(a) + "," + n(b) + ")");
    }
    void moveTrack(int32_t p, uint32_t f, uint32_t t) override {
        record("moveTrack(" + n(p) + "," + n(f) + "," + n(t) + ")");
    }
    bool queryLibraryList(uint32_t id, const std::u16string& g, const std::u16string& a,
                          const std::u16string& al, const std::u16string& c,
                          WinampMediaLibraryListBase*&) override {
        record("queryLibraryList(" + n(id) + "," + narrow(g) + "," + narrow(a) + "," + narrow(al) +
               "," + narrow(c) + ")");
        return false;
    }
    void addLibraryItemsToPlaylist(int32_t p, const std::u16string& g, const std::u16string& a,
                                   const std::u16string& al, const std::u16string& c, uint32_t item,
                                   uint32_t pos) override {
        record("addLibraryItemsToPlaylist(" + n(p) + "," + narrow(g) + "," + narrow(a) + "," +
               narrow(al) + "," + narrow(c) + "," + n(item) + "," + n(pos) + ")");
    }
    void clearPlaylist(uint32_t p) override { record("clearPlaylist(" + n(p) + ")"); }
    // 1 artists "Ann", "Bo"; 6 one album; 2 an empty composers list; 0 a list of kind 4,
    // which is never sent.
    bool listLibraryCategory(uint32_t kind, WinampMediaLibraryListBase*& list) override {
        record("listLibraryCategory(" + n(kind) + ")");
        delete list;
        if (kind == 1) {
            auto* strings = new LibraryStringList(LIST_KIND_ARTISTS);
            strings->add("Ann");
            strings->add("Bo");
            list = strings;
        } else if (kind == 6) {
            auto* albums = new LibraryAlbumList;
            albums->add({"X", "", 7});
            list = albums;
        } else if (kind == 2) {
            list = new LibraryStringList(LIST_KIND_COMPOSERS);
        } else {
            list = new LibraryStringList(4);
        }
        return true;
    }
    bool searchLibrary(uint32_t id, const std::u16string& text,
                       WinampMediaLibraryListTracks<std::string>*& list) override {
        record("searchLibrary(" + n(id) + "," + narrow(text) + ")");
        if (text != u"bee")
            return false;
        delete list;
        list = new LibraryTrackList;
        TrackEntry<std::string> entry;
        entry.artist = "A";
        entry.name = "Hum";
        entry.durationSeconds = 3;
        list->add(entry);
        return true;
    }
    void addSearchResultsToPlaylist(int32_t p, uint32_t s, int32_t i, int32_t pos) override {
        record("addSearchResultsToPlaylist(" + n(p) + "," + n(s) + "," + n(i) + "," + n(pos) + ")");
    }
    void fillNowPlayingFromFilter(uint8_t k, uint8_t r, bool o) override {
        record("fillNowPlayingFromFilter(" + n(k) + "," + n(r) + "," + n(o) + ")");
    }
    void reservedCommand() override { record("reservedCommand()"); }
    void createPlaylist(const std::u16string& name, uint32_t x) override {
        record("createPlaylist(" + narrow(name) + "," + n(x) + ")");
    }
    bool getCurrentTrackText(std::string& text, TrackKey& key) override {
        record("getCurrentTrackText()");
        text = "lyrics";
        key.bytes.fill(0x22);
        return true;
    }
    // Album "none" has no cover; an empty artist becomes "Host". While holdCovers is set,
    // lookups wait for releaseCovers.
    bool getAlbumCover(std::vector<uint8_t>* image, std::string* album, uint16_t size,
                       std::string* artist) override {
        record("getAlbumCover(" + *album + "," + *artist + "," + n(size) + ")");
        coverLookups++;
        if (holdCovers)
            releaseCovers.wait(5000);
        if (*album == "none")
            return false;
        if (artist->empty())
            *artist = "Host";
        image->assign(album->begin(), album->end());
        return true;
    }
    std::atomic<int> coverLookups{0};
    std::atomic<bool> holdCovers{false};
    platform::Event releaseCovers{false};
    bool startPowerAction(uint64_t a) override {
        record("startPowerAction(" + n(a) + ")");
        return true;
    }
    bool getEqualizer(EqualizerSetting& s, bool& en, uint16_t& range, uint8_t& scale,
                      uint8_t& avail) override {
        record("getEqualizer()");
        s.bands = {{60, 120}};
        s.preamp = 90;
        en = true;
        range = 200;
        scale = 12;
        avail = 1;
        return true;
    }
    bool getEqualizerPresets(std::vector<EqualizerPreset>& p) override {
        record("getEqualizerPresets()");
        p.resize(1);
        p[0].name = "Rock";
        return true;
    }
    void setEqualizer(const EqualizerSetting& s) override {
        record("setEqualizer(" + n(s.bands.size()) + "," + n(s.preamp) + ")");
    }
    void setEqualizerEnabled(bool on) override { record("setEqualizerEnabled(" + n(on) + ")"); }
    void applyEqualizerPreset(uint32_t i) override { record("applyEqualizerPreset(" + n(i) + ")"); }
    void setSleepTimer(bool e, uint32_t m, uint32_t a, uint64_t s) override {
        record("setSleepTimer(" + n(e) + "," + n(m) + "," + n(a) + "," + n(s) + ")");
    }
    void getSleepTimer(bool& e, uint32_t& m, uint32_t& a, uint32_t& s) override {
        record("getSleepTimer()");
        e = true;
        m = sleepMode;
        a = 0;
        s = 30;
    }
    std::atomic<uint32_t> sleepMode{1};

private:
    template <class T> static std::string n(T v) {
        if constexpr (std::is_same_v<T, bool>)
            return v ? "1" : "0";
        else
            return std::to_string(+v);
    }
    void record(const std::string& call) {
        std::lock_guard<std::mutex> hold(mutex_);
        calls_.push_back(call);
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Frames from the server, read from a TestClient with bounded waits.
class Peer {
public:
    explicit Peer(uint16_t port) : client(port) {}

    // The next whole frame, or type 0 when none arrives within ms.
    ReceivedMessage next(uint32_t ms = 3000) {
        ReceivedMessage m;
        while (!splitter_.next(m)) {
            uint8_t buffer[8192];
            if (platform::selectReadable(client.handle(), ms * 1000) != 1)
                return {};
            int n = platform::recvSome(client.handle(), buffer, sizeof buffer);
            if (n <= 0)
                return {};
            splitter_.append(buffer, size_t(n));
        }
        return m;
    }
    // Skips frames until one of the type arrives.
    ReceivedMessage nextOf(uint32_t type, uint32_t ms = 3000) {
        for (int i = 0; i < 100; ++i) {
            ReceivedMessage m = next(ms);
            if (m.type == type || m.type == 0)
                return m;
        }
        return {};
    }
    // Collects frames arriving within ms.
    std::vector<ReceivedMessage> within(uint32_t ms) {
        std::vector<ReceivedMessage> out;
        uint32_t start = platform::tickCount();
        while (platform::tickCount() - start < ms) {
            ReceivedMessage m = next(ms - (platform::tickCount() - start) + 1);
            if (m.type == 0)
                break;
            out.push_back(std::move(m));
        }
        return out;
    }
    template <class M> void send(const M& m) { client.sendAll(encodeFrame(m)); }
    void sendRaw(uint32_t type, const Bytes& payload) { client.sendAll(buildFrame(type, payload)); }

    HelloMessage hello() {
        ReceivedMessage m = next();
        HelloMessage h;
        EXPECT_EQ(m.type, uint32_t(MSG_HELLO));
        EXPECT_TRUE(h.decode(m.payload.data(), m.payload.size()));
        return h;
    }
    // Reads the greeting, logs in with the password, returns the login result byte.
    int login(const std::string& password = "", uint8_t extended = 0, uint8_t keepalive = 0,
              bool withOptions = true) {
        HelloMessage h = hello();
        LoginMessage l;
        Md5Context ctx;
        md5Init(ctx);
        md5Update(ctx, password.data(), password.size());
        md5Update(ctx, h.challenge.data(), h.challenge.size());
        l.response = md5Final(ctx);
        l.hasOptions = withOptions;
        l.extendedLists = extended;
        l.keepaliveSeconds = keepalive;
        send(l);
        ReceivedMessage r = nextOf(MSG_LOGIN_RESULT);
        return r.payload.size() == 1 ? r.payload[0] : -1;
    }
    void query(uint8_t sub, uint32_t parameter = 0) {
        QueryMessage q;
        q.sub = sub;
        q.parameter = parameter;
        send(q);
    }

    TestClient client;

private:
    FrameSplitter splitter_;
};

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        platform::socketStartup();
        server.setDelegate(&fake);
        server.setAllCapabilities();
        ASSERT_TRUE(server.listen(0));
        port = server.boundPort();
    }
    void TearDown() override { server.transport().stopAll(true); }

    std::unique_ptr<Peer> connectAndLogin(const std::string& password = "", uint8_t extended = 1) {
        auto peer = std::make_unique<Peer>(port);
        EXPECT_EQ(peer->login(password, extended), 1);
        EXPECT_EQ(peer->nextOf(MSG_CAPABILITIES).type, uint32_t(MSG_CAPABILITIES));
        return peer;
    }

    RecordingDelegate fake;
    platform::ManualClock clock; // outlives the server, whose keep-alive thread reads it
    WinampControlServer server;
    uint16_t port = 0;
};

} // namespace

TEST_F(Engine, GreetingCarriesVersionPasswordFlagAndAFreshChallenge) {
    server.setPassword("secret");
    Peer a(port);
    ReceivedMessage m = a.next();
    ASSERT_EQ(m.type, uint32_t(MSG_HELLO));
    ASSERT_EQ(m.payload.size(), 11u);
    EXPECT_EQ(m.payload[0], 0x02);
    EXPECT_EQ(m.payload[1], 0x03);
    EXPECT_EQ(m.payload[2], 1);
    EXPECT_TRUE(fake.waitFor("onClientConnected()"));
    a.client.close();
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));
    Peer b(port);
    ReceivedMessage m2 = b.next();
    ASSERT_EQ(m2.payload.size(), 11u);
    EXPECT_NE(Bytes(m.payload.begin() + 3, m.payload.end()),
              Bytes(m2.payload.begin() + 3, m2.payload.end()));
}

TEST_F(Engine, LoginWithoutPasswordAcceptsAnyResponseThenSendsCapabilities) {
    Peer p(port);
    p.hello();
    p.sendRaw(MSG_LOGIN, Bytes(16, 0x5A));
    ReceivedMessage r = p.next();
    ASSERT_EQ(r.type, uint32_t(MSG_LOGIN_RESULT));
    EXPECT_EQ(r.payload, Bytes{1});
    ReceivedMessage caps = p.next();
    ASSERT_EQ(caps.type, uint32_t(MSG_CAPABILITIES));
    EXPECT_EQ(caps.payload, (Bytes{0xFF, 0xFF, 0x77, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(fake.waitFor("onClientLogin(1)"));
    EXPECT_EQ(server.compressionMode(), CompressionMode::High);
    // A second login is dropped: no second result.
    p.sendRaw(MSG_LOGIN, Bytes(16, 0));
    p.sendRaw(MSG_KEEPALIVE, {});
    p.sendRaw(MSG_PING, {});
    EXPECT_EQ(p.next().type, uint32_t(MSG_KEEPALIVE));
}

TEST_F(Engine, PasswordLoginRefusesWrongAndStaleResponsesAndMayBeRetried) {
    server.setPassword("pässword");
    Bytes stale;
    {
        Peer first(port);
        HelloMessage h = first.hello();
        std::string pw = "pässword";
        Bytes data(pw.begin(), pw.end());
        data.insert(data.end(), h.challenge.begin(), h.challenge.end());
        Md5Digest d = md5(data.data(), data.size());
        stale.assign(d.begin(), d.end());
    }
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));
    Peer p(port);
    p.hello();
    p.sendRaw(MSG_LOGIN, stale);
    ReceivedMessage r = p.next();
    ASSERT_EQ(r.type, uint32_t(MSG_LOGIN_RESULT));
    EXPECT_EQ(r.payload, Bytes{0});
    EXPECT_TRUE(fake.waitFor("onClientLogin(0)"));
    p.sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(p.next().payload, Bytes{0});
    // Nothing else arrives for a refused login: a query gets no reply.
    p.query(QUERY_PLAYER_STATUS);
    EXPECT_TRUE(fake.waitFor("getPlayerStatus()"));
    EXPECT_TRUE(p.within(100).empty());
    EXPECT_FALSE(server.loggedIn());
}

TEST_F(Engine, CorrectPasswordLogsInAndPowerActionsNeedAPasswordAtLogin) {
    // Without a password, power actions are refused even when logged in.
    {
        auto p = connectAndLogin();
        QueryMessage q;
        q.sub = QUERY_POWER_ACTION;
        q.parameter = 1;
        p->send(q);
        p->query(QUERY_CURRENT_INDEX);
        ASSERT_EQ(p->nextOf(MSG_CURRENT_INDEX).payload, (Bytes{4, 0, 0, 0}));
        EXPECT_FALSE(fake.called("startPowerAction(1)"));
    }
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));
    server.setPassword("pw");
    auto p = std::make_unique<Peer>(port);
    ASSERT_EQ(p->login("pw"), 1);
    QueryMessage q;
    q.sub = QUERY_POWER_ACTION;
    q.parameter = 3; // out of range: dropped
    p->send(q);
    q.parameter = 2;
    p->send(q);
    EXPECT_TRUE(fake.waitFor("startPowerAction(2)"));
    EXPECT_FALSE(fake.called("startPowerAction(3)"));
    // The flag outlives a connection that simply closed: the next one may use it before it
    // tries to log in. Only a kick clears it; then a refused attempt sets it again.
    p.reset();
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));
    fake.clearCalls();
    auto fresh = std::make_unique<Peer>(port);
    fresh->hello();
    fresh->send(q);
    EXPECT_TRUE(fake.waitFor("startPowerAction(2)"));
    server.kickSession();
    ASSERT_TRUE(fresh->client.closedByPeer());
    fresh.reset();
    fake.clearCalls();
    Peer third(port);
    third.hello();
    third.send(q);
    third.query(QUERY_CURRENT_INDEX);
    ASSERT_TRUE(fake.waitFor("getCurrentTrackIndex()"));
    EXPECT_FALSE(fake.called("startPowerAction(2)"));
    third.sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(third.next().payload, Bytes{0});
    third.send(q);
    EXPECT_TRUE(fake.waitFor("startPowerAction(2)"));
}

TEST_F(Engine, RequestsRunBeforeLoginButGetNoReply) {
    Peer p(port);
    p.hello();
    PlayerCommandMessage c;
    c.command = CMD_VOLUME;
    c.argument = 0x80;
    p.send(c);
    p.query(QUERY_PLAYER_STATUS);
    EXPECT_TRUE(fake.waitFor("getPlayerStatus()"));
    EXPECT_TRUE(fake.called("setVolume(32896)"));
    EXPECT_TRUE(p.within(100).empty());
}

TEST_F(Engine, StatusReplyIsByteExact) {
    auto p = connectAndLogin();
    p->query(QUERY_PLAYER_STATUS);
    ReceivedMessage m = p->nextOf(MSG_PLAYER_STATUS);
    EXPECT_EQ(m.payload, (Bytes{0x48, 0xEE, 0, 0, 1, 1, 2, 0x80, 0x80, 0x80}));
}

TEST_F(Engine, EveryRequestReachesItsDelegateOperationWithItsArguments) {
    auto p = connectAndLogin();
    fake.clearCalls();
    struct Case {
        uint32_t type;
        Bytes payload;
        std::string call;
    };
    const Case cases[] = {
        {MSG_PLAYER_COMMAND, {1, 0, 0, 0, 0}, "playbackCommand(0)"},
        {MSG_PLAYER_COMMAND, {2, 0, 0, 0, 0}, "playbackCommand(1)"},
        {MSG_PLAYER_COMMAND, {3, 0, 0, 0, 0}, "playbackCommand(2)"},
        {MSG_PLAYER_COMMAND, {4, 7, 0, 0, 0}, "setShuffle(1)"},
        {MSG_PLAYER_COMMAND, {5, 2, 0, 0, 0}, "toggleRepeat(2)"},
        {MSG_PLAYER_COMMAND, {5, 9, 0, 0, 0}, "toggleRepeat(0)"},
        {MSG_PLAYER_COMMAND, {6, 0, 0, 0xFF, 0xFF}, "setVolume(65535)"},
        {MSG_PLAYER_COMMAND, {6, 0x80, 1, 0x34, 0x12}, "setVolume(32896)"},
        {MSG_PLAYER_COMMAND, {7, 0x10, 0x27, 0, 0}, "setPosition(10000)"},
        {MSG_PLAYER_COMMAND, {8, 0, 0, 0, 0}, "playbackCommand(4)"},
        {MSG_PLAYER_COMMAND, {9, 0, 0, 0, 0}, "playbackCommand(3)"},
        {MSG_PLAYER_COMMAND, {10, 3, 0, 0, 0}, "setCurrentTrackIndex(3)"},
        {MSG_PLAYER_COMMAND, {11, 2, 0, 0, 0}, "removeTrack(-1,2)"},
        {MSG_PLAYER_COMMAND, {12, 5, 0, 0, 0}, "playPlaylist(5)"},
        {MSG_PLAYER_COMMAND, {13, 1, 0, 2, 0}, "reservedPairCommand(1,2)"},
        {MSG_PLAYER_COMMAND, {14, 0, 0, 0, 0}, "playbackCommand(5)"},
        {MSG_PLAYER_COMMAND, {15, 0, 0, 0, 0}, "reservedCommand()"},
        {MSG_PLAYER_COMMAND, {16, 6, 0, 0, 0}, "deletePlaylist(6)"},
        {MSG_PLAYER_COMMAND, {17, 1, 0, 0, 0}, "applyEqualizerPreset(1)"},
        {MSG_PLAYER_COMMAND, {18, 1, 0, 0, 0}, "setEqualizerEnabled(1)"},
        {MSG_SET_RATING, {4}, "setCurrentTrackRating(4)"},
        {MSG_MOVE_NOW_PLAYING, {1, 0, 0, 0, 2, 0, 0, 0}, "moveTrack(-1,1,2)"},
        {MSG_LIBRARY_QUERY, {9, 0, 0, 0, 1, 0, 1, 'G', 0, 'L', 0}, "queryLibraryList(9,G,,L,)"},
        {MSG_CLEAR_PLAYLIST, {0xFF, 0xFF, 0xFF, 0xFF}, "clearPlaylist(4294967295)"},
        {MSG_LIBRARY_ADD,
         {3, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'A', 0},
         "addLibraryItemsToPlaylist(3,,A,,,4294967295,4294967294)"},
        {MSG_SEARCH, {7, 0, 0, 0, 'b', 'e', 'e', 0}, "searchLibrary(7,bee)"},
        {MSG_ADD_SEARCH_RESULTS,
         {7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},
         "addSearchResultsToPlaylist(-1,7,-1,-2)"},
        {MSG_FILL_NOW_PLAYING, {0, 4, 1}, "fillNowPlayingFromFilter(0,4,1)"},
        {MSG_CREATE_PLAYLIST, {2, 0, 0, 0, 'P', 'l', 0}, "createPlaylist(Pl,4294967295)"},
        {MSG_REMOVE_TRACK, {5, 0, 0, 0, 1, 0, 0, 0}, "removeTrack(5,1)"},
        {MSG_MOVE_TRACK, {5, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0}, "moveTrack(5,1,3)"},
        {MSG_ADD_SEARCH_RESULTS_TO,
         {7, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0},
         "addSearchResultsToPlaylist(5,7,2,-2)"},
        {MSG_LIBRARY_QUERY_EX,
         {8, 0, 0, 0, 0x0C, 0, 0, 0, 'L', 0, 'C', 0},
         "queryLibraryList(8,,,L,C)"},
        {MSG_LIBRARY_ADD_EX,
         {5, 0, 0, 0, 0x08, 0, 0, 0x10, 2, 0, 0, 0, 'C', 0, 1, 0, 0, 0},
         "addLibraryItemsToPlaylist(5,,,,C,2,1)"},
        {MSG_CREATE_PLAYLIST_EX, {9, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'Q', 0}, "createPlaylist(Q,9)"},
        {MSG_ADD_SEARCH_RESULTS_AT,
         {7, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0, 0},
         "addSearchResultsToPlaylist(5,7,2,3)"},
        {MSG_EQUALIZER, {1, 0, 0, 0, 0, 0, 110, 0, 0, 0, 60, 0, 100, 0}, "setEqualizer(1,110)"},
        {MSG_SLEEP_TIMER, {1, 2, 3, 0, 60, 0, 0, 0}, "setSleepTimer(1,1,2,60)"},
    };
    for (const Case& c : cases)
        p->sendRaw(c.type, c.payload);
    // A marker request after all of them: everything before it has been dispatched in order.
    p->query(QUERY_CURRENT_INDEX);
    ASSERT_EQ(p->nextOf(MSG_CURRENT_INDEX).type, uint32_t(MSG_CURRENT_INDEX));
    std::vector<std::string> calls = fake.calls();
    ASSERT_EQ(calls.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(calls[i], cases[i].call) << "message type " << cases[i].type;
}

TEST_F(Engine, MalformedAndUnknownMessagesAreDroppedAndTheSessionGoesOn) {
    auto p = connectAndLogin();
    fake.clearCalls();
    const std::pair<uint32_t, Bytes> bad[] = {
        {MSG_PLAYER_COMMAND, {6, 0x80, 0, 0}},
        {MSG_PLAYER_COMMAND, {6, 0x80, 0, 0, 0, 0}},
        {MSG_CREATE_PLAYLIST, {3, 0, 0, 0, 'a', 'b', 'c'}},
        {MSG_SEARCH, {1, 0, 0, 0, 'x'}},
        {MSG_SLEEP_TIMER, {1, 0, 1, 0, 0, 0, 0, 0}},
        {MSG_EQUALIZER, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}},
        {MSG_LIBRARY_QUERY, {1, 0, 0, 0, 1, 0, 0, 'n', 'o', 'n', 'u', 'l'}},
        {MSG_QUERY, {2, 0, 0, 0}},
        {MSG_QUERY, {0, 0, 0, 0, 0}},
        {MSG_QUERY, {20, 0, 0, 0, 0}},
        {MSG_PLAYER_COMMAND, {0, 0, 0, 0, 0}},
        {MSG_PLAYER_COMMAND, {19, 0, 0, 0, 0}},
        {0, {}},
        {17, {1, 2}},
        {MSG_PLAYER_STATUS, Bytes(10, 0)},
        {MSG_COMPRESSED, Bytes(12, 0)},
        {52, {}},
        {MSG_COVER_REQUEST, Bytes(16, 0)},
    };
    for (const auto& [type, payload] : bad)
        p->sendRaw(type, payload);
    p->query(QUERY_PLAYER_STATUS);
    EXPECT_EQ(p->next().type, uint32_t(MSG_PLAYER_STATUS));
    EXPECT_EQ(fake.calls(), std::vector<std::string>{"getPlayerStatus()"});
}

TEST_F(Engine, GarbageSplitAndCoalescedFramesEndToEnd) {
    auto p = connectAndLogin();
    QueryMessage q;
    q.sub = QUERY_CURRENT_INDEX;
    Bytes one = encodeFrame(q);
    Bytes stream = {0xDE, 0xAD, 0xBE, 0xEF, 0x00};
    stream.insert(stream.end(), one.begin(), one.end());
    stream.insert(stream.end(), one.begin(), one.end());
    // Everything in one send, then the same byte by byte.
    p->client.sendAll(stream);
    EXPECT_EQ(p->nextOf(MSG_CURRENT_INDEX).type, uint32_t(MSG_CURRENT_INDEX));
    EXPECT_EQ(p->nextOf(MSG_CURRENT_INDEX).type, uint32_t(MSG_CURRENT_INDEX));
    for (uint8_t b : one) {
        p->client.sendAll(&b, 1);
        platform::sleepMs(1);
    }
    EXPECT_EQ(p->nextOf(MSG_CURRENT_INDEX).type, uint32_t(MSG_CURRENT_INDEX));
}

TEST_F(Engine, QuietStopsPushesAndRepliesButNotKeepalivesUntilTheNextMessage) {
    auto p = connectAndLogin();
    p->sendRaw(MSG_QUIET, {1, 2, 3});
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
    server.sendPlayerStatus(fake.status);
    server.sendTrackInfo(TrackInfo{});
    server.sendListChanged(0xFFFFFFFF);
    server.sendKeepalive();
    server.sendServerNotice(NOTICE_SUSPEND);
    auto got = p->within(150);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].type, uint32_t(MSG_KEEPALIVE));
    EXPECT_EQ(got[1].type, uint32_t(MSG_SERVER_NOTICE));
    EXPECT_EQ(got[1].payload, Bytes{1});
    p->sendRaw(MSG_KEEPALIVE, {});
    ASSERT_TRUE(waitUntil([&] { return !server.quiet(); }));
    server.sendListChanged(0xFFFFFFFF);
    server.sendListChanged(3);
    EXPECT_EQ(p->next().type, uint32_t(MSG_NOW_PLAYING_CHANGED));
    ReceivedMessage changed = p->next();
    EXPECT_EQ(changed.type, uint32_t(MSG_PLAYLIST_CHANGED));
    EXPECT_EQ(changed.payload, (Bytes{3, 0, 0, 0}));
}

TEST_F(Engine, PushesFollowTheirRules) {
    // Nothing before login.
    Peer early(port);
    early.hello();
    server.sendKeepalive();
    server.sendPlayerStatus(fake.status);
    EXPECT_TRUE(early.within(80).empty());
    early.client.close();
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));

    auto p = connectAndLogin();
    server.sendCurrentIndex(0xFFFFFFFF);
    server.sendSleepTimer(true, 2, 0, 5); // mode out of range
    server.sendSleepTimer(true, 0, 2, 5);
    ReceivedMessage st = p->next();
    EXPECT_EQ(st.type, uint32_t(MSG_SLEEP_TIMER));
    EXPECT_EQ(st.payload, (Bytes{1, 1, 3, 0, 5, 0, 0, 0}));
    server.sendEqualizer(EqualizerSetting{"", {{60, 100}}, 100}, 200, 12, 1, true);
    EXPECT_EQ(p->next().payload, (Bytes{1, 1, 12, 1, 200, 0, 100, 0, 0, 0, 60, 0, 100, 0}));
    server.sendPlaylistsChanged();
    EXPECT_EQ(p->next().type, uint32_t(MSG_PLAYLISTS_CHANGED));
    server.sendUpdateNotice("v");
    EXPECT_EQ(p->next().payload, (Bytes{2, 0, 0, 0, 0, 0, 'v', 0}));
}

TEST_F(Engine, QueryRepliesAndTheirFailureForms) {
    auto p = connectAndLogin();
    p->query(QUERY_TRACK_INFO, 99); // fails: nothing
    p->query(QUERY_TRACK_COVER, 1); // fails: cover none
    ReceivedMessage none = p->next();
    EXPECT_EQ(none.type, uint32_t(MSG_TRACK_COVER_NONE));
    EXPECT_TRUE(none.payload.empty());
    QueryMessage cover;
    cover.sub = QUERY_TRACK_COVER;
    cover.parameter = 0;
    cover.hasSecond = true;
    cover.second = 0x0001FFC0; // size: low 16 bits, signed
    p->send(cover);
    ReceivedMessage c = p->next();
    ASSERT_EQ(c.type, uint32_t(MSG_TRACK_COVER));
    EXPECT_TRUE(fake.called("getTrackCover(0,-64)"));
    Bytes expected = {3, 0, 0, 0};
    expected.insert(expected.end(), 16, 0x11);
    expected.insert(expected.end(), {1, 2, 3});
    EXPECT_EQ(c.payload, expected);

    fake.currentIndex = -1;
    p->query(QUERY_CURRENT_INDEX); // nothing for -1
    p->query(QUERY_PLAYLISTS);     // succeeds empty: nothing
    p->query(QUERY_TRACK_INFO, 7);
    EXPECT_EQ(p->next().type, uint32_t(MSG_TRACK_INFO));
    fake.edit([&] { fake.playlists = {{"A", 1, 2, 0}, {"Group", 2, 0, 1}}; });
    p->query(QUERY_PLAYLISTS);
    ReceivedMessage pl = p->next();
    ASSERT_EQ(pl.type, uint32_t(MSG_PLAYLISTS));
    EXPECT_EQ(pl.payload, (Bytes{1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'A', 0}));
    p->query(QUERY_PLAYLISTS_EX, 0xFFFFFFFF);
    ReceivedMessage ex = p->next();
    ASSERT_EQ(ex.type, uint32_t(MSG_PLAYLISTS_EX));
    EXPECT_EQ(loadLE32(ex.payload.data()), 2u);

    p->query(QUERY_PLAYLIST_TRACKS, 5); // empty list: count 0 and the id
    ReceivedMessage pt = p->next();
    ASSERT_EQ(pt.type, uint32_t(MSG_PLAYLIST_TRACKS));
    EXPECT_EQ(pt.payload, (Bytes{0, 0, 0, 0, 5, 0, 0, 0}));

    p->query(QUERY_TRACK_TEXT);
    ReceivedMessage tt = p->next();
    ASSERT_EQ(tt.type, uint32_t(MSG_TRACK_TEXT));
    EXPECT_EQ(tt.payload.size(), 4u + 16 + 6 + 1);

    p->query(QUERY_EQUALIZER_PRESETS);
    EXPECT_EQ(p->next().payload, (Bytes{1, 0, 0, 0, 'R', 'o', 'c', 'k', 0}));
    p->query(QUERY_EQUALIZER);
    EXPECT_EQ(p->next().payload, (Bytes{1, 1, 12, 1, 200, 0, 90, 0, 0, 0, 60, 0, 120, 0}));
    p->query(QUERY_SLEEP_TIMER);
    EXPECT_EQ(p->next().payload, (Bytes{1, 2, 1, 0, 30, 0, 0, 0}));
    fake.sleepMode = 5; // out of range: suppressed
    p->query(QUERY_SLEEP_TIMER);
    p->query(QUERY_TRACK_INFO, 2);
    ReceivedMessage ti = p->next();
    ASSERT_EQ(ti.type, uint32_t(MSG_TRACK_INFO));
    EXPECT_EQ(loadLE32(ti.payload.data()), 2u);
}

TEST_F(Engine, LargeNowPlayingListArrivesCompressedAndDecompressesExactly) {
    for (int i = 0; i < 400; ++i) {
        TrackInfo t;
        t.index = i;
        t.displayText = "Artist " + std::to_string(i % 17) + " - Title number " + std::to_string(i);
        fake.edit([&] { fake.nowPlaying.entries.push_back(t); });
    }
    auto p = connectAndLogin();
    p->query(QUERY_NOW_PLAYING);
    ReceivedMessage m = p->next();
    ASSERT_EQ(m.type, uint32_t(MSG_COMPRESSED));
    ReceivedMessage inner;
    ASSERT_TRUE(openCompressed(m.payload.data(), m.payload.size(), inner));
    EXPECT_EQ(inner.type, uint32_t(MSG_NOW_PLAYING_LIST));
    NowPlayingListMessage list;
    ASSERT_TRUE(list.decode(inner.payload.data(), inner.payload.size()));
    ASSERT_EQ(list.entries.size(), 400u);
    EXPECT_EQ(list.entries[399].index, 399u);
    EXPECT_EQ(list.entries[399].text, "Artist 8 - Title number 399");
    EXPECT_TRUE(fake.called("getNowPlayingTracks(1)"));

    // A small list goes out plain.
    fake.edit([&] { fake.nowPlaying.entries.resize(2); });
    p->query(QUERY_NOW_PLAYING);
    EXPECT_EQ(p->next().type, uint32_t(MSG_NOW_PLAYING_LIST));
}

// A list reply finished while the app has gone quiet: the whole message obeys the send rule
// and is dropped, the compressed envelope needs only the login and still leaves.
TEST_F(Engine, WhileQuietALargeListReplyStillLeavesInItsEnvelope) {
    auto p = connectAndLogin();
    fake.blockNowPlaying = true;
    auto replyFinishedWhileQuiet = [&] {
        fake.clearCalls();
        fake.releaseNowPlaying.reset();
        p->query(QUERY_NOW_PLAYING);
        ASSERT_TRUE(fake.waitFor("getNowPlayingTracks(1)"));
        p->sendRaw(MSG_QUIET, {});
        ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
        fake.releaseNowPlaying.set();
    };
    fake.edit([&] { fake.nowPlaying.entries.assign(2, TrackInfo{}); });
    replyFinishedWhileQuiet();
    // Dispatched after the list request: its reply is the first frame when nothing else came.
    p->query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(p->next().type, uint32_t(MSG_CURRENT_INDEX));

    TrackInfo t;
    t.displayText = std::string(40, 'x');
    fake.edit([&] { fake.nowPlaying.entries.assign(200, t); });
    replyFinishedWhileQuiet();
    ReceivedMessage m = p->next();
    ASSERT_EQ(m.type, uint32_t(MSG_COMPRESSED));
    EXPECT_EQ(loadLE32(&m.payload[4]), uint32_t(MSG_NOW_PLAYING_LIST));
    fake.blockNowPlaying = false;
}

TEST_F(Engine, LibraryListsAreSentWithTheirKindCodeAndSimplifiedWithoutExtendedLists) {
    auto ext = connectAndLogin("", 1);
    ext->query(QUERY_ARTISTS, 0x0A0B0C0D);
    ReceivedMessage artists = ext->next();
    ASSERT_EQ(artists.type, uint32_t(MSG_LIBRARY_LIST));
    EXPECT_EQ(artists.payload,
              (Bytes{0x0D, 0x0C, 0x0B, 0x0A, 2, 0, 0, 0, 0, 0x41, 0x6E, 0x6E, 0, 0x42, 0x6F, 0}));
    ext->query(QUERY_ALBUMS, 1);
    EXPECT_EQ(ext->next().payload,
              (Bytes{1, 0, 0, 0, 1, 0, 0, 0, 6, 1, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0, 0x58, 0, 0}));
    ext->query(QUERY_GENRES, 2); // kind 4: dropped
    ext->query(QUERY_COMPOSERS, 3);
    ReceivedMessage empty = ext->next();
    EXPECT_EQ(empty.payload, (Bytes{3, 0, 0, 0, 0, 0, 0, 0, 4}));
    ext->sendRaw(MSG_SEARCH, {9, 0, 0, 0, 'b', 'e', 'e', 0});
    ReceivedMessage tracks = ext->next();
    ASSERT_EQ(tracks.type, uint32_t(MSG_LIBRARY_LIST));
    EXPECT_EQ(Bytes(tracks.payload.begin(), tracks.payload.begin() + 9),
              (Bytes{9, 0, 0, 0, 1, 0, 0, 0, 7}));
    ext.reset();
    ASSERT_TRUE(waitUntil([&] { return server.sessionConnection() == 0; }));

    auto basic = connectAndLogin("", 0);
    basic->query(QUERY_ALBUMS_2, 1);
    EXPECT_EQ(basic->next().payload, (Bytes{1, 0, 0, 0, 2, 0, 0, 0, 5, 'X', 0, 0}));
    basic->sendRaw(MSG_SEARCH, {9, 0, 0, 0, 'b', 'e', 'e', 0});
    ReceivedMessage names = basic->next();
    ASSERT_EQ(names.type, uint32_t(MSG_SEARCH_RESULTS));
    EXPECT_EQ(names.payload, (Bytes{9, 0, 0, 0, 1, 0, 0, 0, 'H', 'u', 'm', 0}));
    basic->sendRaw(MSG_SEARCH, {9, 0, 0, 0, 'n', 'o', 0}); // finds nothing: no reply
    basic->query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(basic->next().type, uint32_t(MSG_CURRENT_INDEX));
}

namespace {
CoverRequestMessage coverRequest(const std::string& album, uint32_t tag1 = 1) {
    CoverRequestMessage m;
    m.album = album;
    m.tag1 = tag1;
    m.tag2 = 0x10002;
    m.tag3 = 3;
    m.requestedSize = 200;
    return m;
}
} // namespace

TEST_F(Engine, CoverRequestsAreServedOnceWithTheArtistTheHostGave) {
    auto p = connectAndLogin();
    p->send(coverRequest("Blue"));
    ReceivedMessage m = p->next();
    ASSERT_EQ(m.type, uint32_t(MSG_COVER));
    EXPECT_EQ(m.payload,
              (Bytes{4, 0, 0, 0,   4,   0,   0,   0, 4,   0,   0,   0,   1, 0,   0,   0,   2,  0, 1,
                     0, 3, 0, 'B', 'l', 'u', 'e', 0, 'H', 'o', 's', 't', 0, 'B', 'l', 'u', 'e'}));
    EXPECT_TRUE(fake.called("getAlbumCover(Blue,,200)"));
    // The same request again, and one differing only in tag2 above bit 15: no reply.
    p->send(coverRequest("Blue"));
    CoverRequestMessage high = coverRequest("Blue");
    high.tag2 = 0x70002;
    p->send(high);
    p->send(coverRequest("none")); // no cover: no reply
    p->send(coverRequest("Red"));
    ReceivedMessage red = p->next();
    ASSERT_EQ(red.type, uint32_t(MSG_COVER));
    EXPECT_EQ(red.payload[22], 'R');
    EXPECT_TRUE(p->within(100).empty());
    EXPECT_EQ(fake.coverLookups.load(), 3);
}

TEST_F(Engine, AFifthConcurrentCoverRequestWaitsForAFreeLoader) {
    auto p = connectAndLogin();
    fake.holdCovers = true;
    for (uint32_t i = 0; i < 5; ++i)
        p->send(coverRequest("Album" + std::to_string(i), i));
    ASSERT_TRUE(waitUntil([&] { return fake.coverLookups.load() == 4; }));
    platform::sleepMs(30);
    EXPECT_EQ(fake.coverLookups.load(), 4); // the fifth is pending
    fake.releaseCovers.set();
    std::set<std::string> albums;
    for (int i = 0; i < 5; ++i) {
        ReceivedMessage m = p->next();
        ASSERT_EQ(m.type, uint32_t(MSG_COVER));
        CoverMessage c;
        ASSERT_TRUE(c.decode(m.payload.data(), m.payload.size()));
        albums.insert(c.album);
    }
    EXPECT_EQ(albums.size(), 5u);
}

TEST_F(Engine, TakeoverWithAllowKickOnNotifiesAndClosesTheFirstApp) {
    server.setAllowKick(true);
    auto first = connectAndLogin();
    Peer second(port);
    ReceivedMessage notice = first->nextOf(MSG_SERVER_NOTICE);
    EXPECT_EQ(notice.payload, Bytes{8});
    EXPECT_TRUE(first->client.closedByPeer());
    EXPECT_EQ(second.login(), 1); // reads and checks the greeting first
    // The kicked connection's close does not end the new session.
    platform::sleepMs(50);
    EXPECT_TRUE(server.loggedIn());
    EXPECT_FALSE(fake.called("onClientDisconnected()"));
}

TEST_F(Engine, SecondAppIsRefusedWithAllowKickOff) {
    auto first = connectAndLogin();
    Peer second(port);
    EXPECT_TRUE(second.client.closedByPeer());
    first->query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(first->next().type, uint32_t(MSG_CURRENT_INDEX));
}

TEST_F(Engine, ClosingTheSessionClearsItAndTellsTheDelegate) {
    auto p = connectAndLogin();
    EXPECT_TRUE(server.loggedIn());
    p.reset();
    EXPECT_TRUE(fake.waitFor("onClientDisconnected()"));
    EXPECT_FALSE(server.loggedIn());
    EXPECT_EQ(server.sessionConnection(), 0u);
    auto again = connectAndLogin();
    EXPECT_TRUE(server.loggedIn());
}

TEST_F(Engine, KickSessionClosesTheConnectionWithoutTellingTheDelegate) {
    auto p = connectAndLogin();
    server.kickSession();
    EXPECT_FALSE(server.loggedIn());
    EXPECT_TRUE(p->client.closedByPeer());
    platform::sleepMs(30);
    EXPECT_FALSE(fake.called("onClientDisconnected()"));
}

TEST_F(Engine, KeepaliveAndPingAreAnsweredWhileASlowRequestRuns) {
    auto p = connectAndLogin();
    fake.blockStatus = true;
    p->query(QUERY_PLAYER_STATUS);
    ASSERT_TRUE(fake.waitFor("getPlayerStatus()"));
    p->sendRaw(MSG_PING, {});
    ReceivedMessage k = p->next(1000);
    EXPECT_EQ(k.type, uint32_t(MSG_KEEPALIVE));
    fake.releaseStatus.set();
    EXPECT_EQ(p->next().type, uint32_t(MSG_PLAYER_STATUS));
}

TEST_F(Engine, QueryAndCommandBackToBackRunInOrder) {
    auto p = connectAndLogin();
    fake.clearCalls();
    Bytes both = encodeFrame(QueryMessage{2, 0, false, 0});
    PlayerCommandMessage c;
    c.command = CMD_NEXT;
    Bytes cmd = encodeFrame(c);
    both.insert(both.end(), cmd.begin(), cmd.end());
    p->client.sendAll(both);
    ASSERT_TRUE(fake.waitFor("playbackCommand(4)"));
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"getPlayerStatus()", "playbackCommand(4)"}));
}

// Keep-alive against a clock the test moves: a probe each interval, a kick after more than
// two silent intervals, and none while the app answers. The thread looks every 200 ms.
TEST_F(Engine, KeepaliveProbesAndKicksASilentApp) {
    server.keepalive().setClock(clock);
    Peer p(port);
    ASSERT_EQ(p.login("", 1, 1), 1);
    EXPECT_EQ(p.nextOf(MSG_KEEPALIVE).type, uint32_t(MSG_KEEPALIVE)); // the first probe
    clock.advance(1001);
    EXPECT_EQ(p.nextOf(MSG_KEEPALIVE).type, uint32_t(MSG_KEEPALIVE)); // one interval later
    clock.advance(998);                                               // 1999 ms of silence
    EXPECT_FALSE(p.client.closedByPeer(500));
    EXPECT_TRUE(server.loggedIn());
    clock.advance(2); // 2001 ms
    EXPECT_TRUE(p.client.closedByPeer(5000));
    EXPECT_TRUE(waitUntil([&] { return !server.loggedIn(); }));
}

TEST_F(Engine, KeepaliveFromTheAppKeepsTheSessionAlive) {
    WinampKeepaliveThread& k = server.keepalive();
    k.setClock(clock);
    Peer p(port);
    ASSERT_EQ(p.login("", 1, 1), 1); // kick after more than 2000 ms of silence
    for (int i = 0; i < 4; ++i) {    // 6 s in all, never 2 s without a keep-alive
        p.sendRaw(MSG_KEEPALIVE, {});
        ASSERT_TRUE(waitUntil([&] { return k.lastSeen() == clock.tickCount(); }));
        clock.advance(1500);
    }
    EXPECT_FALSE(p.client.closedByPeer(300));
    EXPECT_TRUE(server.loggedIn());
    p.query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(p.nextOf(MSG_CURRENT_INDEX).type, uint32_t(MSG_CURRENT_INDEX));
}

TEST_F(Engine, LoginWithoutKeepaliveByteNeverTimesOut) {
    server.keepalive().setClock(clock);
    Peer p(port);
    ASSERT_EQ(p.login("", 0, 0, false), 1);
    EXPECT_FALSE(server.keepalive().IsRunning());
    clock.advance(24 * 3600 * 1000);
    EXPECT_FALSE(p.client.closedByPeer(300));
}

// u32 tick arithmetic: while the counter has wrapped past last seen, no time-out is detected.
TEST_F(Engine, KeepaliveSeesNoTimeoutWhileTheTickCounterHasWrapped) {
    WinampKeepaliveThread& k = server.keepalive();
    k.setClock(clock);
    const uint64_t seen = 0x1FFFFF000ull; // tick 0xFFFFF000, 4096 ms before the wrap
    clock.setMonotonicMs(seen);
    Peer p(port);
    ASSERT_EQ(p.login("", 1, 1), 1);
    ASSERT_TRUE(waitUntil([&] { return k.lastSeen() == 0xFFFFF000u; }));
    clock.setMonotonicMs(0x200000005ull); // wrapped: now is not greater than last seen
    EXPECT_FALSE(p.client.closedByPeer(500));
    clock.setMonotonicMs(seen + 2000); // exactly two intervals: not yet
    EXPECT_FALSE(p.client.closedByPeer(500));
    clock.setMonotonicMs(seen + 2001);
    EXPECT_TRUE(p.client.closedByPeer(5000));
}

TEST(EngineLifetime, DestroyingTheServerWithALiveSessionEndsEverything) {
    platform::socketStartup();
    RecordingDelegate fake;
    auto server = std::make_unique<WinampControlServer>();
    server->setDelegate(&fake);
    ASSERT_TRUE(server->listen(0));
    Peer p(server->boundPort());
    ASSERT_EQ(p.login("", 1, 1), 1);
    p.query(QUERY_PLAYER_STATUS);
    server.reset();
    EXPECT_TRUE(p.client.closedByPeer());
}

TEST(EngineLifetime, WithoutDelegateGreetingAndLoginStillRun) {
    platform::socketStartup();
    WinampControlServer server;
    ASSERT_TRUE(server.listen(0));
    Peer p(server.boundPort());
    EXPECT_EQ(p.login(), 1);
    p.query(QUERY_PLAYER_STATUS);
    p.sendRaw(MSG_PING, {});
    auto got = p.within(100);
    // Capabilities after the result; no keep-alive answer, no status without a delegate.
    for (const ReceivedMessage& m : got)
        EXPECT_EQ(m.type, uint32_t(MSG_CAPABILITIES));
    server.transport().stopAll(true);
}
