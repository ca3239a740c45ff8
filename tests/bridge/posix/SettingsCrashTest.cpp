// A process killed (SIGKILL) at a random moment while it saves the settings, many times over:
// the store's file must always hold either the record saved before or the one being saved,
// never a mix, never a damaged file and never a missing one. The same for the player's stock
// equalizer presets: whenever the first start is killed while it writes them, the next start
// must end up with all of them.
#include "bridge/PluginSettings.h"
#include "platform/Registry.h"
#include "simhost/Presets.h"
#include "simhost/SimPlayer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using std::chrono::steady_clock;

namespace {

class SettingsCrash : public ::testing::Test {
protected:
    SettingsCrash() { platform::setRegistryStoreFile(file.string()); }

    // 60 times: runs `work` over and over in a child process killed at a random moment within
    // twice what one call of it takes here, then reads the store again as the next start would
    // and runs `check`. What a killed writer leaves beside the store must be gone by then.
    void killRepeatedly(const std::function<void()>& work, const std::function<void()>& check) {
        const auto start = steady_clock::now();
        for (int i = 0; i < 5; ++i)
            work();
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
            (steady_clock::now() - start) / 5);
        const uint32_t span = uint32_t(2 * std::max<int64_t>(us.count(), 1));
        std::mt19937 random(uint32_t(::getpid()));
        for (int round = 0; round < 60; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            platform::setRegistryStoreFile(file.string());
            pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0)
                for (;;)
                    work();
            ::usleep(random() % span);
            ::kill(pid, SIGKILL);
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFSIGNALED(status));
            platform::setRegistryStoreFile(file.string());
            ASSERT_EQ(platform::registryStoreProblem(), "");
            check();
            for (const auto& entry : fs::directory_iterator(folder.path))
                EXPECT_EQ(entry.path(), file) << "a stray file";
        }
    }

    testing_support::TempFolder folder;
    fs::path file = folder.path / "settings.reg";
};

TEST_F(SettingsCrash, AKilledSaveLeavesTheOldOrTheNewRecord) {
    PluginSettings old,
        next{false, false, u"n\u00e9w password", 4321, 1, false, true, 0x1234, true, true};
    old.password = u"old";
    // The child saves the new record and the old one in turn, from the state on disk.
    killRepeatedly(
        [&] {
            SaveSettings(next);
            SaveSettings(old);
        },
        [&] {
            PluginSettings loaded;
            LoadSettings(loaded);
            EXPECT_TRUE(loaded == old || loaded == next) << "a mix";
        });
}

TEST_F(SettingsCrash, AFirstStartKilledWhileWritingThePresetsLeavesAllOfThemToTheNext) {
    const std::u16string path = simhost::presetsKeyPath(simhost::kSimMajorVersion);
    size_t stockCount = 0;
    const simhost::StockPreset* stock = simhost::stockPresets(stockCount);
    killRepeatedly(
        [&] {
            platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser, path);
            simhost::installEqualizerPresets(simhost::kSimMajorVersion);
        },
        [&] {
            ASSERT_EQ(simhost::installEqualizerPresets(simhost::kSimMajorVersion), "");
            platform::RegistryKey key;
            ASSERT_TRUE(key.open(platform::RegistryRoot::CurrentUser, path));
            for (size_t i = 0; i < stockCount; ++i) {
                std::u16string units = simhost::encodePresetValue(stock[i]);
                EXPECT_EQ(key.readString(stock[i].name), units.substr(0, units.size() - 1)) << i;
            }
        });
}

} // namespace
