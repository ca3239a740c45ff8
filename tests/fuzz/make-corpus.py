#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

The files are checked in; run this again after changing it. Every layout is written out byte
by byte here, so the seeds do not depend on the encoders under test.

    tests/fuzz/make-corpus.py
"""
import hashlib
import shutil
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
MAGIC = bytes.fromhex("3b87d971")


def u8(v):
    return struct.pack("<B", v)


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def cstr(text):
    return text.encode("utf-8") + b"\0"


def frame(msg_type, payload=b""):
    return MAGIC + u32(msg_type) + u32(len(payload)) + payload


KEY = bytes(range(0x10, 0x20))

# --- app to server, for the engine target: [options][cut] + stream ---------------------------

LOGIN = frame(2, bytes(16) + b"\x01\x00")  # extended lists, no keep-alive


def query(sub, parameter=0, second=None):
    body = u8(sub) + u32(parameter)
    return frame(4, body if second is None else body + u32(second))


def command(code, argument=0):
    return frame(7, u8(code) + u32(argument))


def cover_request(album, artist=None, tag1=7, tag2=0x10000, size=300, tag3=2):
    a = album.encode()
    body = u32(len(a)) + u32(tag1) + u32(tag2) + u16(size) + u8(tag3)
    body += u8(1 if artist is not None else 0) + a + b"\0"
    if artist is not None:
        body += u32(len(artist.encode())) + artist.encode()
    return frame(37, body)


def equalizer(bands):
    body = u8(len(bands)) + u8(1) + u8(12) + u8(1) + u16(200) + u16(100) + u16(0)
    for hz, value in bands:
        body += u16(hz) + u16(value)
    return frame(48, body)


ENGINE = {
    "queries": (0, 0, LOGIN + b"".join(query(s, 0xFFFFFFFF if s in (1, 6, 13) else 3)
                                       for s in range(0, 21))
                + query(10, 5, 1) + query(3, 0xFFFFFFFF, 300)),
    "commands": (0, 0, LOGIN + b"".join(command(c, 0x00000080) for c in range(0, 20))
                 + command(6, 0xFFFF0000) + command(6, 0x00000180)),
    "edits": (0, 0x05, LOGIN + frame(10, u8(4)) + frame(15, u32(1) + u32(3)) + frame(20, u32(7))
              + frame(32, u32(7) + u32(2)) + frame(33, u32(7) + u32(0) + u32(5))
              + frame(27, u8(0) + u8(4) + u8(1)) + frame(29, u32(5) + b"Party\0")
              + frame(42, u32(9) + u16(0) + u32(5) + b"Later\0")),
    "library": (0, 0, LOGIN
                + frame(18, u32(1) + u8(1) + u8(0) + u8(1) + cstr("Rock") + cstr("Blue"))
                + frame(21, u32(0xFFFFFFFF) + u32(0) + u32(1) + u32(0) + u32(0xFFFFFFFF)
                        + cstr("AC/DC"))
                + frame(39, u32(2) + u32(0b1010) + cstr("Björk") + cstr("Satie"))
                + frame(40, u32(7) + u32((1 << 28) | 0b0100) + u32(3) + cstr("Blue") + u32(0))
                + frame(24, u32(11) + cstr("water"))
                + frame(26, u32(11) + u32(0xFFFFFFFF))
                + frame(34, u32(11) + u32(7) + u32(2))
                + frame(44, u32(11) + u32(7) + u32(2) + u32(0) + u16(0))),
    "covers": (0, 0, LOGIN + cover_request("Blue") + cover_request("Blue", "Björk Ensemble")
               + cover_request("", "", tag3=0)),
    "equalizer-sleep": (0, 0, LOGIN + equalizer([(31, 100), (62, 120), (16000, 0)])
                        + equalizer([]) + frame(51, u8(1) + u8(1) + u8(3) + u8(0) + u32(600))
                        + frame(51, u8(0) + u8(2) + u8(1) + u8(0) + u32(0))),
    "quiet-keepalive-ping": (0, 0, frame(2, bytes(16) + b"\x00\x05") + frame(16) + query(2)
                             + frame(23) + frame(46) + query(5)),
    "login-17-bytes": (0, 0, frame(2, bytes(17)) + query(2)),
    "password-refused": (0x01, 0, LOGIN + query(2) + LOGIN),
    "takeover": (0x06, 0x02, LOGIN + query(4) + query(2) + query(17)),
    "no-session": (0x08, 0, LOGIN + query(4) + command(1)),
    "no-delegate": (0x10, 0, LOGIN + query(4) + command(1)),
    "garbage-byte-at-a-time": (0, 0x08, b"\x01\x02\x3b\x87\x00" + LOGIN + query(2)),
    "partial-magic": (0, 0, MAGIC[:3]),
    "split-frames": (0, 0x03, LOGIN + query(7, 1) + query(9, 2) + frame(24, u32(3) + cstr("a"))),
    "empty-and-unknown-types": (0, 0, LOGIN + frame(0) + frame(17, b"x") + frame(45, bytes(12))
                                + frame(99) + frame(5, bytes(39)) + frame(23)),
    "size-rules": (0, 0, LOGIN + frame(7, bytes(4)) + frame(7, bytes(6))
                   + frame(29, u32(5) + b"Part") + frame(24, u32(1) + b"ab")
                   + frame(44, bytes(17)) + frame(48, u8(3) + bytes(9))),
}

# --- server to app, for the client target: [type] + payload ----------------------------------


def track_info(name, artist, album, genre, extra=None):
    texts = [t.encode() for t in (name, artist, album, genre)]
    flags = 0x02 | (0x04 if extra else 0)
    body = u32(3) + u32(187000) + u16(1) + u8(2) + u8(4) + u16(7) + KEY + u8(flags)
    body += b"".join(u8(len(t)) for t in texts) + b"".join(t + b"\0" for t in texts)
    if extra:
        body += b"".join(u16(v) for v in extra)
    return body


def album_entry(title, artist, number):
    t, a = title.encode(), artist.encode()
    return u16(len(t)) + u16(len(a)) + u16(number) + u16(0) + u32(len(t) + len(a) + 2) + \
        t + b"\0" + a + b"\0"


def track_entry(artist, name, album, extra_text="", extra_number=0):
    r, n, l, x = (s.encode() for s in (artist, name, album, extra_text))
    extra = bool(x) or extra_number != 0
    following = len(r) + len(n) + len(l) + 3 + (len(x) + 5 if extra else 0)
    body = u16(len(r)) + u16(len(n)) + u16(len(l)) + u16(11) + u32(following) + u32(185)
    body += u16(2) + u8(5) + u8(1 if extra else 0) + r + b"\0" + n + b"\0" + l + b"\0"
    if extra:
        body += u16(extra_number) + u16(len(x)) + x + b"\0"
    return body


def library_list(request, code, count, entries):
    return u32(request) + u32(count) + u8(code) + entries


def details_entry(index, texts=None, display=None):
    body = u32(index) + u32(200000) + u16(1) + u8(0) + u8(3) + u16(index + 1)
    body += u16(1) + u16(2) + u16(3) + u16(4) + u16(0)
    if display is not None:
        d = display.encode()
        return body + u16(len(d)) + u16(0) + u32(0) + d + u32(0)
    enc = [t.encode() for t in texts]
    return body + b"".join(u16(len(t)) for t in enc) + b"".join(t + b"\0" for t in enc)


def playlist_details(flags, entries):
    name = b"Party"
    return u32(len(entries)) + u32(7) + u16(len(name)) + u8(flags) + name + b"\0" + \
        b"".join(entries)


def lz4_literals(data):
    """An LZ4 block holding data as literals only (a valid block of one sequence)."""
    n = len(data)
    if n < 15:
        return u8(n << 4) + data
    rest, ext = n - 15, b""
    while rest >= 255:
        ext += b"\xff"
        rest -= 255
    return u8(0xF0) + ext + u8(rest) + data


def envelope(inner_type, payload, block):
    return u32(len(payload)) + u32(inner_type) + u16(0) + block


ARTISTS = library_list(1, 0, 2, b"Ann\0Bo\0")
ALBUMS = library_list(2, 6, 2, album_entry("X", "", 7) + album_entry("Blue", "Björk", 1))
TRACKS = library_list(3, 7, 2, track_entry("AC/DC", "Shock", "Volts")
                      + track_entry("Zed", "Two", "", "live", 9))
# 100 bytes of 'A': one literal, a match of 94 at offset 1, then the five closing literals.
A100_BLOCK = bytes.fromhex("1f4101004b504141414141")

CLIENT = {
    "hello": (1, u16(0x0302) + u8(1) + bytes(range(8))),
    "login-result": (3, u8(1)),
    "track-info": (5, track_info("Shock", "AC/DC", "Volts", "Rock")),
    "track-info-extra": (5, track_info("Ωmega", "", "Blue", "Jazz", [1, 2, 3, 4])),
    "player-status": (6, u32(61000) + u8(1) + u8(1) + u8(2) + u8(128) + u16(0x8080)),
    "track-cover": (8, u32(4) + KEY + b"\x89PNG"),
    "now-playing": (9, u32(2) + u32(0) + cstr("AC/DC - Shock") + u32(1) + cstr("Zed - Two")),
    "current-index": (11, u32(1)),
    "now-playing-changed": (12, b""),
    "cover-none": (13, b""),
    "playlists": (14, u32(2) + u32(7) + u32(12) + cstr("Party") + u32(9) + u32(0) + cstr("")),
    "library-artists": (19, ARTISTS),
    "library-album-pairs": (19, library_list(4, 5, 4, b"X\0\0Blue\0Bj\xc3\xb6rk\0")),
    "library-albums": (19, ALBUMS),
    "library-tracks": (19, TRACKS),
    "library-track-names": (19, library_list(5, 3, 1, b"Shock\0")),
    "library-empty": (19, library_list(6, 2, 0, b"")),
    "search-results": (25, u32(11) + u32(2) + b"Cold Water\0Warm Water\0"),
    "capabilities": (28, struct.pack("<Q", 0x77FFFF)),
    "playlists-changed": (30, b""),
    "playlist-tracks": (31, u32(1) + u32(7) + u32(0) + cstr("AC/DC - Shock")),
    "playlist-changed": (35, u32(7)),
    "track-text": (36, u32(5) + KEY + b"Shock\0"),
    "track-text-failed": (36, u32(0) + bytes(16)),
    "cover": (38, u32(4) + u32(5) + u32(3) + u32(7) + u32(0x10000) + u8(2) + u8(0)
              + cstr("Blue") + cstr("Bjork") + b"\xff\xd8\xff"),
    "playlists-ex": (41, u32(2) + u32(0xFFFFFFFF) + u16(1) + u16(0) + u32(7) + u32(12) + u32(1)
                     + cstr("Party") + u32(8) + u32(0) + u32(2) + cstr("Group")),
    "server-notice": (43, u8(8)),
    "update-notice": (47, u32(6) + u16(0) + cstr("4.0.1")),
    "equalizer": (48, u8(2) + u8(1) + u8(12) + u8(1) + u16(200) + u16(100) + u16(0)
                  + u16(31) + u16(100) + u16(16000) + u16(150)),
    "equalizer-presets": (49, u16(2) + u16(0) + cstr("Flat") + cstr("Rock")),
    "playlist-details-full": (50, playlist_details(1, [details_entry(0, ["Shock", "AC/DC",
                                                                         "Volts", "Rock"])])),
    "playlist-details-short": (50, playlist_details(2, [details_entry(0, display="AC/DC - Shock"),
                                                        details_entry(1, display="")])),
    "sleep-timer": (51, u8(1) + u8(1) + u8(3) + u8(0) + u32(600)),
    "keepalive": (23, b""),
    "envelope-artists": (45, envelope(19, ARTISTS, lz4_literals(ARTISTS))),
    "envelope-tracks": (45, envelope(19, TRACKS, lz4_literals(TRACKS))),
    "envelope-with-a-match": (45, envelope(9, b"A" * 100, A100_BLOCK)),
}

# --- texts -------------------------------------------------------------------------------------

SEARCH = [
    "[Media Type]=[Audio] -[Artist]=[] ~nodup=[Artist] ~sort=[Artist]",
    "[Artist]=[AC//DC] [Album]=[Volts] ~sort=[Disc #],[Track #]",
    "[Album Artist (auto)]=[Various Artists] ~nodup=[Album] ~n=1",
    '[Name]="water" or [Genre]=[Pop]',
    "([Rating]=>3 and -[Album]=[]) or numberplays=[] ~n=5",
    "[Year]=<[2001] [Duration]=>60 [Key]=3",
    "-(-[Genre]=[Jazz] or [Composer]=\"satie\")",
    "artist=Zed and album=Hits/ (2000/)",
    "[Filename]=\"/[live/]\" [Comment]=[]",
    "[Bitrate]=>[128] [Number Plays]=[0] [Track #]=2",
    "~sort=[Name] ~nodup=[Name],[Album]",
    "[Artist]=[Björk Ensemble] [Name]=\"ΩMEGA\"",
    "[Artst]=x",
    "([Genre]=[Pop] ~n=1)",
    "[Artist]=\"open",
    "and or",
]

LIBRARY = {
    "minimal.json": '{"tracks": []}',
    "tracks.json": """{
  "tracks": [
    {"key": 1, "path": "D:\\\\Music\\\\a.mp3", "name": "Shock", "artist": "AC/DC",
     "album": "Volts", "albumArtist": "", "composer": "", "genre": "Rock", "comment": "loud",
     "mediaType": "Audio", "duration": 185, "track": 2, "disc": 1, "year": 1997,
     "rating": 5, "plays": 12, "bitrate": 320000},
    {"path": "D:/Music/b.mp3", "name": "Bj\\u00f6rk \\"live\\" \\ud83c\\udfb5", "artist": "Björk"},
    {"path": "v.mkv", "mediaType": "Video", "rating": 0, "duration": 0.0}
  ],
  "playlists": [
    {"id": 7, "name": "Party", "type": "ordinary", "tracks": [1, 2]},
    {"name": "Best", "type": "smart", "expression": "[Rating]=>3 ~sort=[Artist]"},
    {"name": "Parties", "type": "group", "path": "Parties"},
    {"name": "Numbered", "type": 1}
  ],
  "playingNow": [2, 1]
}""",
    "mistake.json": '{"tracks": [{"path": "a", "rating": 6}]}',
    "bad-expression.json": '{"tracks": [], "playlists": [{"name": "x", "type": "smart", '
                           '"expression": "[Artst]=x"}]}',
    "syntax.json": '{"tracks": [1e3, -0.5E-2, true, false, null, "\\b\\f\\n\\r\\t\\/"] ',
    "deep.json": '{"tracks": [' + "[" * 40 + "]" * 40 + "]}",
}

UTF = {
    "ascii": b"Shock",
    "two-three-four-bytes": "Björk – 東京 🎵".encode(),
    "edges": b"\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
    "utf16-pairs": "ab\U0001F3B5".encode("utf-16-le"),
    "truncated": b"ok\xe2\x82",
    "bad-continuation": b"ok\xc3(",
    "lone-surrogate-utf16": u16(0xD800) + u16(0x0041),
}

STORE_HEADER = "# Tandravole registry store: [key], then \"name\"=type:hex bytes\n"
STORE_END = "# end of store\n"

REGISTRY_STORE = {
    "settings": STORE_HEADER + "[HKEY_CURRENT_USER\\Software\\Tandravole\\MediaCenter]\n"
    "\"coverQuality\"=4:02000000\n\"lastUpdateCheck\"=11:0102030405060708\n"
    "\"password\"=3:00112233445566778899aabbccddeeff0011223344556677\n" + STORE_END,
    "escapes-and-types": STORE_HEADER + "# a comment\n\n"
    "[HKEY_LOCAL_MACHINE\\a\\\\q\\\"x\\] \\u00e9]\r\n"
    "\"na\\\"me\\u263a\"=1:410000000000\n\"\"=4294967295:\n" + STORE_END,
    "presets": STORE_HEADER + "[HKEY_CURRENT_USER\\Software\\P\\31\\Presets]\n"
    "\"R\\u00e9tro\"=1:6e006e006e006e006e006e006e006e006e006e006e000000\n" + STORE_END,
    "truncated": STORE_HEADER + "[HKEY_CURRENT_USER\\Software]\n\"a\"=4:01",
    "value-before-key": STORE_HEADER + "\"a\"=4:01000000\n" + STORE_END,
    "outside-the-roots": STORE_HEADER + "[HKEY_NOWHERE\\x]\n" + STORE_END,
    "after-the-end": STORE_HEADER + STORE_END + "[HKEY_CURRENT_USER\\x]\n",
}

PASSWORD_KEY = (0xCC89B9EE, 0xB402327F, 0x1BA48036, 0x0CE1AD54)


def xtea_cbc(data):
    """XTEA with 64 cycles in CBC mode with a zero initial vector, as the stored password."""
    out, chain, mask = bytearray(), (0, 0), 0xFFFFFFFF
    for off in range(0, len(data), 8):
        v0, v1 = struct.unpack("<II", data[off:off + 8])
        v0, v1, total = v0 ^ chain[0], v1 ^ chain[1], 0
        for _ in range(64):
            v0 = (v0 + ((((v1 << 4) ^ (v1 >> 5)) + v1) ^ (total + PASSWORD_KEY[total & 3]))) & mask
            total = (total + 0x9E3779B9) & mask
            v1 = (v1 + ((((v0 << 4) ^ (v0 >> 5)) + v0)
                        ^ (total + PASSWORD_KEY[(total >> 11) & 3]))) & mask
        chain = (v0, v1)
        out += struct.pack("<II", v0, v1)
    return bytes(out)


def stored_password(text, padding=0):
    """The stored form: UTF-16LE text, zeros up to a multiple of 8 (plus padding), the MD5."""
    plain = text.encode("utf-16-le") + b"\0\0"
    plain += bytes(-len(plain) % 8 + padding)
    return xtea_cbc(plain + hashlib.md5(plain).digest())


PASSWORD = {
    "one-character": stored_password("a"),
    "four-characters": stored_password("abcd"),
    "non-ascii": stored_password("pässwörd 🎵"),
    "extra-padding": stored_password("x", padding=8),
    "too-short": bytes(16),
    "not-whole-blocks": bytes(30),
}


# The real registration script, and small ones around every construct and mistake.
REGISTRAR = {
    "tandravole-rgs": (HERE.parent.parent / "shell" / "Tandravole.rgs").read_bytes(),
    "every-construct": b"""HKCU
{
\tNoRemove Software
\t{
\t\tPlain = s '%MODULE% at 100%%'
\t\t{
\t\t\tval Count = d '0x2A'
\t\t\tval 'It''s' = s '%APPID%'
\t\t\tForceRemove Fresh = d 4294967295
\t\t\t{
\t\t\t\tLeaf
\t\t\t}
\t\t}
\t}
}
hkey_local_machine { NoRemove Software { {6074938C} = s '%P%' } }
""",
    "crlf-bom": b"\xef\xbb\xbfHKLM\r\n{\r\n\tK = s 'v'\r\n}\r\n\0\0",
    "unclosed": b"HKCR\n{\n\tK = s 'open\n}\n",
    "unknown-replacement": b"HKCR { K = s '%NOPE%' }",
    "non-ascii": "HKCU { 'Caf\u00e9 \U0001F3B5' = s 'T\u014dky\u014d' }".encode(),
}


def write(target, files):
    folder = HERE / "corpus" / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)


def main():
    write("engine", {name: bytes([options, cut]) + stream
                     for name, (options, cut, stream) in ENGINE.items()})
    write("client", {name: bytes([msg_type]) + payload
                     for name, (msg_type, payload) in CLIENT.items()})
    write("search", {f"expression-{i:02d}": text.encode() for i, text in enumerate(SEARCH)})
    write("library_json", {name: text.encode() for name, text in LIBRARY.items()})
    write("utf", UTF)
    write("registry_store", {name: text.encode() for name, text in REGISTRY_STORE.items()})
    write("password", PASSWORD)
    write("registrar", REGISTRAR)


if __name__ == "__main__":
    main()
