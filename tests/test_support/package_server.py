#!/usr/bin/python3
"""Template packages and a small web site for the download tests.

  package_server.py make DIR          writes the test packages into DIR
  package_server.py serve DIR PORTFILE serves DIR on 127.0.0.1 (a free port,
                                       written to PORTFILE once listening)

Routes of the site:
  /files/NAME           the file DIR/NAME (404 when there is none)
  /redirect/N/NAME      N redirects, then /files/NAME
  /loop                 redirects to itself
  /ftp                  redirects to an ftp:// address
  /slow/NAME            DIR/NAME in small pieces, a pause between them
  /crawl/NAME           the same, slow enough to watch (about ten seconds)
  /stall/NAME           a few bytes of DIR/NAME, then nothing
NAME may name a file in a folder of DIR ("templates/a.zip").
Anything else answers 404.
"""

import http.server
import os
import socketserver
import struct
import sys
import time
import zipfile
import warnings
import zlib

DOCUMENT = """<?xml version="1.0" encoding="UTF-8"?>
<effect>
  <template name="{name}"/>
  <filter name="SimpleTemplate">
    <filter name="ColorFilter">
      <mat>
        <r r="{k}" g="0.2" b="0.1"/>
        <g r="0.3" g="{k}" b="0.2"/>
        <b r="0.1" g="0.2" b="{k}"/>
      </mat>
    </filter>
  </filter>
</effect>
"""


def document(name, k="0.5"):
    return DOCUMENT.format(name=name, k=k).encode()


