#!/usr/bin/env bash
# The DNS-SD round trip against a real avahi-daemon that cannot reach the network:
#
#  1. starts the system D-Bus daemon if none runs (the host and avahi-browse reach the daemon
#     through its socket, a file, so they stay outside the namespace);
#  2. starts avahi-daemon inside a network namespace of its own (unshare -n) with only the
#     loopback interface, multicast on, IPv4 only, allowed on lo only;
#  3. runs tandravole-host: it advertises its own port without TXT data and withdraws it when
#     it stops (checked with avahi-browse), and advertises nothing with --no-bonjour;
#  4. stops the daemon and runs the host again: the registration fails, silently, and the host
#     serves and says it is not advertised;
#  5. stops, by pid, everything it started (also on failure and interruption).
# Replacing a registration and each failure of the registration thread are tested against a
# fake library in services_dnssd_tests.
#
# Usage: scripts/dnssd-loopback.sh HOST_PROGRAM (tandravole-host; ctest passes it)
# Exit: 0 passed, 1 failed, 77 skipped: no network namespace can be made here (not root, or
# no unshare). avahi-daemon never runs outside the namespace.
set -uo pipefail

skip=77
host_program=${1:?usage: $0 path/to/tandravole-host}
PATH=$PATH:/usr/sbin:/sbin

say() { echo "dnssd-loopback: $*"; }
fail() {
  say "FAILED: $*" >&2
  exit 1
}

# --- can we make the namespace at all? -------------------------------------------------------
if ! command -v unshare >/dev/null 2>&1; then
  say "SKIPPED: no unshare here, so no network namespace for the loopback avahi-daemon"
  exit $skip
fi
if ! unshare -n true 2>/dev/null; then
  say "SKIPPED: cannot create a network namespace (needs root); the loopback avahi-daemon" \
      "cannot run"
  exit $skip
fi
for tool in avahi-daemon avahi-browse dbus-daemon ip timeout flock pgrep; do
  command -v "$tool" >/dev/null 2>&1 ||
    fail "$tool is missing (scripts/install-deps.sh installs avahi-daemon, avahi-utils, dbus)"
done
[ -x "$host_program" ] || fail "no tandravole-host at $host_program"

# --- one run at a time on this machine (ctest's RESOURCE_LOCK covers only one ctest) -------
mkdir -p /run/lock
exec 9>/run/lock/tandravole-dnssd-loopback.lock
flock -w 300 9 || fail "another loopback run has held the lock for 5 minutes"

work=$(mktemp -d)
dbus_pid=""
avahi_pid=""

# Stops a process we started: TERM, up to 10 s, then KILL.
stop_pid() { # pid name
  local pid=$1 name=$2 i
  kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null
  for i in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  say "$name ($pid) ignored TERM; killing it"
  kill -KILL "$pid" 2>/dev/null
  sleep 0.2
}

stop_avahi() {
  [ -n "$avahi_pid" ] || return 0
  stop_pid "$avahi_pid" avahi-daemon
  wait "$avahi_pid" 2>/dev/null
  avahi_pid=""
}

