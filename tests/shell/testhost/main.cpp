// tandravole-testhost.exe: the player for the plug-in DLL under Wine, serving apps over
// 127.0.0.1.
//
//   tandravole-testhost.exe [--port N] [--password TEXT] [--allow-kick] [--cycles N]
//
// It prints one line per step: "registered", "listening on port N", and at the end
// "released: references R, can unload S_OK|S_FALSE" and "unregistered: 0x...". It serves until
// its standard input closes (or it is killed); lines on standard input act as the player's own
// controls: "next" skips to the next track, "quit" ends the run.
//
// With --cycles N it does not wait for its input: it creates, initialises and releases the
// control N times while apps may be using it, each control serving for a moment of its own
// length, and prints "cycle I: listening", then "cycles: N, longest release MS ms".
// Exit code 0 when every step succeeded (every release left no reference).
#include "common/Utf.h"
#include "host/HostAutomation.h"
#include "tests/shell/testhost/PlayerHost.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

void say(const std::string& line) {
    std::cout << line << std::endl;
}

int usage(const std::string& problem) {
    std::cerr << "tandravole-testhost: " << problem << "\n"
              << "usage: tandravole-testhost.exe [--port N] [--password TEXT] [--allow-kick] "
                 "[--cycles N]\n";
    return 2;
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// Creates, activates and initialises the control and waits until its server listens.
bool startControl(testhost::PlayerHost& host) {
    HRESULT hr = host.createControl();
    if (FAILED(hr)) {
        say("creating the control failed: " + hex(hr));
        return false;
    }
    if (FAILED(hr = host.initControl())) {
        say("Init failed: " + hex(hr));
        return false;
    }
    if (!host.pumpUntil([&] { return host.serverListens(); }, 10000)) {
        say("the control's server does not listen on port " + std::to_string(host.port()));
        return false;
    }
    return true;
}

// The player's own buttons, as lines on standard input, until it closes or says "quit".
void serve(testhost::PlayerHost& host) {
    std::atomic<int> next{0};
    std::atomic<bool> ended{false};
    const DWORD playerThread = GetCurrentThreadId();
    std::thread reader([&] {
        std::string line;
        while (!ended && std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line == "next")
                ++next;
            else if (line == "quit")
                ended = true;
            else if (!line.empty())
                say("unknown command: " + line);
            PostThreadMessageW(playerThread, WM_NULL, 0, 0);
        }
        ended = true;
        PostThreadMessageW(playerThread, WM_NULL, 0, 0);
    });
    host::HostObjectPtr root = host.player().root();
    for (bool last = false; !last;) {
        host.pumpUntil([&] { return ended || next > 0; }, 1000);
        last = ended;
        for (; next > 0; --next)
            if (auto playback = host::callMethod(root.get(), host::RootOp::Playback).asObject())
                host::callMethod(playback.get(), host::PlaybackOp::Next);
    }
    reader.join();
}

// The control made and released `cycles` times while apps use it; false on the first release
// that leaves a reference or a control that does not start.
bool cycle(testhost::PlayerHost& host, int cycles) {
    std::mt19937 random(12345);
    ULONGLONG longest = 0;
    for (int i = 1; i <= cycles; ++i) {
        if (!startControl(host))
            return false;
        say("cycle " + std::to_string(i) + ": listening");
        const uint32_t serveMs = 200 + random() % 1300;
        host.pumpUntil([] { return false; }, serveMs);
        const ULONGLONG before = GetTickCount64();
        const ULONG left = host.releaseControl();
        longest = std::max(longest, GetTickCount64() - before);
        if (left != 0) {
            say("cycle " + std::to_string(i) + ": the release left " + std::to_string(left) +
                " references");
            return false;
        }
    }
    say("cycles: " + std::to_string(cycles) + ", longest release " + std::to_string(longest) +
        " ms");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    testhost::HostOptions options;
    int cycles = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--allow-kick") {
            options.allowKick = true;
        } else if (arg == "--password" && value) {
            options.password = utf8ToUtf16(argv[++i]);
        } else if ((arg == "--port" || arg == "--cycles") && value) {
            const long number = std::strtol(argv[++i], nullptr, 10);
            if (number < 1 || number > 65535)
                return usage(arg + " takes 1..65535");
            if (arg == "--port")
                options.port = uint16_t(number);
            else
                cycles = int(number);
        } else {
            return usage("unknown or incomplete argument " + arg);
        }
    }

    testhost::PlayerHost host(options);
    host.prepareRegistry();
    const HRESULT registered = host.registerServer();
    if (FAILED(registered)) {
        say("registration failed: " + hex(registered));
        return 1;
    }
    say("registered");
    bool ok = true;
    ULONG references = 0;
    if (cycles > 0) {
        ok = cycle(host, cycles);
    } else {
        ok = startControl(host);
        if (ok) {
            say("listening on port " + std::to_string(host.port()));
            serve(host);
        }
        references = host.releaseControl();
    }
    // Let the server's threads, the hidden window and the event sink go before asking.
    host.pumpUntil([&] { return host.canUnloadNow() == S_OK; }, 5000);
    const HRESULT unload = host.canUnloadNow();
    say("released: references " + std::to_string(references) + ", can unload " +
        (unload == S_OK ? "S_OK" : "S_FALSE"));
    const HRESULT unregistered = host.unregisterServer();
    say("unregistered: " + hex(unregistered));
    return ok && references == 0 && unload == S_OK && SUCCEEDED(unregistered) ? 0 : 1;
}
