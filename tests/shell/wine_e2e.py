#!/usr/bin/env python3
"""The plug-in DLL under Wine, driven from the Linux side as the companion app would.

stories: starts tandravole-testhost.exe (the player: it registers Tandravole.dll, creates,
activates and initialises the control with the simulated player) on a free port with a
password, checks the panel it shows and Init's refusals, then runs the app's main stories with
the native tandravole-remote over 127.0.0.1: login with and without the password, status,
transport, volume, browse, search, a cover, the equalizer and a preset, the sleep timer, a
track change pushed while the app watches, and Apply in the panel with another port (a
watching app is told the server moves, the new port answers, the port is stored). Closing the
host's standard input releases the control; the host must report no reference left, the
player's objects let go, the DLL unloadable, and a clean unregistration.

teardown: the test host creates, initialises and releases the control again and again while
two apps keep using it (requests, covers, a watching session with keep-alive, taking the
session from each other); every release must leave no reference, nothing may hang (the run
has a deadline), and the DLL must be unloadable and unregister cleanly at the end.

    wine_e2e.py stories|teardown --testhost PATH.exe --remote PATH [--wine wine]
                [--cycles N] [--host-timeout S]

Exit code 0 when everything passed; each failure is printed.
"""
import argparse
import json
import os
import queue
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time

