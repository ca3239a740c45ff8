#include "tools/storm/StormApps.h"

#include "client/RemoteClient.h"
#include "common/ByteOrder.h"
#include "common/Utf.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "server/wire/Commands.h"
#include "server/wire/Messages.h"
#include "simhost/DemoLibrary.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <utility>

namespace storm {

using remote::ClientStatus;
using namespace wire;

void Tally::error(const std::string& what) {
    ++errors;
    std::lock_guard lock(mutex_);
    if (kinds_.size() < 50 || kinds_.count(what))
        ++kinds_[what];
}

std::vector<std::string> Tally::errorKinds() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& [what, count] : kinds_)
        out.push_back(std::to_string(count) + " x " + what);
    return out;
}

namespace {

constexpr uint32_t kConnectMs = 10000;
// The highest message type tried with random bodies: a few past the catalogue.
constexpr uint32_t kLastType = 60;

// Albums with their artists, and single words, from the demo library that tandravole-host
// plays by default: requests that find something as well as ones that find nothing.
struct Names {
    std::vector<std::pair<std::string, std::string>> albums;
    std::vector<std::string> words;
};

const Names& demoNames() {
    static const Names names = [] {
        Names n;
        std::set<std::pair<std::string, std::string>> albums;
        std::set<std::string> words;
        for (const auto& track : simhost::demoLibrary().tracks) {
            if (!track.album.empty())
                albums.emplace(utf16ToUtf8(track.album), utf16ToUtf8(track.artist));
            std::string name = utf16ToUtf8(track.name);
            words.insert(name.substr(0, name.find(' ')));
        }
        n.albums.assign(albums.begin(), albums.end());
        n.words.assign(words.begin(), words.end());
        return n;
    }();
    return names;
}

bool expired(uint32_t deadline, const std::atomic<bool>& stop) {
    return stop || int32_t(platform::tickCount() - deadline) >= 0;
}

class App {
public:
    App(const AppOptions& options, Tally& tally, uint32_t seed)
        : options_(options), tally_(tally), random_(seed) {
        client_.setPushHandler([this](const ReceivedMessage& m) { note(m); });
    }

    uint32_t below(uint32_t n) { return n ? uint32_t(random_() % n) : 0; }
    bool chance(uint32_t percent) { return below(100) < percent; }

    // Connects and takes the greeting; false when there is none (counted).
    bool connect() {
        noticeSeen_ = false;
        ++tally_.connections;
        ClientStatus status = client_.connect("127.0.0.1", options_.port, kConnectMs);
        if (status == ClientStatus::Ok)
            return true;
        if (status == ClientStatus::NoGreeting) {
            ++tally_.refused; // the session is held, or two connections are open already
            platform::sleepMs(below(20)); // as an app would, rather than at once
        } else
            tally_.error(std::string("connect: ") + remote::describeStatus(status));
        client_.close();
        return false;
    }

    // Logs in with the right password; false when the session ended first (counted).
    bool login(uint8_t keepalive) {
        keepalive_ = keepalive;
        ClientStatus status =
            client_.login(options_.password, chance(50), keepalive, options_.replyWaitMs);
        if (status == ClientStatus::Ok) {
            ++tally_.sessions;
            return true;
        }
        ended(status, "login with the right password");
        return false;
    }

    bool wrongPassword() {
        ClientStatus status =
            client_.login(options_.password + "?", false, 0, options_.replyWaitMs);
        if (status == ClientStatus::LoginRefused) {
            ++tally_.wrongPasswords;
            return true;
        }
        if (status == ClientStatus::Ok)
            tally_.error("a wrong password was accepted");
        else
            ended(status, "login with a wrong password");
        return false;
    }

    bool sendFrame(const std::vector<uint8_t>& frame, bool malformed = false) {
        ++tally_.requests;
        if (malformed)
            ++tally_.malformed;
        return client_.sendFrame(frame);
    }

    // Asks for the track text (a reply nothing else sends) and waits for it: every request
    // before it has been carried out by then.
    bool sync() {
        QueryMessage q;
        q.sub = QUERY_TRACK_TEXT;
        if (!sendFrame(encodeFrame(q)))
            return ended(ClientStatus::SendFailed, "a request");
        ReceivedMessage m;
        ClientStatus status = client_.waitForType(MSG_TRACK_TEXT, m, options_.replyWaitMs);
        if (status != ClientStatus::Ok)
            return ended(status, "the reply to a request");
        note(m);
        return true;
    }

