#include "mpdhost/MpdPlayer.h"

#include "server/transport/ThreadWinApi.h"

#include <algorithm>

namespace mpdhost {

using mpdclient::Connection;

namespace {

// Every subsystem whose change the player shows.
constexpr unsigned kIdleMask = mpdclient::IdleDatabase | mpdclient::IdleStoredPlaylist |
                               mpdclient::IdleQueue | mpdclient::IdlePlayer | mpdclient::IdleMixer |
                               mpdclient::IdleOptions | mpdclient::IdleSticker;
// The wait between attempts to reach MPD again: doubling from the first to the last.
constexpr uint32_t kFirstRetryMs = 250;
constexpr uint32_t kLastRetryMs = 8000;

} // namespace

// Waits in MPD's idle on a connection of its own and applies what it hears; reconnects both
// connections when MPD goes away.
class MpdPlayer::IdleThread final : public ThreadWinApi {
public:
    IdleThread(MpdPlayer& owner, std::unique_ptr<Connection> idle)
        : owner_(owner), idle_(std::move(idle)) {}
    ~IdleThread() override { stopAndJoin(); }

    void Run() override {
        owner_.setIdle(idle_.get());
        uint32_t retryMs = kFirstRetryMs;
        bool away = false; // told the user that MPD went away
        while (!IsStopRequested()) {
            if (!idle_) {
                std::string error;
                std::unique_ptr<Connection> idle = owner_.connect(error);
                if (!idle) {
                    if (!away)
                        owner_.say("MPD at " + owner_.address() + " is away (" + error +
                                   "); trying again until it is back");
                    away = true;
                    if (WaitForStopRequest(retryMs))
                        break;
                    retryMs = std::min(retryMs * 2, kLastRetryMs);
                    continue;
                }
                idle_ = std::move(idle);
                owner_.setIdle(idle_.get());
                if (away)
                    owner_.say("MPD at " + owner_.address() + " is back: " + owner_.describe());
                away = false;
                retryMs = kFirstRetryMs;
            }
            if (IsStopRequested())
                break; // a stop after this check finds the connection and interrupts it
            unsigned changed = 0;
            if (!idle_->waitIdle(kIdleMask, changed) || !apply(changed)) {
                const std::string reason = idle_->error();
                owner_.setIdle(nullptr);
                idle_.reset();
                if (IsStopRequested())
                    break;
                {
                    platform::ScopedLock hold(owner_.mpd_->lock);
                    owner_.mpd_->disconnected();
                }
                if (!away)
                    owner_.say("lost MPD at " + owner_.address() + " (" + reason +
                               "); reconnecting");
                away = true;
            }
        }
        owner_.setIdle(nullptr);
    }

private:
    // A changed database (or stickers) is loaded on this connection without the backend's
    // lock, so requests under way go on with the library they had.
    bool apply(unsigned changed) {
        if (changed & (mpdclient::IdleDatabase | mpdclient::IdleSticker)) {
            auto library = std::make_unique<MpdLibrary>();
            std::string error;
            if (!loadLibrary(*idle_, *library, error))
                return !idle_->broken();
            platform::ScopedLock hold(owner_.mpd_->lock);
            owner_.mpd_->replaceLibrary(std::move(library));
        }
        platform::ScopedLock hold(owner_.mpd_->lock);
        owner_.mpd_->changed(changed);
        return true;
    }

    MpdPlayer& owner_;
    std::unique_ptr<Connection> idle_;
};

MpdPlayer::MpdPlayer(MpdOptions options)
    : Player(
          std::make_shared<MpdBackend>(options.address.describe(), options.coverCache,
                                       options.clock ? *options.clock : platform::systemClock())),
      options_(std::move(options)), mpd_(std::static_pointer_cast<MpdBackend>(backend_)) {
    mpd_->onBroken = [this] { interruptIdle(); };
}

MpdPlayer::~MpdPlayer() {
    if (thread_) {
        thread_->Stop(false);
        interruptIdle();
        thread_->Join();
        thread_.reset();
    }
    platform::ScopedLock hold(mpd_->lock);
    mpd_->onBroken = nullptr;
}

bool MpdPlayer::start(std::string& error) {
    std::unique_ptr<Connection> idle = connect(error);
    if (!idle)
        return false;
    thread_ = std::make_unique<IdleThread>(*this, std::move(idle));
    if (!thread_->Start()) {
        error = "cannot start the thread that follows MPD";
        thread_.reset();
        return false;
    }
    return true;
}

std::unique_ptr<Connection> MpdPlayer::connect(std::string& error) {
    std::unique_ptr<Connection> commands =
        Connection::open(options_.address, options_.timeoutMs, error);
    if (!commands)
        return nullptr;
    std::unique_ptr<Connection> idle =
        Connection::open(options_.address, options_.timeoutMs, error);
    if (!idle)
        return nullptr;
    auto library = std::make_unique<MpdLibrary>();
    if (!loadLibrary(*idle, *library, error))
        return nullptr;
    platform::ScopedLock hold(mpd_->lock);
    if (!mpd_->install(std::move(commands), std::move(library), error)) {
        mpd_->disconnected();
        return nullptr;
    }
    return idle;
}

void MpdPlayer::setIdle(Connection* connection) {
    std::lock_guard<std::mutex> hold(idleLock_);
    idleConnection_ = connection;
}

void MpdPlayer::interruptIdle() {
    std::lock_guard<std::mutex> hold(idleLock_);
    if (idleConnection_)
        idleConnection_->interrupt();
}

void MpdPlayer::say(const std::string& line) {
    if (options_.say)
        options_.say(line);
}

std::string MpdPlayer::address() const {
    return options_.address.describe();
}

std::string MpdPlayer::describe() {
    platform::ScopedLock hold(mpd_->lock);
    return std::to_string(mpd_->trackCount()) + " tracks, " +
           std::to_string(mpd_->playlistCount()) + " playlists";
}

} // namespace mpdhost
