#!/usr/bin/env python3
"""Reference update service for Pelicrow.

Answers the update request (a multipart POST of the field "k" to
/includes/json.php) with a manifest built from a content folder, and serves
the files of that folder by GET:

  content/images/<picture>              one carousel picture per file
  content/versions/<version>/<file>     the executable of that version (one file)

A wrong or missing key is answered with "0". The service binds to loopback by
default, never serves anything outside its content folder and logs one line
per request on standard error. Each connection has a time-out and only a few
are served at once, so stalled clients cannot hold the service.

Executables are signed: with --signing-key, "<address of an executable>.sig"
is answered with its detached Ed25519 signature. --make-key creates such a key
and prints the public key that a release build is configured with. Signing
needs python3-cryptography; the rest is the Python 3 standard library.
"""

import argparse
import base64
import collections
import email.parser
import email.policy
import html
import json
import mimetypes
import os
import queue
import re
import selectors
import shutil
import sys
import threading
import time
import urllib.parse
from http import HTTPStatus
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ACCESS_KEY = "5c0d2e9a7b41f8e36a9d0c2b7e4f1a58"
REQUEST_PATH = "/includes/json.php"
SIGNATURE_SUFFIX = ".sig"
MAX_REQUEST_BODY = 1 << 20
SOCKET_TIMEOUT = 10.0
WORKERS = 16
HOST_HEADER = re.compile(r"^[A-Za-z0-9.\-]+(:[0-9]{1,5})?$|^\[[0-9A-Fa-f:.]+\](:[0-9]{1,5})?$")


def multipart_fields(body, content_type):
    """Field name to value of a multipart/form-data body.

    Tolerates a body without its closing delimiter, as Pelicrow sends text-only
    bodies that way."""
    header = email.parser.HeaderParser(policy=email.policy.HTTP).parsestr(
        "Content-Type: " + content_type + "\r\n\r\n")
    boundary = header.get_param("boundary", header="content-type")
    if not boundary:
        return {}
    fields = {}
    delimiter = b"--" + boundary.encode("latin-1")
    for part in body.split(delimiter)[1:]:
        if part.startswith(b"--"):
            break
        head, separator, value = part.partition(b"\r\n\r\n")
        if not separator:
            continue
        if value.endswith(b"\r\n"):
            value = value[:-2]
        match = re.search(rb'name="([^"]*)"', head)
        if match:
            fields.setdefault(match.group(1).decode("utf-8", "replace"),
                              value.decode("utf-8", "replace"))
    return fields


def form_fields(body, content_type):
    if content_type.lower().startswith("multipart/form-data"):
        return multipart_fields(body, content_type)
    if content_type.lower().startswith("application/x-www-form-urlencoded"):
        parsed = urllib.parse.parse_qs(body.decode("utf-8", "replace"))
        return {name: values[0] for name, values in parsed.items()}
    return {}


def regular_files(folder):
    try:
        names = sorted(os.listdir(folder))
    except OSError:
        return []
    return [name for name in names
            if not name.startswith(".") and os.path.isfile(os.path.join(folder, name))]


def build_manifest(content, base):
    images = {name: base + "/images/" + urllib.parse.quote(name)
              for name in regular_files(os.path.join(content, "images"))}
    versions = {}
    versions_folder = os.path.join(content, "versions")
    try:
        version_names = sorted(os.listdir(versions_folder))
    except OSError:
        version_names = []
    for version in version_names:
        if version.startswith("."):
            continue
        files = [name for name in regular_files(os.path.join(versions_folder, version))
                 if not name.endswith(SIGNATURE_SUFFIX)]
        if files:
            versions[version] = (base + "/versions/" + urllib.parse.quote(version) + "/"
                                 + urllib.parse.quote(files[0]))
    return {"versions": versions, "images": images}