PASSWORD = "open sesame"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Host:
    """The test host's process, its output lines read on a thread of their own."""

    def __init__(self, command):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, bufsize=1)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def wait_for(self, pattern, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                break
            if line is None:
                break
            self.seen.append(line)
            match = re.search(pattern, line)
            if match:
                return match
        return None

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def finish(self, timeout):
        self.process.stdin.close()
        return self.finish_when_done(timeout)

    def finish_when_done(self, timeout):
        """The exit code, or None when it had to be killed at the deadline (a hang)."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            print(f"the test host hung: killed after {timeout} s", flush=True)
            return None


class Stories:
    def __init__(self, remote, port):
        self.remote, self.port = remote, port
        self.failures = []

    def run(self, *args, password=PASSWORD, expect=0, quiet=False):
        command = [self.remote, "--port", str(self.port), "--json", "--timeout", "10000"]
        if password is not None:
            command += ["--password", password]
        done = subprocess.run(command + list(args), capture_output=True, text=True, timeout=60)
        if done.returncode != expect:
            if quiet:
                return None
            self.fail(f"{' '.join(args)}: exit {done.returncode}, wanted {expect}: "
                      f"{done.stderr.strip() or done.stdout.strip()}")
            return None
        lines = [json.loads(l) for l in done.stdout.splitlines() if l.startswith("{")]
        return lines[-1] if lines else {}

    def check(self, condition, what):
        if not condition:
            self.fail(what)
        return condition

    def fail(self, what):
        self.failures.append(what)
        print("FAILED:", what, flush=True)

    def released_cleanly(self, host, code):
        released = host.wait_for(r"released: references (\d+), live objects (\d+), "
                                 r"can unload (\S+)", 5)
        unregistered = host.wait_for(r"unregistered: (0x[0-9A-F]+)", 5)
        self.check(released and released.group(1) == "0", f"no reference left: {host.seen[-3:]}")
        self.check(released and released.group(2) == "1", "the control let the player's objects go")
        self.check(released and released.group(3) == "S_OK", "the DLL can be unloaded")
        self.check(unregistered and unregistered.group(1) == "0x00000000", "unregistered cleanly")
        self.check(code == 0, f"the test host's exit code: {code}")

    def summary(self, what):
        if self.failures:
            print(f"{len(self.failures)} checks of the {what} failed against the DLL under Wine")
            return 1
        print(f"the {what} passed against the DLL under Wine")
        return 0


def stories(args):
    port = free_port()
    host = Host([args.wine, args.testhost, "--port", str(port), "--password", PASSWORD])
    if not host.wait_for(rf"listening on port {port}\b", args.host_timeout):
        print("the test host did not start its server:", *host.seen, sep="\n  ")
        host.finish(30)
        return 1
    print(f"the DLL's server listens on port {port}", flush=True)
    s = Stories(args.remote, port)

    # The panel in the player's page, filled from the stored settings, Apply off until an edit;
    # a second Init and one without the player are refused (E_FAIL, E_POINTER).
    s.check(host.wait_for(r"^Init again: ", 30), f"the panel was described: {host.seen[-3:]}")
    expected = ["panel in the page: yes",
                "control 207 Button 'Server enabled' 1",
                "control 208 Button 'Register with Bonjour' 0",
                "control 209 Button 'Apply' 0 disabled",
                f"control 211 Edit '{port}' 0",
                "control 212 Button 'Defaults' 0",
                "control 214 msctls_trackbar32 '' 0",
                "control 215 Static 'www.tandravole.com' 0",
                "control 216 Static 'Tandravole 4 MediaCenter 4.0' 0",
                "control 217 Button 'Periodically check for updates' 0",
                "control 218 Button 'Check now' 0",
                "control 219 Button 'Allow multiple connections' 0",
                "control 220 Button 'Send notifications to app' 0",
                "control 221 SysListView32 '' 0",
                "control 222 Button 'Add Windows Firewall rules' 0",
                "trackbar to 2, columns 3",
                "Init again: 0x80004005, Init(null): 0x80004003"]
    for line in expected:
        s.check(line in host.seen, f"the panel shows {line!r}")
    s.check(any(l.startswith("control 210 Edit ") for l in host.seen), "the password box")

    # Login: refused without the password, accepted with it.
    s.run("status", password=None, expect=4)
    status = s.run("status")
    s.check(status is not None and status.get("track", {}).get("name"), "status has a track")

    # Transport and volume.
    s.run("play")
    status = s.run("status")
    s.check(status and status.get("state") == "playing", f"playing after play: {status}")
    before = (status or {}).get("track", {}).get("index")
    s.run("next")
    status = s.run("status")
    s.check(status and status.get("track", {}).get("index") != before, "next changes the track")
    s.run("stop")
    status = s.run("status")
    s.check(status and status.get("state") == "stopped", f"stopped after stop: {status}")
    volume = s.run("volume", "40")
    s.check(volume and volume.get("volume") == 40, f"volume 40: {volume}")

    # Browsing and search.
    artists = s.run("artists")
    names = (artists or {}).get("entries", [])
    s.check(len(names) > 10, f"artists listed: {len(names)}")
    artist = next((n for n in names if n), "")
    albums = s.run("browse", "--artist", artist)
    s.check(albums and albums.get("count", 0) > 0, f"albums of {artist!r}: {albums}")
    found = s.run("search", "summer")
    s.check(found and found.get("count", 0) > 0, f"search 'summer': {found}")

    # A cover of the current track, as a PNG.
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "cover.png")
        cover = s.run("cover", "--output", path)
        if s.check(cover is not None and os.path.exists(path), "a cover was written"):
            with open(path, "rb") as f:
                s.check(f.read(8) == b"\x89PNG\r\n\x1a\n", "the cover is a PNG")

    # The equalizer and a preset.
    presets = s.run("eq", "presets")
    s.check(presets and presets.get("count", 0) > 0, f"presets: {presets}")
    s.run("eq", "on")
    s.run("eq", "preset", "0")
    eq = s.run("eq")
    s.check(eq and eq.get("enabled") is True, f"equalizer on: {eq}")
    s.check(eq and any(b["value"] != 100 for b in eq.get("bands", [])), f"preset applied: {eq}")

    # The sleep timer.
    timer = s.run("sleep-timer", "30")
    s.check(timer and timer.get("enabled") is True, f"sleep timer armed: {timer}")
    timer = s.run("sleep-timer", "off")
    s.check(timer is not None and timer.get("enabled") is False, f"sleep timer off: {timer}")

    # A track change made at the player reaches a watching app.
    watch = subprocess.Popen([args.remote, "--port", str(port), "--password", PASSWORD, "--json",
                              "watch", "--seconds", "15"], stdout=subprocess.PIPE, text=True)
    time.sleep(2)  # the watcher's login and snapshot come first
    host.send("next")
    out, _ = watch.communicate(timeout=60)
    pushes = [json.loads(l) for l in out.splitlines() if l.startswith("{")]
    tracks = [m for m in pushes if m.get("message") == "MSG_TRACK_INFO"]
    s.check(len(tracks) >= 2, f"a pushed track change after the snapshot: {len(tracks)} track infos")

    # Apply with another port: a watching app hears the server move (reason 4), the new port
    # answers, the settings keep it.
    moved = free_port()
    watch = subprocess.Popen([args.remote, "--port", str(port), "--password", PASSWORD, "--json",
                              "watch", "--seconds", "30"], stdout=subprocess.PIPE, text=True)
    time.sleep(2)
    host.send(f"port {moved}")
    s.check(host.wait_for(r"^Apply after the edit: on$", 30), "an edit turns Apply on")
    out, _ = watch.communicate(timeout=90)
    notices = [json.loads(l) for l in out.splitlines() if "MSG_SERVER_NOTICE" in l]
    s.check([n.get("reason") for n in notices] == [4], f"the move is announced: {notices}")
    s.port = moved
    deadline = time.monotonic() + 30  # the server starts again on the player's thread
    while time.monotonic() < deadline and not s.run("status", quiet=True):
        time.sleep(0.5)
    status = s.run("status")
    s.check(status and status.get("track"), f"the moved server answers: {status}")
    stored = subprocess.run([args.wine, "reg", "query", r"HKCU\Software\Tandravole\MediaCenter",
                             "/v", "Port"], capture_output=True, text=True, timeout=120).stdout
    s.check(f"{moved:#x}" in stored.lower(), f"the port {moved} is stored: {stored.strip()}")

    code = host.finish(120)
    s.released_cleanly(host, code)
    return s.summary("app stories")


def teardown(args):
    port = free_port()
    host = Host([args.wine, args.testhost, "--port", str(port), "--allow-kick",
                 "--cycles", str(args.cycles)])
    s = Stories(args.remote, port)
    ended = threading.Event()
    answered = {"requests": 0, "watches": 0}

    def app(commands, key):
        while not ended.is_set():
            for command in commands:
                done = subprocess.run([args.remote, "--port", str(port), "--timeout", "2000",
                                       *command], capture_output=True, timeout=60)
                # 6: the session was taken over by the other app or ended by a release.
                if done.returncode == 0 or (key == "watches" and done.returncode == 6):
                    answered[key] += 1
            time.sleep(0.05)

    with tempfile.TemporaryDirectory() as scratch:
        cover = os.path.join(scratch, "cover.png")
        apps = [threading.Thread(target=app, daemon=True, args=(c, k)) for c, k in [
            ([["status"], ["search", "summer"], ["cover", "--output", cover], ["next"]],
             "requests"),
            ([["--keepalive", "1", "watch", "--seconds", "2"]], "watches"),
        ]]
        for a in apps:
            a.start()
        deadline = args.host_timeout + 15 * args.cycles
        code = host.finish_when_done(deadline)
        ended.set()
        for a in apps:
            a.join(timeout=120)
    done = host.wait_for(r"cycles: (\d+), longest release (\d+) ms", 5)
    s.check(done and int(done.group(1)) == args.cycles,
            f"{args.cycles} cycles without a hang: {host.seen[-3:]}")
    if done:
        print(f"longest release {done.group(2)} ms; apps answered {answered}", flush=True)
    s.check(answered["requests"] > 0, "the apps were answered during the cycles")
    s.released_cleanly(host, code)
    return s.summary(f"{args.cycles} teardowns under load")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["stories", "teardown"])
    parser.add_argument("--testhost", required=True)
    parser.add_argument("--remote", required=True)
    parser.add_argument("--wine", default="wine")
    parser.add_argument("--cycles", type=int, default=20)
    parser.add_argument("--host-timeout", type=float, default=120)
    args = parser.parse_args()
    return stories(args) if args.mode == "stories" else teardown(args)


if __name__ == "__main__":
    sys.exit(main())
