#!/usr/bin/env python3
"""The installer under Wine: without the player a silent install refuses and leaves nothing;
with it, a silent install registers the plug-in (its class naming the installed DLL, its type
library and the player's plug-in key are in the registry, the DLL is in Program Files) and a
silent uninstall unregisters it and removes its files.

    installer_test.py --installer Tandravole-Setup-X.exe [--wine wine]
"""
import argparse
import os
import subprocess
import sys
import time

CLASS_KEY = r"HKCR\CLSID\{806BC7DC-BE17-494F-BF80-985F3AA07A72}\InprocServer32"
TYPELIB_KEY = r"HKCR\TypeLib\{5B685F59-D2E1-4B4B-A64C-748D708FD314}"
PROGID_KEY = r"HKCR\Tandravole.TandravoleCtrl"
INSTALLATION = r"HKLM\SOFTWARE\J. River\Media Core\Installations\Media Center 33"
PLUGIN_KEY = r"HKLM\Software\J. River\Media Center 33\Plugins\Interface\Tandravole"
INSTALL_DIR = r"C:\Program Files\Tandravole\MediaCenter"


def reg(wine, *args):
    done = subprocess.run([wine, "reg", *args, "/reg:64"], capture_output=True, text=True,
                          timeout=120)
    return done.returncode, done.stdout


def unix_path(wine, windows_path):
    done = subprocess.run(["winepath", "-u", windows_path], capture_output=True, text=True,
                          timeout=60)
    return done.stdout.strip()


def wait_until(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.5)
    return condition()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--wine", default="wine")
    args = parser.parse_args()
    w = args.wine
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)
            print("FAILED:", what, flush=True)

    dll = unix_path(w, INSTALL_DIR + r"\Tandravole.dll")
    uninstaller = unix_path(w, INSTALL_DIR + r"\Uninstall.exe")

    # Without the player nothing can be registered: the installer says so and leaves nothing.
    reg(w, "delete", r"HKLM\SOFTWARE\J. River\Media Core\Installations", "/f")
    code = subprocess.run([w, args.installer, "/S"], timeout=240).returncode
    check(code == 2, f"without the player the install ends with 2, not {code}")
    check(not os.path.exists(dll), "without the player no DLL is left behind")

    reg(w, "add", INSTALLATION, "/f")

    code = subprocess.run([w, args.installer, "/S"], timeout=240).returncode
    check(code == 0, f"the silent install ended with {code}")
    check(os.path.exists(dll), f"the DLL was installed at {dll}")
    check(os.path.exists(uninstaller), "the uninstaller was written")
    status, out = reg(w, "query", CLASS_KEY, "/ve")
    check(status == 0 and (INSTALL_DIR + r"\Tandravole.dll").lower() in out.lower(),
          f"the class names the installed DLL: {out.strip()}")
    for key in (TYPELIB_KEY, PROGID_KEY):
        check(reg(w, "query", key)[0] == 0, f"{key} is registered")
    status, out = reg(w, "query", PLUGIN_KEY, "/v", "CLSID")
    check(status == 0 and "{806BC7DC-BE17-494F-BF80-985F3AA07A72}" in out,
          f"the player's plug-in key: {out.strip()}")

    # The uninstaller copies itself away and runs from there: wait for what it does.
    subprocess.run([w, uninstaller, "/S"], timeout=240)
    gone = wait_until(lambda: not os.path.exists(dll) and not os.path.exists(uninstaller), 120)
    check(gone, "the silent uninstall removed the DLL and itself")
    check(wait_until(lambda: reg(w, "query", CLASS_KEY)[0] != 0, 60),
          "the class is unregistered")
    for key in (PLUGIN_KEY, TYPELIB_KEY, PROGID_KEY):
        check(reg(w, "query", key)[0] != 0, f"{key} is gone")
    check(not os.path.exists(os.path.dirname(dll)), "the install folder is gone")

    reg(w, "delete", INSTALLATION, "/f")
    if failures:
        print(f"{len(failures)} installer checks failed")
        return 1
    print("install, registration, uninstall: all clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