    // Reads what arrives for ms; false when the connection ended.
    bool drain(uint32_t ms) {
        ReceivedMessage m;
        const uint32_t start = platform::tickCount();
        while (platform::tickCount() - start < ms) {
            ClientStatus status = client_.receive(m, ms - (platform::tickCount() - start));
            if (status == ClientStatus::Timeout)
                return true;
            if (status != ClientStatus::Ok)
                return ended(status, "reading");
            note(m);
        }
        return true;
    }

    void close() { client_.close(); }

    // One valid request, chosen at random among those that do not make the library grow (new
    // playlists and additions are left out, so the host's memory can be compared).
    std::vector<uint8_t> randomRequest() {
        const Names& names = demoNames();
        const auto& album = names.albums[below(uint32_t(names.albums.size()))];
        switch (below(12)) {
        case 0:
        case 1: {
            static const uint8_t kSubs[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,
                                            10, 11, 12, 13, 15, 16, 17, 18, 19};
            QueryMessage q;
            q.sub = kSubs[below(sizeof kSubs)];
            q.parameter = chance(30) ? 0xFFFFFFFFu : below(40);
            q.hasSecond = chance(50);
            q.second = below(300);
            if (chance(1)) { // a power action: the host only announces it
                q.sub = QUERY_POWER_ACTION;
                q.parameter = below(4) << 8;
            }
            return encodeFrame(q);
        }
        case 2: {
            static const uint8_t kCommands[] = {1, 2, 3,  4,  5,  6,  6,  6, 7,
                                                8, 9, 10, 13, 14, 15, 17, 18};
            PlayerCommandMessage c;
            c.command = kCommands[below(sizeof kCommands)];
            c.argument = uint32_t(random_());
            if (c.command == CMD_SEEK || c.command == CMD_SET_INDEX)
                c.argument = below(c.command == CMD_SEEK ? 600000 : 50);
            return encodeFrame(c);
        }
        case 3: {
            CoverRequestMessage r;
            r.album = chance(80) ? album.first : "no such album " + std::to_string(below(1000));
            r.hasArtist = chance(50);
            r.artist = album.second;
            r.tag1 = uint32_t(random_());
            r.tag2 = uint32_t(random_());
            r.tag3 = uint8_t(below(256));
            r.requestedSize = chance(50) ? 64 : 200;
            return encodeFrame(r);
        }
        case 4: {
            LibraryQueryExMessage q;
            q.requestId = uint32_t(random_());
            q.mask = below(16);
            q.texts = {"", album.second, album.first, ""};
            return encodeFrame(q);
        }
        case 5: {
            LibraryQueryMessage q;
            q.requestId = uint32_t(random_());
            q.has = {uint8_t(chance(30)), uint8_t(chance(50)), uint8_t(chance(30))};
            q.texts = {"Rock", album.second, album.first};
            return encodeFrame(q);
        }
        case 6: {
            SearchMessage s;
            s.searchId = uint32_t(random_());
            s.text = names.words[below(uint32_t(names.words.size()))];
            return encodeFrame(s);
        }
        case 7: {
            EqualizerMessage e;
            for (uint16_t f : {60, 170, 310, 600, 1000, 3000, 6000, 12000, 14000, 16000})
                e.setting.bands.push_back({f, uint16_t(below(201))});
            e.setting.preamp = uint16_t(below(201));
            return encodeFrame(e);
        }
        case 8: {
            SleepTimerMessage t;
            t.enabled = chance(50);
            t.mode = below(2);
            t.action = below(2); // stop or pause: nothing that would end the host's run
            t.seconds = 60 + below(3600);
            return encodeFrame(t);
        }
        case 9: {
            MoveNowPlayingMessage move;
            move.from = below(20);
            move.to = below(20);
            return encodeFrame(move);
        }
        case 10: {
            FillNowPlayingMessage fill;
            fill.kind = uint8_t(below(3));
            fill.rating = uint8_t(below(6));
            fill.orHigher = uint8_t(below(2));
            return encodeFrame(fill);
        }
        default:
            return chance(50) ? encodeFrame(PingMessage{}) : encodeFrame(KeepaliveMessage{});
        }
    }

    std::vector<uint8_t> randomBytes(size_t n) {
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes)
            b = uint8_t(random_());
        return bytes;
    }