def write_zip(path, entries):
    """entries: (name, bytes) or (ZipInfo, bytes)."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            archive.writestr(name, data)


def symlink_info(name):
    info = zipfile.ZipInfo(name)
    info.create_system = 3  # Unix
    info.external_attr = (0o120777 << 16)
    return info


def patch_sizes(path, name, declared):
    """Makes the entry `name` declare `declared` unpacked bytes, in its local
    header and in the central directory, while its data stays as it is."""
    data = bytearray(open(path, "rb").read())
    encoded = name.encode()
    # Local file header: signature, then the sizes at offset 22 (compressed 18).
    at = 0
    while True:
        at = data.find(b"PK\x03\x04", at)
        if at < 0:
            break
        name_len = struct.unpack_from("<H", data, at + 26)[0]
        if data[at + 30:at + 30 + name_len] == encoded:
            struct.pack_into("<I", data, at + 22, declared)
        at += 4
    at = 0
    while True:
        at = data.find(b"PK\x01\x02", at)
        if at < 0:
            break
        name_len = struct.unpack_from("<H", data, at + 28)[0]
        if data[at + 46:at + 46 + name_len] == encoded:
            struct.pack_into("<I", data, at + 24, declared)
        at += 4
    open(path, "wb").write(bytes(data))


def make(folder):
    warnings.simplefilter("ignore")  # the duplicate entry is on purpose
    os.makedirs(folder, exist_ok=True)
    p = lambda name: os.path.join(folder, name)
    # Good packages: one folder with the document and its resources.
    write_zip(p("frost.zip"), [
        ("frost/", b""),
        ("frost/frost.tmpl", document("Frost", "0.6")),
        ("frost/res/grain.txt", b"grain" * 100),
        ("frost/thumb.jpg", b"\xff\xd8 not really a picture"),
    ])
    write_zip(p("ember.zip"), [
        ("./ember/ember.tmpl", document("Ember", "0.9")),
        ("ember/readme.txt", b"x" * 200000),
    ])
    # Hostile packages; each also holds a good document, so that only the
    # named fault can be the reason for refusing it.
    good = ("evil/evil.tmpl", document("Evil"))
    write_zip(p("slip_parent.zip"), [good, ("evil/../../escaped.txt", b"out")])
    write_zip(p("slip_leading_parent.zip"), [good, ("../escaped.txt", b"out")])
    write_zip(p("slip_absolute.zip"), [good, ("/tmp/grinsnap_escaped.txt", b"out")])
    write_zip(p("slip_backslash.zip"), [good, ("..\\escaped.txt", b"out")])
    write_zip(p("slip_drive.zip"), [good, ("C:/escaped.txt", b"out")])
    write_zip(p("symlink.zip"), [good, (symlink_info("evil/link"), b"/etc"), ("evil/link/passwd", b"out")])
    write_zip(p("symlink_alone.zip"), [good, (symlink_info("evil/outside"), b"../../..")])
    write_zip(p("duplicate.zip"), [good, ("evil/a.txt", b"1"), ("evil/a.txt", b"2")])
    write_zip(p("duplicate_dot.zip"), [good, ("evil/a.txt", b"1"), ("./evil/a.txt", b"2")])
    # Zip bombs: an honest one declares more than a package may unpack to;
    # a lying one declares little and inflates to much more.
    write_zip(p("bomb.zip"), [good, ("evil/zeros.bin", bytes(4 << 20))])
    patch_sizes(p("bomb.zip"), "evil/zeros.bin", 300 << 20)
    write_zip(p("bomb_lying.zip"), [good, ("evil/zeros.bin", bytes(4 << 20))])
    patch_sizes(p("bomb_lying.zip"), "evil/zeros.bin", 1000)
    write_zip(p("many_entries.zip"), [good] + [("evil/%05d" % i, b"") for i in range(5000)])
    write_zip(p("replaces_list.zip"), [("template.cfg", b"<library/>"), ("top.tmpl", document("Top"))])
    write_zip(p("replaces_thumbs.zip"), [("thumbs/x.tmpl", document("Thumbs"))])
    write_zip(p("no_tmpl.zip"), [("evil/", b""), ("evil/picture.txt", b"no document here")])
    whole = open(p("frost.zip"), "rb").read()
    open(p("truncated.zip"), "wb").write(whole[:len(whole) // 2])
    open(p("not_a_zip.zip"), "wb").write(b"<html>Not Found</html>")
    # A good package with a damaged data block: its checksum fails.
    damaged = bytearray(open(p("ember.zip"), "rb").read())
    name_at = damaged.find(b"ember/readme.txt")
    damaged[name_at + 40] ^= 0xFF
    open(p("damaged.zip"), "wb").write(bytes(damaged))


class Handler(http.server.BaseHTTPRequestHandler):
    folder = "."

    def log_message(self, *args):
        pass

    def file_bytes(self, name):
        parts = [p for p in name.split("/") if p]
        if not parts or any(p in (".", "..") for p in parts):
            return None
        path = os.path.join(self.folder, *parts)
        if not os.path.isfile(path):
            return None
        return open(path, "rb").read()

    def send_body(self, body, pieces=None, pause=0.0, stall=False):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            if stall:
                self.wfile.write(body[:16])
                self.wfile.flush()
                time.sleep(30)
                return
            if not pieces:
                self.wfile.write(body)
                return
            for at in range(0, len(body), pieces):
                self.wfile.write(body[at:at + pieces])
                self.wfile.flush()
                time.sleep(pause)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def not_found(self):
        body = b"<html>Not Found</html>"
        self.send_response(404)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        parts = self.path.split("?")[0].strip("/").split("/")
        route, rest = parts[0], parts[1:]
        if route == "files" and rest:
            body = self.file_bytes("/".join(rest))
            return self.send_body(body) if body is not None else self.not_found()
        if route == "redirect" and len(rest) == 2 and rest[0].isdigit():
            n = int(rest[0])
            return self.redirect("/redirect/%d/%s" % (n - 1, rest[1]) if n > 0 else "/files/" + rest[1])
        if route == "loop":
            return self.redirect("/loop")
        if route == "ftp":
            return self.redirect("ftp://127.0.0.1/package.zip")
        if route in ("slow", "crawl", "stall") and rest:
            body = self.file_bytes("/".join(rest))
            if body is None:
                return self.not_found()
            if route == "stall":
                return self.send_body(body, stall=True)
            pause = 0.5 if route == "crawl" else 0.03
            return self.send_body(body, pieces=max(1, len(body) // 20), pause=pause)
        return self.not_found()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(folder, port_file):
    Handler.folder = folder
    server = Server(("127.0.0.1", 0), Handler)
    temporary = port_file + ".tmp"
    with open(temporary, "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(temporary, port_file)
    server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        make(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "serve":
        serve(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
