#!/usr/bin/env python3
"""Keeps the layering of docs/ARCHITECTURE.md true.

Fails (exit 1, one line per finding) on:
  - a quoted include that is not written from the project root ("folder/File.h"),
  - a quoted include of a folder that the including file's layer may not use,
  - an OS header, or a preprocessor test of the platform, outside the folders that may have
    them (platform/ and any win32/ or posix/ backend folder, shell/win32/ among them, and
    the Windows-only test host in tests/shell/testhost/).

    scripts/check-layers.py [ROOT]
"""
import re
import subprocess
import sys
from pathlib import Path

# Each layer and the layers it may include, besides itself. A file belongs to the longest
# folder prefix listed here; keep this table and the document's table the same.
PRODUCT = {
    "common": [],
    "platform": ["common"],
    "server/transport": ["platform", "common"],
    "server/wire": ["common"],
    "server/engine": ["server/transport", "server/wire", "platform", "common"],
    "host": ["platform", "common"],
    "library": ["host", "server/wire", "common"],
    "bridge": ["library", "host", "server/engine", "server/transport", "server/wire",
               "platform", "common"],
    "services": ["bridge", "library", "host", "server/engine", "server/transport", "server/wire",
                 "platform", "common"],
    "shell": ["bridge", "services", "library", "host", "server/engine", "server/transport",
              "server/wire", "platform", "common"],
    "medialib": [],
    "automation": ["medialib", "host", "platform", "common"],
    "simhost": ["automation", "medialib", "host", "server/transport", "platform", "common"],
    "mpdclient": ["platform", "common"],
    "imaging": [],
    "mpdhost": ["mpdclient", "imaging", "automation", "medialib", "host", "server/transport",
                "platform", "common"],
    "linuxhost": ["bridge", "services", "simhost", "mpdhost", "mpdclient", "automation",
                  "medialib", "library", "host", "server/engine", "server/transport",
                  "server/wire", "platform", "common"],
    "client": ["server/wire", "platform", "common"],
}
EVERYTHING_BUT_TESTS = sorted(PRODUCT)
LAYERS = dict(PRODUCT)
LAYERS["tools/testkit"] = EVERYTHING_BUT_TESTS
LAYERS["tools/bench"] = EVERYTHING_BUT_TESTS + ["tools/testkit", "tools/bench"]
LAYERS["tools/storm"] = EVERYTHING_BUT_TESTS + ["tools/storm"]
LAYERS["tests"] = EVERYTHING_BUT_TESTS + ["tools/testkit", "tools/storm"]

OS_HEADER = re.compile(
    r"^(?:(?:windows|winsock2?|ws2tcpip|ws2def|mstcpip|mswsock|objbase|ole2|oleauto|olectl|"
    r"ocidl|oaidl|unknwn|process|shlobj|shellapi|shlwapi|winhttp|iphlpapi|iptypes|powrprof|"
    r"netfw|commctrl|winreg|wincrypt|winuser|winbase|winver|atlbase|atlcom|atlctl|"
    r"dns_sd|unistd|pthread|fcntl|poll|netdb|dlfcn|termios|spawn|syslog|pwd|ifaddrs|"
    r"signal|sched|semaphore)\.h|(?:sys|netinet|arpa|linux|net|mach)/.*)$",
    re.IGNORECASE)
PLATFORM_TEST = re.compile(r"^\s*#\s*(?:if|ifdef|ifndef|elif)\b.*\b(?:_WIN32|_WIN64|__linux__|"
                           r"__unix__|__APPLE__|_MSC_VER|__MINGW32__|__MINGW64__)\b")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE = {".cpp", ".cc", ".c", ".h", ".hpp"}


def layer_of(path, table):
    best = None
    for layer in table:
        if path == layer or path.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    return best


def may_use_os_headers(path):
    parts = path.split("/")
    return (parts[0] == "platform" or parts[:3] == ["tests", "shell", "testhost"]
            or "win32" in parts[:-1] or "posix" in parts[:-1])


def source_files(root):
    """Tracked and new (not ignored) source files; build trees and fetched sources are not ours."""
    out = subprocess.run(["git", "-C", str(root), "ls-files", "-co", "--exclude-standard"],
                         check=True, capture_output=True, text=True).stdout
    return sorted(p for p in out.splitlines()
                  if Path(p).suffix in SOURCE and (root / p).is_file())


def check(root):
    problems = []
    for rel in source_files(root):
        file = root / rel
        layer = layer_of(rel, LAYERS)
        if layer is None:
            problems.append(f"{rel}: in no layer; add its folder to scripts/check-layers.py "
                            "and docs/ARCHITECTURE.md")
            continue
        allowed = [layer] + LAYERS[layer]
        for number, line in enumerate(file.read_text(errors="replace").splitlines(), 1):
            where = f"{rel}:{number}"
            if PLATFORM_TEST.match(line) and not may_use_os_headers(rel):
                problems.append(f"{where}: platform test outside the platform seam: "
                                f"{line.strip()}")
            m = INCLUDE.match(line)
            if not m:
                continue
            quoted, name = m.group(1) == '"', m.group(2)
            if not quoted:
                if OS_HEADER.match(name) and not may_use_os_headers(rel):
                    problems.append(f"{where}: OS header <{name}> outside platform/, "
                                    "win32/, posix/ and tests/shell/testhost/")
                continue
            target = layer_of(name, LAYERS)
            if not (root / name).exists():
                problems.append(f'{where}: "{name}" is not a path from the project root')
            elif target is None:
                problems.append(f'{where}: "{name}" is in no layer')
            elif target not in allowed:
                problems.append(f'{where}: {layer} may not include {target} ("{name}")')
    return problems


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    problems = check(root.resolve())
    for p in problems:
        print(p)
    if problems:
        print(f"layering: {len(problems)} problem(s)", file=sys.stderr)
        return 1
    print("layering: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