host_pid=""
cleanup() {
  if [ -n "$host_pid" ]; then
    stop_pid "$host_pid" tandravole-host
    host_pid=""
  fi
  stop_avahi
  if [ -n "$dbus_pid" ]; then
    stop_pid "$dbus_pid" dbus-daemon
    rm -f /run/dbus/pid /run/dbus/system_bus_socket # it leaves them behind
    dbus_pid=""
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Another avahi-daemon would take our registrations, and it may be on a real network.
if running=$(pgrep -a -x avahi-daemon); then
  say "SKIPPED: an avahi-daemon already runs here, and it may be on a real network; refusing" \
      "to register with it:"$'\n'"$running"
  exit $skip
fi

# --- the system bus -----------------------------------------------------------------------
bus_answers() {
  timeout 5 dbus-send --system --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetId >/dev/null 2>&1
}
mkdir -p /run/dbus
if ! bus_answers; then
  # A bus that was stopped leaves its socket and pid file behind; either makes a new
  # dbus-daemon refuse to start (or this script believe one runs).
  if [ -f /run/dbus/pid ] && kill -0 "$(cat /run/dbus/pid)" 2>/dev/null; then
    fail "a system dbus-daemon ($(cat /run/dbus/pid)) runs but does not answer"
  fi
  rm -f /run/dbus/pid /run/dbus/system_bus_socket
  dbus_pid=$(timeout 20 dbus-daemon --system --fork --print-pid) ||
    fail "could not start the system dbus-daemon"
  dbus_pid=${dbus_pid//[!0-9]/}
  bus_answers || fail "the system dbus-daemon ($dbus_pid) does not answer"
  say "started the system dbus-daemon ($dbus_pid)"
fi

# --- the daemon, in a network namespace with only the loopback interface ------------------
printf '[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\n' >"$work/avahi-lo.conf"
# unshare without --fork execs in place and sh execs the daemon, so $! is avahi-daemon's pid.
unshare -n sh -c 'ip link set lo up && ip link set lo multicast on &&
                  exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits' \
  sh "$work/avahi-lo.conf" >"$work/avahi.log" 2>&1 &
avahi_pid=$!
ready=""
for i in $(seq 200); do # 20 s
  if ! kill -0 "$avahi_pid" 2>/dev/null; then
    cat "$work/avahi.log" >&2
    avahi_pid=""
    fail "avahi-daemon ended at start"
  fi
  if grep -q 'Server startup complete' "$work/avahi.log"; then
    ready=yes
    break
  fi
  sleep 0.1
done
[ -n "$ready" ] || { cat "$work/avahi.log" >&2; fail "avahi-daemon did not start within 20 s"; }
say "avahi-daemon ($avahi_pid) runs in its own network namespace, on lo only"

# --- tandravole-host, as a user starts it -------------------------------------------------
# The resolved services of our type on port $1, as avahi-browse -rtp prints them.
browse_port() { # port
  timeout 20 avahi-browse -rtp _tandravole._tcp 2>/dev/null |
    awk -F';' -v port="$1" '$1 == "=" && $9 == port'
}
# Starts the host with the given options on a free port; sets host_pid and host_port.
start_host() { # options...
  local i
  "$host_program" --port 0 --data-dir "$work/host" "$@" >"$work/host.log" 2>&1 &
  host_pid=$!
  host_port=""
  for i in $(seq 600); do # 60 s: a fresh data folder gets the demo library's covers first
    host_port=$(sed -n 's/^tandravole-host: listening on port \([0-9]*\) .*/\1/p' "$work/host.log")
    [ -n "$host_port" ] && return 0
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/host.log" >&2
  fail "tandravole-host did not start"
}
# Waits up to 10 s for the host to print a line matching the pattern.
host_says() { # pattern what
  local i
  for i in $(seq 100); do
    grep -q "$1" "$work/host.log" && return 0
    sleep 0.1
  done
  cat "$work/host.log" >&2
  fail "tandravole-host did not say $2"
}
stop_host() {
  kill -TERM "$host_pid"
  local status=0
  timeout 20 tail --pid="$host_pid" -f /dev/null || fail "tandravole-host did not stop"
  wait "$host_pid" || status=$?
  host_pid=""
  [ $status -eq 0 ] || { cat "$work/host.log" >&2; fail "tandravole-host exited with $status"; }
}
say "tandravole-host advertises its port"
start_host
host_says '^tandravole-host: advertised with DNS-SD as "' "it was advertised"
# The daemon announces a new service after probing for its name: ask until it is there.
found=""
for i in $(seq 10); do
  found=$(browse_port "$host_port")
  [ -n "$found" ] && break
  sleep 1
done
echo "$found"
[ "$(printf '%s\n' "$found" | grep -c '^=;lo;IPv4;.*;_tandravole\._tcp;local;.*;127\.0\.0\.1;'"$host_port"';$')" -eq 1 ] ||
  fail "avahi-browse does not show the host's port $host_port once, without TXT data"
stop_host
for i in $(seq 10); do
  [ -z "$(browse_port "$host_port")" ] && break
  sleep 1
done
[ -z "$(browse_port "$host_port")" ] || fail "the host's service stayed after it stopped"

say "tandravole-host --no-bonjour advertises nothing"
start_host --no-bonjour
host_says '^tandravole-host: not advertised with DNS-SD (off for this run)$' "it is not advertised"
[ -z "$(browse_port "$host_port")" ] || fail "tandravole-host --no-bonjour was advertised"
stop_host

# --- and once it is gone again ------------------------------------------------------------
stop_avahi
say "avahi-daemon stopped"
say "tandravole-host serves without a daemon and says it is not advertised"
start_host
host_says '^tandravole-host: not advertised with DNS-SD (error ' "it was not advertised"
stop_host

cleanup
trap - EXIT
if left=$(pgrep -a -x avahi-daemon); then
  fail "an avahi-daemon is still running:"$'\n'"$left"
fi
say "passed"