    uint8_t keepalive() const { return keepalive_; }
    remote::RemoteClient& client() { return client_; }
    const AppOptions& options() const { return options_; }
    Tally& tally() { return tally_; }

private:
    // Checks and counts a message the server sent.
    void note(const ReceivedMessage& m) {
        ++tally_.received;
        if (m.type == MSG_COVER)
            ++tally_.covers;
        bool decoded = visitMessage(m.type, m.payload.data(), m.payload.size(),
                                    Direction::ServerToClient, [](const auto&) {});
        if (!decoded)
            tally_.error("undecodable message of type " + std::to_string(m.type) + ", " +
                         std::to_string(m.payload.size()) + " bytes");
        if (auto notice = remote::decodeAs<ServerNoticeMessage>(m))
            noticeSeen_ = noticeSeen_ || notice->reason == NOTICE_TAKEN_OVER;
        if (client_.envelopesDropped() != envelopesDropped_) {
            envelopesDropped_ = client_.envelopesDropped();
            tally_.error("a compressed envelope that does not open");
        }
    }

    // Sorts out why a wait ended early; always false.
    bool ended(ClientStatus status, const char* waitingFor) {
        if (status == ClientStatus::Closed || status == ClientStatus::SendFailed) {
            if (noticeSeen_ || options_.kickAllowed)
                ++tally_.takenOver; // before a login there is no notice to see
            else if (keepalive_ != 0)
                ++tally_.keepaliveEnded; // a loaded machine may delay an answer to a probe
            else
                tally_.error(std::string("closed without a notice while waiting for ") +
                             waitingFor);
        } else {
            tally_.error(std::string(remote::describeStatus(status)) + " while waiting for " +
                         waitingFor);
        }
        client_.close();
        return false;
    }

    AppOptions options_;
    Tally& tally_;
    std::mt19937 random_;
    remote::RemoteClient client_;
    bool noticeSeen_ = false;
    uint8_t keepalive_ = 0;
    uint32_t envelopesDropped_ = 0;
};

// --- what a storm app does, one connection each ---------------------------------------------

void session(App& app, uint32_t deadline, const std::atomic<bool>& stop) {
    static const uint8_t kKeepalives[] = {0, 0, 2, 5};
    if (!app.connect() || !app.login(kKeepalives[app.below(4)]))
        return;
    for (uint32_t batch = 1 + app.below(4); batch > 0 && !expired(deadline, stop); --batch) {
        for (uint32_t n = 3 + app.below(23); n > 0; --n)
            if (!app.sendFrame(app.randomRequest()))
                return (void)app.sync(); // counts how it ended
        if (app.chance(15))
            app.sendFrame(encodeFrame(QuietMessage{}));
        // A pause in reading, shorter than the keep-alive's patience.
        if (app.chance(20) && (app.keepalive() == 0 || app.keepalive() >= 5))
            platform::sleepMs(app.below(1500));
        if (!app.sync() || !app.drain(app.below(50)))
            return;
    }
    if (app.chance(30)) { // gone in the middle of a frame
        std::vector<uint8_t> frame = app.randomRequest();
        frame.resize(1 + app.below(uint32_t(frame.size() - 1)));
        app.sendFrame(frame, true);
    }
    app.close();
}

void wrongThenRight(App& app) {
    if (!app.connect() || !app.wrongPassword() || !app.login(0))
        return;
    if (app.sync())
        app.close();
}

void garbageBeforeARequest(App& app) {
    if (!app.connect() || !app.login(0))
        return;
    std::vector<uint8_t> garbage = app.randomBytes(1 + app.below(3000));
    // Random bytes holding the magic by chance would be a frame, not garbage.
    for (size_t i = 0; i + 4 <= garbage.size(); ++i)
        if (loadLE32(&garbage[i]) == kMagic)
            garbage[i] ^= 0xFF;
    app.sendFrame(garbage, true);
    if (app.sync())
        app.close();
}

void everyTypeWithRandomBodies(App& app) {
    if (!app.connect())
        return;
    bool loggedIn = app.chance(70) && app.login(0);
    if (!loggedIn && !app.client().connected())
        return;
    for (int n = 0; n < 8; ++n) {
        uint32_t type = app.below(kLastType + 1);
        size_t length = app.chance(50) ? app.below(17) : 17 + app.below(3000);
        std::vector<uint8_t> body = app.randomBytes(length);
        if (type == MSG_QUERY && !body.empty() && body[0] == QUERY_POWER_ACTION)
            body[0] = QUERY_PLAYER_STATUS; // power actions only now and then, as requests
        if (!app.sendFrame(buildFrame(type, body), true))
            break;
    }
    if (!loggedIn || app.sync())
        app.close();
}

void hugeLengthThenGone(App& app) {
    if (!app.connect() || (app.chance(50) && !app.login(0)))
        return;
    static const uint32_t kLengths[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 1u << 24};
    std::vector<uint8_t> header(kHeaderSize);
    writeHeader(header.data(), app.below(kLastType + 1), kLengths[app.below(4)]);
    app.sendFrame(header, true);
    app.sendFrame(app.randomBytes(app.below(65536)), true);
    app.close();
}

