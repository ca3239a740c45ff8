// The protocol engine: the TcpServerDelegate of its own transport. It keeps the one client
// session, greets each new connection with a challenge, checks the MD5 login, decides on
// takeovers, cuts the shared parse buffer into messages, handles login, quiet, keep-alive and
// ping at once on the network thread and queues everything else for the processing thread,
// and applies one send rule to everything it sends.
//
// Sources by topic: WinampControlServer.cpp (lifetime, session state, accept / close / kick,
// receiving, the send rule), ...Login.cpp (greeting, challenge, login), ...Pushes.cpp (the
// sending operations and list replies), ...Dispatch.cpp (the handlers, with tables for the
// MSG_QUERY sub-requests and the MSG_PLAYER_COMMAND commands).
//
// Send rule: messages go to the session connection only while it is logged in and not quiet.
// MSG_HELLO and MSG_LOGIN_RESULT need neither; MSG_KEEPALIVE, MSG_CAPABILITIES,
// MSG_SERVER_NOTICE, MSG_EQUALIZER, MSG_EQUALIZER_PRESETS, MSG_TRACK_TEXT and every
// MSG_COMPRESSED envelope need only the login. Cover replies need neither (sendToSession).
//
// Power actions (MSG_QUERY 14) are honoured only while "password used" is set: each login
// attempt sets it from whether a password is configured, whatever its outcome, and only
// kickSession clears it (a session that simply closed leaves it for the next connection).
//
// Failures: no exception leaves the dispatch of one message. A message whose handling throws
// is dropped like a malformed one; a throwing session event of the delegate ends that call
// only. Both are reported through the log seam (common/Log.h), as are the session's events:
// accepted, refused, takeover, login accepted or refused, kicked, closed.
//
// Only the session connection's bytes reach the parse buffer: a connection that was taken over
// or kicked is on its way out, and its late bytes are dropped; a new session starts with an
// empty parse buffer (an unfinished frame of a kicked app is dropped). A kicked connection that
// closes while no session has followed it stops the cover loader's threads.
//
// Locks, outer first: transport delegate lock -> parse lock -> session lock -> transport map
// lock -> a connection's buffer lock. The session lock is recursive (kickSession inside
// clientAccepted). The delegate is called without the session lock, except
// onClientConnected (inside clientAccepted). Immediate messages are dispatched with the parse
// lock and the transport's delegate lock held, so onClientLogin runs under both.
#pragma once

#include "platform/Sync.h"
#include "server/engine/CoverLoader.h"
#include "server/engine/MessageProcessorThread.h"
#include "server/engine/WinampControlServerDelegate.h"
#include "server/engine/WinampKeepaliveThread.h"
#include "server/transport/TcpServer.h"
#include "server/wire/Commands.h"
#include "server/wire/Frame.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

class WinampControlServer : public TcpServerDelegate, public CoverReplySink {
public:
    WinampControlServer();
    ~WinampControlServer() override;
    WinampControlServer(const WinampControlServer&) = delete;
    WinampControlServer& operator=(const WinampControlServer&) = delete;

    // --- configuration (the control, before listening) ---
    void setDelegate(WinampControlServerDelegate* delegate) { delegate_ = delegate; }
    WinampControlServerDelegate* delegate() const { return delegate_; }
    void setPassword(const std::string& utf8);
    void setAllowKick(bool allow);
    void setCapabilityFlag(size_t index, bool on);
    void setAllCapabilities();
    uint64_t capabilityMask();

    bool listen(uint16_t port) { return transport_.listen(port); }
    uint16_t boundPort() { return transport_.boundPort(); }
    TcpServer& transport() { return transport_; }
    WinampKeepaliveThread& keepalive() { return *keepalive_; }
    MessageProcessorThread& processor() { return *processor_; }
    CoverLoader& coverLoader() { return *coverLoader_; }
    wire::CompressionMode compressionMode() const {
        return wire::CompressionMode(compression_.load());
    }

    // Ends the session: stops its connection (without waiting) and clears the session state.
    // The delegate is not told; the parse buffer and the queue stay as they are.
    void kickSession();

    // --- session state, for the control's own pushes (read under sessionLock()) ---
    platform::CriticalSection& sessionLock() { return sessionLock_; }
    bool loggedIn();
    bool quiet();
    bool extendedLists();
    uint32_t sessionConnection();