class BoundedServer(ThreadingHTTPServer):
    """Serves each connection on a thread of its own, but only once it has sent
    something and never more than `workers` at once. Silent connections wait
    without a thread and are dropped after the time-out, so stalled clients can
    neither lock others out nor pile up threads."""

    daemon_threads = True
    request_queue_size = 64
    MAX_WAITING = 512

    def __init__(self, address, handler, workers, timeout):
        super().__init__(address, handler)
        self.slots = threading.BoundedSemaphore(workers)
        self.wait_timeout = timeout
        self.arrivals = queue.SimpleQueue()
        threading.Thread(target=self.dispatch, daemon=True).start()

    def process_request(self, request, client_address):
        self.arrivals.put((request, client_address))

    def dispatch(self):
        selector = selectors.DefaultSelector()
        waiting = collections.OrderedDict()
        while True:
            while not self.arrivals.empty():
                request, client_address = self.arrivals.get()
                if len(waiting) >= self.MAX_WAITING:
                    oldest, _ = waiting.popitem(last=False)
                    selector.unregister(oldest)
                    self.shutdown_request(oldest)
                waiting[request] = (client_address, time.monotonic() + self.wait_timeout)
                selector.register(request, selectors.EVENT_READ)
            for key, _ in selector.select(0.1):
                request = key.fileobj
                selector.unregister(request)
                client_address, _ = waiting.pop(request)
                self.slots.acquire()
                threading.Thread(target=self.process_request_thread,
                                 args=(request, client_address), daemon=True).start()
            now = time.monotonic()
            for request, (_, deadline) in list(waiting.items()):
                if now > deadline:
                    del waiting[request]
                    selector.unregister(request)
                    self.shutdown_request(request)

    def process_request_thread(self, request, client_address):
        try:
            super().process_request_thread(request, client_address)
        finally:
            self.slots.release()

    def handle_error(self, request, client_address):
        # A client that stalls or leaves mid-way is routine, not a crash.
        sys.stderr.write("%s - connection dropped: %s\n"
                         % (client_address[0], sys.exc_info()[1]))


class UpdateHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PelicrowUpdateService/1.0"
    timeout = SOCKET_TIMEOUT

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        length = self.headers.get("Content-Length", "0")
        if not length.isdigit() or int(length) > MAX_REQUEST_BODY:
            self.send_error(HTTPStatus.REQUEST_ENTITY_TOO_LARGE)
            return
        body = self.rfile.read(int(length))
        if path != REQUEST_PATH:
            self.send_error(HTTPStatus.NOT_FOUND)
            return
        fields = form_fields(body, self.headers.get("Content-Type", ""))
        if fields.get("k") != self.server.access_key:
            self.send_bytes(b"0", "text/plain")
            return
        manifest = build_manifest(self.server.content, self.base_address())
        self.send_bytes(json.dumps(manifest, indent=1).encode("utf-8"), "application/json")

    def do_GET(self):
        self.serve(with_body=True)

    def do_HEAD(self):
        self.serve(with_body=False)

    def serve(self, with_body):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if path == "/":
            self.send_bytes(self.site_page(), "text/html; charset=utf-8", with_body)
            return
        signed = self.signed_file(path)
        if signed is not None:
            self.send_bytes(self.server.signing_key.sign(signed), "application/octet-stream",
                            with_body)
            return
        file_path = self.content_file(path)
        if file_path is None:
            self.send_error(HTTPStatus.NOT_FOUND)
            return
        with open(file_path, "rb") as source:
            size = os.fstat(source.fileno()).st_size
            self.send_response(HTTPStatus.OK)
            self.send_header("Content-Type",
                             mimetypes.guess_type(file_path)[0] or "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.end_headers()
            if with_body:
                shutil.copyfileobj(source, self.wfile, 1 << 16)

    def content_file(self, path):
        """The regular file a request path names inside the content folder, or None."""
        if "\\" in path or "\0" in path:
            return None
        root = os.path.realpath(self.server.content)
        candidate = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if os.path.commonpath([root, candidate]) != root or not os.path.isfile(candidate):
            return None
        if any(part.startswith(".") for part in os.path.relpath(candidate, root).split(os.sep)):
            return None
        return candidate

    def signed_file(self, path):
        """The bytes of the executable whose signature the path asks for, or None."""
        if self.server.signing_key is None or not path.endswith(SIGNATURE_SUFFIX):
            return None
        file_path = self.content_file(path[:-len(SIGNATURE_SUFFIX)])
        root = os.path.join(os.path.realpath(self.server.content), "versions")
        if file_path is None or os.path.commonpath([root, file_path]) != root:
            return None
        with open(file_path, "rb") as source:
            return source.read()

    def base_address(self):
        host = self.headers.get("Host", "")
        if not HOST_HEADER.match(host):
            address, port = self.server.server_address[:2]
            host = "%s:%d" % (address, port)
        return "http://" + host

    def site_page(self):
        names = regular_files(os.path.join(self.server.content, "images"))
        items = "".join('<li><img src="/images/%s" alt="%s" width="200"></li>'
                        % (urllib.parse.quote(name), html.escape(name)) for name in names)
        return ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Pelicrow</title>"
                "</head><body><h1>Pelicrow</h1><p>Screen captures from the tray.</p>"
                "<ul>%s</ul></body></html>" % items).encode("utf-8")

    def send_bytes(self, data, content_type, with_body=True):
        self.send_response(HTTPStatus.OK)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if with_body:
            self.wfile.write(data)

    def end_headers(self):
        # One request per connection: an idle client holds no worker between requests.
        if not self.close_connection:
            self.send_header("Connection", "close")
        super().end_headers()

    def log_error(self, format, *args):
        # The request's own line (log_request) already tells the status.
        pass

    def log_message(self, format, *args):
        sys.stderr.write("%s - [%s] %s\n" % (self.address_string(),
                                             self.log_date_time_string(), format % args))


