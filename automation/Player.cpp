#include "automation/Player.h"

namespace automation {

Player::Player(std::shared_ptr<PlayerBackend> backend)
    : backend_(std::move(backend)), root_(makeRootObject(backend_)) {}

Player::~Player() {
    setWindowMessageHandler({});
    setWakeHandler({});
}

std::optional<uint64_t> Player::msUntilNextChange() {
    platform::ScopedLock hold(backend_->lock);
    if (backend_->eventsPending())
        return 0;
    return std::nullopt;
}

void Player::setWindowMessageHandler(WindowMessageFn fn) {
    platform::ScopedLock hold(backend_->lock);
    backend_->windowFn = std::move(fn);
}

void Player::setWakeHandler(std::function<void()> fn) {
    platform::ScopedLock hold(backend_->lock);
    backend_->wakeFn = std::move(fn);
}

} // namespace automation
