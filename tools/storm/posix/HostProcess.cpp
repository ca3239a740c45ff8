#include "tools/storm/posix/HostProcess.h"

#include "bridge/PluginSettings.h"
#include "platform/Clock.h"
#include "platform/Registry.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace storm {

namespace {

// A long soak prints power actions and errors for hours: the oldest half of the text goes once
// it passes this size (the start line has long been read by then).
constexpr size_t kKeptOutput = size_t(4) << 20;

uint32_t countEntries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    uint32_t n = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            ++n;
    ::closedir(dir);
    return n;
}

} // namespace

void writeHostSettings(const std::string& dataDir, bool kickAllowed) {
    std::filesystem::create_directories(dataDir);
    platform::setRegistryStoreFile((std::filesystem::path(dataDir) / "settings.reg").string());
    PluginSettings settings;
    settings.allowKick = kickAllowed;
    settings.updateCheck = false;
    settings.bonjour = false;
    SaveSettings(settings);
}

bool hasSanitizerReport(const std::string& text) {
    for (const char* marker :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer",
          "ERROR: ThreadSanitizer", "runtime error:", "SUMMARY: UndefinedBehaviorSanitizer"})
        if (text.find(marker) != std::string::npos)
            return true;
    return false;
}

HostProcess::HostProcess(const std::string& program, const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    pid_ = pid;
    reader_ = std::thread([this, fd = fds[0]] { readOutput(fd); });
}

HostProcess::~HostProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable())
        reader_.join();
}

void HostProcess::readOutput(int fd) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        std::lock_guard lock(mutex_);
        output_.append(buffer, size_t(n));
        if (output_.size() > kKeptOutput)
            output_.erase(0, kKeptOutput / 2);
    }
    ::close(fd);
    std::lock_guard lock(mutex_);
    outputEnded_ = true;
}

std::string HostProcess::output() {
    std::lock_guard lock(mutex_);
    return output_;
}

bool HostProcess::waitForOutput(const std::string& text, uint32_t ms) {
    const uint32_t start = platform::tickCount();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (output_.find(text) != std::string::npos)
                return true;
            if (outputEnded_)
                return false;
        }
        if (platform::tickCount() - start >= ms)
            return false;
        platform::sleepMs(5);
    }
}

uint16_t HostProcess::waitForPort(uint32_t ms) {
    const std::string marker = "listening on port ";
    if (!waitForOutput(marker, ms) || !waitForOutput(" on every interface", ms))
        return 0;
    std::string text = output();
    long port = std::strtol(text.c_str() + text.find(marker) + marker.size(), nullptr, 10);
    return port > 0 && port < 65536 ? uint16_t(port) : 0;
}

void HostProcess::signal(int number) {
    if (pid_ > 0)
        ::kill(pid_, number);
}

std::optional<int> HostProcess::waitForExit(uint32_t ms) {
    if (pid_ <= 0)
        return std::nullopt;
    const uint32_t start = platform::tickCount();
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (reader_.joinable())
                reader_.join();
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (platform::tickCount() - start >= ms)
            return std::nullopt;
        platform::sleepMs(2);
    }
}

ProcessFigures HostProcess::figures() const {
    ProcessFigures f;
    if (pid_ <= 0)
        return f;
    const std::string proc = "/proc/" + std::to_string(pid_);
    f.threads = countEntries(proc + "/task");
    f.descriptors = countEntries(proc + "/fd");
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            f.residentKb = std::strtoull(line.c_str() + 6, nullptr, 10);
    return f;
}

} // namespace storm