def make_key(path):
    """Creates the signing key at path unless it exists; returns the public key as
    base64, the value of PELICROW_UPDATE_PUBLIC_KEY."""
    from cryptography.hazmat.primitives import serialization
    from cryptography.hazmat.primitives.asymmetric import ed25519
    if not os.path.exists(path):
        pem = ed25519.Ed25519PrivateKey.generate().private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
            serialization.NoEncryption())
        descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(descriptor, "wb") as key_file:
            key_file.write(pem)
    public = load_key(path).public_key().public_bytes(serialization.Encoding.Raw,
                                                      serialization.PublicFormat.Raw)
    return base64.b64encode(public).decode("ascii")


def load_key(path):
    from cryptography.hazmat.primitives import serialization
    from cryptography.hazmat.primitives.asymmetric import ed25519
    with open(path, "rb") as key_file:
        key = serialization.load_pem_private_key(key_file.read(), password=None)
    if not isinstance(key, ed25519.Ed25519PrivateKey):
        sys.exit("%s holds no Ed25519 private key" % path)
    return key


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1", help="address to bind (default loopback)")
    parser.add_argument("--port", type=int, default=8765, help="port, 0 for any free one")
    parser.add_argument("--content", default=os.path.join(here, "content"),
                        help="folder with images/ and versions/<version>/")
    parser.add_argument("--key", default=ACCESS_KEY, help="the access key to accept")
    parser.add_argument("--timeout", type=float, default=SOCKET_TIMEOUT,
                        help="seconds a client may stay silent (default %(default)s)")
    parser.add_argument("--workers", type=int, default=WORKERS,
                        help="connections served at once (default %(default)s)")
    parser.add_argument("--signing-key", metavar="FILE",
                        help="Ed25519 private key (PEM) that signs the executables served")
    parser.add_argument("--make-key", metavar="FILE",
                        help="create FILE as a signing key unless it exists, print its public "
                             "key (base64) and end")
    options = parser.parse_args()
    if options.make_key:
        print(make_key(options.make_key))
        return

    UpdateHandler.timeout = options.timeout
    server = BoundedServer((options.host, options.port), UpdateHandler, max(1, options.workers),
                           options.timeout)
    server.content = os.path.abspath(options.content)
    server.access_key = options.key
    server.signing_key = load_key(options.signing_key) if options.signing_key else None
    address, port = server.server_address[:2]
    # The first line tells a caller that asked for port 0 where to connect.
    print("listening on http://%s:%d" % (address, port), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
