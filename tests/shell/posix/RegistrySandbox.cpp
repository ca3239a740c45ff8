#include "tests/shell/RegistrySandbox.h"

#include "platform/Registry.h"

#include <chrono>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

struct RegistrySandbox::Impl {
    fs::path dir;
};

RegistrySandbox::RegistrySandbox() : impl_(std::make_unique<Impl>()) {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    impl_->dir = fs::temp_directory_path() / ("tandravole-shell-" + std::to_string(stamp) + "-" +
                                              std::to_string(std::random_device{}()));
    fs::create_directories(impl_->dir);
    platform::setRegistryStoreFile((impl_->dir / "registry").string());
}

RegistrySandbox::~RegistrySandbox() {
    std::error_code ec;
    fs::remove_all(impl_->dir, ec);
}

bool RegistrySandbox::refuseChanges() {
    // A folder where the store's file should be: no change can be written any more.
    std::error_code ec;
    fs::remove(impl_->dir / "registry", ec);
    return fs::create_directories(impl_->dir / "registry" / "blocked", ec);
}