    // --- sending operations; each does nothing when the send rule refuses ---
    void sendTrackInfo(const TrackInfo& track);
    void sendPlayerStatus(const PlayerStatus& status);
    void sendCurrentIndex(uint32_t index); // 0xFFFFFFFF sends nothing
    // MSG_PLAYLIST_CHANGED, or MSG_NOW_PLAYING_CHANGED for 0xFFFFFFFF
    void sendListChanged(uint32_t playlistId);
    void sendPlaylistsChanged();
    void sendEqualizer(const EqualizerSetting& setting, uint16_t range, uint8_t kind,
                       uint8_t enabled, bool supported);
    // Delegate values; a mode other than 0..1 or an action other than 0..2 sends nothing.
    void sendSleepTimer(bool enabled, uint32_t mode, uint32_t action, uint32_t seconds);
    void sendKeepalive();
    void sendCapabilities();
    void sendServerNotice(uint8_t reason); // logged in only
    void sendUpdateNotice(const std::string& text);
    // Compressed envelope of a large reply (logged in only); plain when it does not compress.
    void sendLarge(const uint8_t* payload, size_t length, uint32_t type);
    // Hands bytes to the session connection; false when there is none.
    bool sendToSession(const uint8_t* bytes, uint32_t count) override;
    bool sendToSession(const std::vector<uint8_t>& frame) {
        return sendToSession(frame.data(), uint32_t(frame.size()));
    }
    WinampControlServerDelegate* coverDelegate() override { return delegate_; }
    bool coverSessionOpen() override { return sessionConnection() != 0; }

    // Handles one received message (network thread for the immediate types, the processing
    // thread for the rest). Never throws: a message whose handling throws is dropped and the
    // failure logged.
    void dispatch(const wire::ReceivedMessage& message);

    // --- TcpServerDelegate ---
    bool clientAccepted(TcpServer* server, uint32_t connectionId, uint32_t peerAddress) override;
    void clientClosed(TcpServer* server, uint32_t connectionId) override;
    void dataReceived(TcpServer* server, uint32_t connectionId, uint32_t count) override;

private:
    friend struct EngineHandlers;
    enum class Rule { LoggedInNotQuiet, LoggedIn };

    // Core (WinampControlServer.cpp)
    bool permits(Rule rule);
    void sendFrame(Rule rule, const std::vector<uint8_t>& frame);
    // Whether MSG_QUERY 14 may start a power action ("password used").
    bool powerActionsAllowed();
    // Tells the delegate (if any) of a session event; a throw ends that call only and is
    // reported as "connection N: the delegate's <name> failed".
    void tellDelegate(uint32_t connectionId, const char* name,
                      const std::function<void(WinampControlServerDelegate&)>& event);
    // Pushes (WinampControlServerPushes.cpp)
    // List replies: whole up to 4096 bytes, the compressed envelope above that.
    void sendListReply(const std::vector<uint8_t>& frame);
    void sendLibraryList(uint32_t requestId, WinampMediaLibraryListBase* list);
    // MSG_LIBRARY_LIST of a list already in the session's form.
    void sendLibraryListAs(uint32_t requestId, const WinampMediaLibraryListBase& sent);
    void sendSearchResults(uint32_t searchId, WinampMediaLibraryListBase* list);
    // Login (WinampControlServerLogin.cpp)
    void sendHello(uint32_t connectionId);
    bool responseAccepted(const std::array<uint8_t, 16>& response);
    void login(const wire::ReceivedMessage& message);
    // Dispatch (WinampControlServerDispatch.cpp): dispatch() runs handle() guarded.
    void handle(const wire::ReceivedMessage& message);

    // Declared first so it is destroyed last, after every thread that uses it has stopped.
    TcpServer transport_;

    wire::FrameSplitter parseBuffer_;
    platform::CriticalSection parseLock_;
    std::atomic<uint32_t> compression_{uint32_t(wire::CompressionMode::Fast)};

    // Under the session lock.
    uint8_t allowKick_ = 0;
    std::string password_;
    std::array<uint8_t, 8> challenge_{};
    wire::CapabilityFlags capabilities_{};
    std::mt19937 random_;
    uint8_t loggedIn_ = 0;
    uint8_t quiet_ = 0;
    uint8_t passwordUsed_ = 0;
    uint8_t extendedLists_ = 0;
    uint32_t session_ = 0;
    platform::CriticalSection sessionLock_;

    std::atomic<WinampControlServerDelegate*> delegate_{nullptr};
    std::unique_ptr<CoverLoader> coverLoader_;
    std::unique_ptr<WinampKeepaliveThread> keepalive_;
    std::unique_ptr<MessageProcessorThread> processor_;
};
