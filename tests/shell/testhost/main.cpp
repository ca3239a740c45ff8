// tandravole-testhost.exe [--port N] [--password TEXT] [--allow-kick] [--cycles N]: the player
// for the plug-in DLL under Wine, serving apps over 127.0.0.1. It prints "registered",
// "listening on port N", the panel, and at the end "released: references R, live objects L,
// can unload S_OK|S_FALSE" (L: the player's root alone is left, 1) and
// "unregistered: 0x...". It serves until its standard input closes; lines on it act as the
// player's user: "next" skips to the next track, "port N" types N into the panel's port box
// and clicks Apply. With --cycles N it creates, initialises and releases the control N times
// instead, each control serving apps for a moment of its own length, and prints "cycles: N,
// longest release MS ms". Exit code 0 when every step succeeded (no release left a reference).
#include "common/Utf.h"
#include "host/HostAutomation.h"
#include "host/win32/ComObject.h"
#include "shell/PanelRecord.h"
#include "shell/win32/Guids.h"
#include "tests/shell/testhost/PlayerHost.h"

#include <commctrl.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <thread>

namespace {

void say(const std::string& line) {
    std::cout << line << std::endl;
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

bool start(testhost::PlayerHost& host) {
    const HRESULT hr = host.startControl();
    if (FAILED(hr))
        say("starting the control on port " + std::to_string(host.port()) + " failed: " + hex(hr));
    return SUCCEEDED(hr);
}

std::string text(const wchar_t* text) {
    return utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

// The panel as the player's user sees it: "control ID CLASS 'TEXT' CHECK[ disabled]" a line,
// the trackbar's range and the adapter list's columns; and Init's refusals once initialised.
void describe(testhost::PlayerHost& host) {
    HWND panel = host.panel();
    say(std::string("panel in the page: ") + (GetParent(panel) == host.frame() ? "yes" : "no"));
    for (int id = 200; id < 230; ++id) {
        wchar_t name[64] = {}, caption[256] = {};
        if (HWND control = GetDlgItem(panel, id)) {
            GetClassNameW(control, name, 64);
            GetWindowTextW(control, caption, 256);
            say("control " + std::to_string(id) + " " + text(name) + " '" + text(caption) + "' " +
                std::to_string(IsDlgButtonChecked(panel, id)) +
                (IsWindowEnabled(control) ? "" : " disabled"));
        }
    }
    HWND header = reinterpret_cast<HWND>(SendDlgItemMessageW(panel, 221, LVM_GETHEADER, 0, 0));
    say("trackbar to " + std::to_string(SendDlgItemMessageW(panel, 214, TBM_GETRANGEMAX, 0, 0)) +
        ", columns " + std::to_string(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)));
    auto control = platform::ComPtr<IOleObject>(host.control()).query<ITandravoleCtrl>();
    say("Init again: " + hex(control->Init(control.get())) +
        ", Init(null): " + hex(control->Init(nullptr)));
}

// The player's user, as lines on standard input, until it closes.
void serve(testhost::PlayerHost& host) {
    std::atomic<int> next{0}, port{0};
    std::atomic<bool> ended{false};
    const DWORD playerThread = GetCurrentThreadId();
    std::thread reader([&] {
        for (std::string line; std::getline(std::cin, line);) {
            if (line.starts_with("port "))
                port = std::atoi(line.c_str() + 5);
            else if (line.starts_with("next"))
                ++next;
            PostThreadMessageW(playerThread, WM_NULL, 0, 0);
        }
        ended = true;
        PostThreadMessageW(playerThread, WM_NULL, 0, 0);
    });
    host::HostObjectPtr root = host.player().root();
    for (bool last = false; !last;) {
        host.pumpUntil([&] { return ended || next > 0 || port > 0; }, 1000);
        last = ended;
        for (; next > 0; --next)
            if (auto playback = host::callMethod(root.get(), host::RootOp::Playback).asObject())
                host::callMethod(playback.get(), host::PlaybackOp::Next);
        if (const int moved = port.exchange(0)) {
            const std::u16string text = utf8ToUtf16(std::to_string(moved));
            SetDlgItemTextW(host.panel(), shell::kPortBox,
                            reinterpret_cast<const wchar_t*>(text.c_str()));
            HWND apply = GetDlgItem(host.panel(), shell::kApplyButton);
            say(std::string("Apply after the edit: ") + (IsWindowEnabled(apply) ? "on" : "off"));
            SendDlgItemMessageW(host.panel(), shell::kApplyButton, BM_CLICK, 0, 0);
        }
    }
    reader.join();
}

// The control made and released `cycles` times while apps use it; false on the first release
// that leaves a reference or a control that does not start.
bool cycle(testhost::PlayerHost& host, int cycles) {
    std::mt19937 random(12345);
    ULONGLONG longest = 0;
    for (int i = 1; i <= cycles; ++i) {
        if (!start(host))
            return false;
        host.pumpUntil([] { return false; }, 200 + random() % 1300);
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
        const std::string arg = argv[i], value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--allow-kick") {
            options.allowKick = true;
        } else if (arg == "--password" && ++i < argc) {
            options.password = utf8ToUtf16(value);
        } else if (arg == "--port" && ++i < argc) {
            options.port = uint16_t(std::atoi(value.c_str()));
        } else if (arg == "--cycles" && ++i < argc) {
            cycles = std::atoi(value.c_str());
        } else {
            say("usage: tandravole-testhost.exe [--port N] [--password TEXT] [--allow-kick] "
                "[--cycles N]");
            return 2;
        }
    }

    testhost::PlayerHost host(options);
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
    } else if ((ok = start(host))) {
        say("listening on port " + std::to_string(host.port()));
        describe(host);
        serve(host);
        references = host.releaseControl();
    }
    // Let the server's threads, the hidden window and the event sink go before asking.
    host.pumpUntil([&] { return host.canUnloadNow() == S_OK; }, 5000);
    const HRESULT unload = host.canUnloadNow();
    say("released: references " + std::to_string(references) + ", live objects " +
        std::to_string(host::liveComObjects()) + ", can unload " +
        (unload == S_OK ? "S_OK" : "S_FALSE"));
    const HRESULT unregistered = host.unregisterServer();
    say("unregistered: " + hex(unregistered));
    return ok && references == 0 && unload == S_OK && SUCCEEDED(unregistered) ? 0 : 1;
}
