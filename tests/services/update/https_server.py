#!/usr/bin/env python3
"""A local HTTPS server for the update check's tests, on 127.0.0.1 only.

Each of its ports answers the version request in one way (a version, an empty body, a body of
128 or 129 bytes, a redirect, ...); one port is held without listening, so a connection to it
is refused, and one never completes a connection. A request for any other path, with another method or another user agent gets
"wrong request", which is no version. The certificate is self-signed for IP 127.0.0.1 and made
anew by every start.

    https_server.py start DIR OPENSSL  certificate and key, the server in the background;
                                       returns when DIR/endpoints.txt lists its ports
    https_server.py stop DIR           ends the server that start began (and only that one)
    https_server.py serve DIR          the server itself (start runs it)

endpoints.txt has one line per port, "NAME PORT", and "certificate PATH". CTest runs start
and stop as the setup and cleanup of a fixture. The server also ends on its own after
MAX_LIFETIME seconds, should stop never come.
"""
import http.server
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
from pathlib import Path

PATH = "/version_check.php?type=mediacenter"
USER_AGENT = "Tandravole"
MAX_LIFETIME = 1800
START_WAIT = 20
STOP_WAIT = 5

# name: (status, body, extra headers); "{newer}" in a header is the port of "newer".
ANSWERS = {
    "newer": (200, b"9.1.2", {}),
    "older": (200, b"1.0", {}),
    "exact128": (200, b"5.0" + b"." * 125, {}),
    "over128": (200, b"5.0" + b"." * 126, {}),
    "empty": (200, b"", {}),
    "nul": (200, b"7.1\x00.8.9", {}),
    "redirect": (302, b"1.0", {"Location": "https://127.0.0.1:{newer}" + PATH}),
    "notfound": (404, b"9.0", {}),
}
PLAIN = "plain"  # the "newer" answer without TLS
REFUSED = "refused"
STALLED = "stalled"


def files(directory):
    d = Path(directory)
    return d / "endpoints.txt", d / "server.pid", d / "cert.pem", d / "key.pem", d / "server.log"


class Handler(http.server.BaseHTTPRequestHandler):
    answer = (400, b"", {})
    ports = {}

    def do_GET(self):
        status, body, headers = self.answer
        if self.path != PATH or self.headers.get("User-Agent") != USER_AGENT:
            self.log_message("wrong request: %s, agent %r", self.path,
                             self.headers.get("User-Agent"))
            status, body, headers = 400, b"wrong request", {}
        self.send_response(status)
        for key, value in headers.items():
            self.send_header(key, value.format(**self.ports))
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        self.send_error(405)


def listener(name, answer, context):
    handler = type("Handler_" + name, (Handler,), {"answer": answer})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    if context:
        # The handshake happens in the connection's thread, at its first read.
        server.socket = context.wrap_socket(server.socket, server_side=True,
                                            do_handshake_on_connect=False)
    return server


def serve(directory):
    endpoints, _, cert, key, _ = files(directory)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    servers = {name: listener(name, answer, context) for name, answer in ANSWERS.items()}
    servers[PLAIN] = listener(PLAIN, ANSWERS["newer"], None)
    ports = {name: s.server_address[1] for name, s in servers.items()}
    Handler.ports = ports
    # Bound but not listening: a connection is refused, and no other program gets the port.
    held = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    held.bind(("127.0.0.1", 0))
    ports[REFUSED] = held.getsockname()[1]
    for s in servers.values():
        threading.Thread(target=s.serve_forever, daemon=True).start()
    # A listener whose queue is full (one connection that is never accepted): the system drops
    # every further connection request unanswered, so a connect attempt waits for its time-out.
    stalled = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    stalled.bind(("127.0.0.1", 0))
    stalled.listen(0)
    filler = socket.create_connection(stalled.getsockname(), timeout=5)
    ports[STALLED] = stalled.getsockname()[1]

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    text = "".join(f"{name} {port}\n" for name, port in ports.items())
    text += f"certificate {cert}\n"
    partial = endpoints.with_suffix(".tmp")
    partial.write_text(text)
    os.replace(partial, endpoints)
    print(f"serving: {ports}", flush=True)
    done.wait(MAX_LIFETIME)
    endpoints.unlink(missing_ok=True)  # the listeners' threads end with the process


def ours(pid, script):
    """Whether pid is a live (not zombie) "serve" process of this script."""
    try:
        cmdline = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")
        state = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
    except OSError:
        return False
    return state != "Z" and script.encode() in cmdline and b"serve" in cmdline


def stop(directory):
    endpoints, pidfile, *_ = files(directory)
    script = str(Path(__file__).resolve())
    try:
        pid = int(pidfile.read_text())
    except (OSError, ValueError):
        pid = None
    if pid and ours(pid, script):
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + STOP_WAIT
        while ours(pid, script) and time.monotonic() < deadline:
            time.sleep(0.05)
        if ours(pid, script):
            os.kill(pid, signal.SIGKILL)
    pidfile.unlink(missing_ok=True)
    endpoints.unlink(missing_ok=True)
    return 0


def start(directory, openssl):
    Path(directory).mkdir(parents=True, exist_ok=True)
    stop(directory)  # a server left by an interrupted run
    endpoints, pidfile, cert, key, log = files(directory)
    subprocess.run([openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-keyout", str(key), "-out", str(cert), "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1"],
                   check=True, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    with open(log, "w") as out:
        server = subprocess.Popen([sys.executable, str(Path(__file__).resolve()), "serve",
                                   str(directory)],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                  start_new_session=True)
    pidfile.write_text(str(server.pid))
    deadline = time.monotonic() + START_WAIT
    while time.monotonic() < deadline:
        if endpoints.exists():
            print(endpoints.read_text(), end="")
            return 0
        if server.poll() is not None:
            break
        time.sleep(0.05)
    stop(directory)
    print(f"the server did not start:\n{log.read_text()}", file=sys.stderr)
    return 1


def main(argv):
    if len(argv) == 4 and argv[1] == "start":
        return start(argv[2], argv[3])
    if len(argv) == 3 and argv[1] == "stop":
        return stop(argv[2])
    if len(argv) == 3 and argv[1] == "serve":
        serve(argv[2])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
