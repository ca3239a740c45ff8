// tandravole-host run as a process, as a person runs it: its start line, an app logged in,
// SIGTERM or Ctrl-C ending the session with notice 2 and the process with 0; mistakes on the
// command line end it with 2 and a line on stderr; --version and --help with 0.
#include "client/RemoteClient.h"
#include "platform/Socket.h"
#include "server/wire/Commands.h"
#include "server/wire/Messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// The process with its stdout (and stderr) on a pipe.
struct HostProcess {
    pid_t pid = -1;
    int output = -1;

    explicit HostProcess(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        args.insert(args.begin(), TANDRAVOLE_HOST_EXE);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        output = fds[0];
    }
    ~HostProcess() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output >= 0)
            close(output);
    }
    // Reads until `text` has been printed or the output ends; everything read so far.
    std::string readUntil(const std::string& text) {
        char buffer[512];
        ssize_t n;
        while (seen.find(text) == std::string::npos && (n = read(output, buffer, 512)) > 0)
            seen.append(buffer, size_t(n));
        return seen;
    }
    // The exit code; -1 when it did not exit by itself within ms.
    int exitCode(uint32_t ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }
    std::string seen;
};

std::string scratchFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return (std::filesystem::temp_directory_path() /
            ("tandravole-host-process-" + std::to_string(stamp)))
        .string();
}

TEST(HostProcess, ASignalEndsTheSessionWithNoticeTwoAndTheProcessWithZero) {
    ASSERT_TRUE(platform::socketStartup());
    for (int signal : {SIGTERM, SIGINT}) {
        const std::string data = scratchFolder();
        HostProcess host({"--port", "0", "--data-dir", data, "--no-bonjour"});
        ASSERT_GT(host.pid, 0);
        const std::string start = host.readUntil("status\n");
        const size_t at = start.find("listening on port ");
        ASSERT_NE(at, std::string::npos) << start;
        const uint16_t port = uint16_t(std::stoi(start.substr(at + 18)));
        ASSERT_NE(port, 0) << start;

        remote::RemoteClient app;
        ASSERT_EQ(app.connect("127.0.0.1", port, 5000), remote::ClientStatus::Ok);
        ASSERT_EQ(app.login("", true, 0, 5000), remote::ClientStatus::Ok);
        kill(host.pid, signal);
        wire::ReceivedMessage m;
        ASSERT_EQ(app.waitForType(wire::MSG_SERVER_NOTICE, m, 5000), remote::ClientStatus::Ok);
        auto notice = remote::decodeAs<wire::ServerNoticeMessage>(m);
        ASSERT_TRUE(notice);
        EXPECT_EQ(notice->reason, wire::NOTICE_SESSION_END);
        EXPECT_EQ(host.exitCode(10000), 0) << host.readUntil("stopped\n");
        std::filesystem::remove_all(data);
    }
    platform::socketCleanup();
}

TEST(HostProcess, CommandLineMistakesExitWithTwoAndHelpWithZero) {
    HostProcess wrong({"--port", "70000"});
    const std::string said = wrong.readUntil("usage:");
    EXPECT_NE(said.find("tandravole-host: "), std::string::npos) << said;
    EXPECT_EQ(wrong.exitCode(10000), 2) << said;

    HostProcess help({"--help"});
    EXPECT_NE(help.readUntil("--show-settings").find("usage: tandravole-host"), std::string::npos);
    EXPECT_EQ(help.exitCode(10000), 0);

    HostProcess version({"--version"});
    EXPECT_EQ(version.readUntil("\n"), "tandravole-host " TANDRAVOLE_FILE_VERSION "\n");
    EXPECT_EQ(version.exitCode(10000), 0);
}

} // namespace