// Asks for keep-alive every second and never answers: the server must end the session after
// two silent seconds. Raw socket, so that nothing answers the probes behind the app's back.
void silentWithKeepalive(App& app) {
    Tally& tally = app.tally();
    ++tally.connections;
    platform::SocketHandle s = platform::connectTcp4("127.0.0.1", app.options().port, kConnectMs);
    if (s == platform::kInvalidSocket) {
        tally.error("connect failed");
        return;
    }
    FrameSplitter splitter;
    ReceivedMessage m;
    uint8_t buffer[4096];
    bool greeted = false, closed = false;
    const uint32_t start = platform::tickCount();
    // Generous: the time-out is two seconds, a loaded sanitizer build may take much longer.
    while (!closed && platform::tickCount() - start < app.options().replyWaitMs) {
        if (platform::selectReadable(s, 100000) != 1)
            continue;
        int n = platform::recvSome(s, buffer, sizeof buffer);
        if (n <= 0) {
            closed = true;
            break;
        }
        splitter.append(buffer, size_t(n));
        while (!greeted && splitter.next(m)) {
            auto hello = remote::decodeAs<HelloMessage>(m);
            if (!hello)
                continue;
            greeted = true;
            LoginMessage login;
            login.response = remote::loginResponse(app.options().password, hello->challenge);
            login.hasOptions = true;
            login.keepaliveSeconds = 1;
            std::vector<uint8_t> frame = encodeFrame(login);
            ++tally.requests;
            platform::sendSome(s, frame.data(), frame.size());
        }
        if (greeted)
            splitter.clear();
    }
    platform::closeSocket(s);
    if (!greeted)
        ++tally.refused;
    else if (closed)
        ++tally.keepaliveEnded; // or taken over: either way the session ended
    else
        tally.error("an app silent with keep-alive 1 s was still connected after " +
                    std::to_string(app.options().replyWaitMs) + " ms");
}

} // namespace

void runStormApp(const AppOptions& options, Tally& tally, uint32_t deadline,
                 const std::atomic<bool>& stop) {
    App app(options, tally, options.seed);
    while (!expired(deadline, stop)) {
        uint32_t pick = app.below(100);
        if (pick < 45)
            session(app, deadline, stop);
        else if (pick < 55)
            wrongThenRight(app);
        else if (pick < 65)
            garbageBeforeARequest(app);
        else if (pick < 80)
            everyTypeWithRandomBodies(app);
        else if (pick < 90)
            hugeLengthThenGone(app);
        else if (pick < 93)
            silentWithKeepalive(app);
        else { // connect and leave at once, mid-greeting
            if (app.connect())
                app.close();
        }
    }
}

void runBusyApp(const AppOptions& options, Tally& tally, const std::atomic<bool>& stop,
                bool reconnect) {
    App app(options, tally, options.seed);
    const Names& names = demoNames();
    do {
        if (!app.connect() || !app.login(2)) {
            platform::sleepMs(20);
            continue;
        }
        for (uint32_t i = 0; !stop; ++i) {
            const auto& album = names.albums[i % names.albums.size()];
            CoverRequestMessage cover;
            cover.album = album.first;
            cover.tag1 = i;
            cover.requestedSize = 200;
            SearchMessage search;
            search.searchId = i;
            search.text = names.words[i % names.words.size()];
            if (!app.sendFrame(encodeFrame(cover)) || !app.sendFrame(encodeFrame(search)) ||
                !app.client().query(QUERY_NOW_PLAYING, 0) ||
                !app.client().query(QUERY_ARTISTS, 0) ||
                !app.client().command(CMD_VOLUME, (i % 100) << 16) || !app.sync())
                break;
            app.tally().requests += 3;
        }
        app.close();
    } while (reconnect && !stop);
}

std::string freshAppGetsStatus(const AppOptions& options) {
    remote::RemoteClient app;
    ClientStatus status = app.connect("127.0.0.1", options.port, kConnectMs);
    if (status == ClientStatus::Ok)
        status = app.login(options.password, true, 0, options.replyWaitMs);
    if (status != ClientStatus::Ok)
        return std::string("connecting and logging in: ") + remote::describeStatus(status);
    ReceivedMessage m;
    if (!app.query(QUERY_PLAYER_STATUS, 0))
        return "sending the status request failed";
    status = app.waitForType(MSG_PLAYER_STATUS, m, options.replyWaitMs);
    if (status != ClientStatus::Ok)
        return std::string("waiting for the status: ") + remote::describeStatus(status);
    if (!remote::decodeAs<PlayerStatusMessage>(m))
        return "the status does not decode";
    return {};
}

} // namespace storm
