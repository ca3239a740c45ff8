// A process killed (SIGKILL) at a random moment while it saves the settings, many times over:
// the store's file must always hold either the record saved before or the one being saved,
// never a mix, never a damaged file and never a missing one. The same for the player's stock
// equalizer presets: whenever the first start is killed while it writes them, the next start
// must end up with all of them.
#include "bridge/PluginSettings.h"
#include "platform/Registry.h"
#include "simhost/Presets.h"
#include "simhost/SimPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 60;

struct Scratch {
    fs::path folder = fs::temp_directory_path() /
                      ("tandravole-crash-" + std::to_string(::getpid()) + "-" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::path file = folder / "settings.reg";
    Scratch() { fs::create_directories(folder); }
    ~Scratch() { fs::remove_all(folder); }
    // Files beside the store other than the store itself: leftovers and damaged copies.
    std::vector<std::string> strays() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path() != file)
                out.push_back(entry.path().filename().string());
        return out;
    }
};

// Runs `work` forever in a child process and kills it after `delayUs`.
void killMidway(const std::function<void()>& work, uint32_t delayUs) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        for (;;)
            work();
    }
    ::usleep(delayUs);
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status));
}

// How long one call of `work` takes here, in microseconds (at least 1).
uint32_t durationUs(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        work();
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count() /
              5;
    return uint32_t(std::max<int64_t>(us, 1));
}

TEST(SettingsCrash, AKilledSaveLeavesTheOldOrTheNewRecord) {
    Scratch scratch;
    platform::setRegistryStoreFile(scratch.file.string());
    PluginSettings old;
    old.password = u"old";
    PluginSettings next{false, false, u"n\u00e9w password", 4321, 1, false, true, 0x1234,
                        true,  true};
    const uint32_t saveUs = durationUs([&] { SaveSettings(next); });
    SaveSettings(old);

    std::mt19937 random(uint32_t(::getpid()));
    int seen[2] = {0, 0};
    for (int round = 0; round < kRounds; ++round) {
        // The child saves the new record and the old one in turn, from the state on disk.
        killMidway(
            [&] {
                SaveSettings(next);
                SaveSettings(old);
            },
            random() % (4 * saveUs));
        platform::setRegistryStoreFile(scratch.file.string()); // read the file again
        ASSERT_EQ(platform::registryStoreProblem(), "") << "round " << round;
        PluginSettings loaded;
        LoadSettings(loaded);
        ASSERT_TRUE(loaded == old || loaded == next) << "round " << round << ": a mix";
        ++seen[loaded == next];
        // What a killed writer leaves behind is gone once the store has been read again.
        EXPECT_EQ(scratch.strays(), std::vector<std::string>()) << "round " << round;
    }
    std::printf("%d kills: %d left the old record, %d the new one (one save takes %u us)\n",
                kRounds, seen[0], seen[1], saveUs);
}

TEST(SettingsCrash, AFirstStartKilledWhileWritingThePresetsLeavesAllOfThemToTheNext) {
    Scratch scratch;
    const std::u16string path = simhost::presetsKeyPath(simhost::kSimMajorVersion);
    size_t stockCount = 0;
    const simhost::StockPreset* stock = simhost::stockPresets(stockCount);
    auto freshInstall = [&] {
        platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser, path);
        simhost::installEqualizerPresets(simhost::kSimMajorVersion);
    };
    platform::setRegistryStoreFile(scratch.file.string());
    const uint32_t installUs = durationUs(freshInstall);

    std::mt19937 random(uint32_t(::getpid()));
    for (int round = 0; round < kRounds; ++round) {
        platform::setRegistryStoreFile(scratch.file.string());
        killMidway(freshInstall, random() % (2 * installUs));
        // The next start.
        platform::setRegistryStoreFile(scratch.file.string());
        ASSERT_EQ(platform::registryStoreProblem(), "") << "round " << round;
        ASSERT_EQ(simhost::installEqualizerPresets(simhost::kSimMajorVersion), "");
        platform::RegistryKey key;
        ASSERT_TRUE(key.open(platform::RegistryRoot::CurrentUser, path));
        for (size_t i = 0; i < stockCount; ++i) {
            auto value = key.readString(stock[i].name);
            ASSERT_TRUE(value) << "round " << round << ": preset " << i << " missing";
            std::u16string units = simhost::encodePresetValue(stock[i]);
            EXPECT_EQ(*value, units.substr(0, units.size() - 1)) << "round " << round;
        }
        EXPECT_EQ(scratch.strays(), std::vector<std::string>()) << "round " << round;
    }
}

} // namespace
