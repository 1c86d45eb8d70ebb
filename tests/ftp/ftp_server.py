"""The FTP server the FTP module's tests talk to: pyftpdlib on 127.0.0.1 port 21.

usage: ftp_server.py CONTROL_PORT

Connects back to the test program on 127.0.0.1:CONTROL_PORT and sends one line: "ready ROOT"
(ROOT being the served folder, holding "home" for user tester/secret and "other" for
other/pw2) or "skip REASON" when port 21 cannot be had. It serves until that connection
closes, then removes ROOT. Port 21 is taken under a machine-wide lock, so test programs that
run at the same time, from any build, take turns.

Two kinds of crafted answers let the tests see hostile servers:
- a folder holding a file ".listing" is listed as that file's bytes, as they are;
- a file whose name starts with "cut" is sent only up to its first 4,000 bytes, then the data
  connection is dropped, while its listing and size tell its whole length.
"""
import fcntl
import logging
import os
import select
import shutil
import socket
import sys
import tempfile
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

LOCK_FILE = "/tmp/ftp-tests-port21.lock"
LOCK_WAIT = 90        # seconds to wait for another run to give the port back
LIFETIME = 600        # the server never outlives this, whatever happens to its test
CUT_AT = 4000


class CutFile:
    """Reads like the real file up to CUT_AT bytes, then fails."""

    def __init__(self, file):
        self.file = file
        self.name = file.name
        self.closed = False
        self.sent = 0

    def read(self, size=-1):
        if self.sent >= CUT_AT:
            raise OSError("transfer cut by the test server")
        if size < 0 or size > CUT_AT - self.sent:
            size = CUT_AT - self.sent
        data = self.file.read(size)
        self.sent += len(data)
        return data

    def seek(self, *args):
        return self.file.seek(*args)

    def close(self):
        self.closed = True
        self.file.close()


class CraftedFS(AbstractedFS):
    def open(self, filename, mode):
        file = super().open(filename, mode)
        if "r" in mode and os.path.basename(filename).startswith("cut"):
            return CutFile(file)
        return file

    def format_list(self, basedir, listing, ignore_err=True):
        crafted = os.path.join(basedir, ".listing")
        if os.path.isfile(crafted):
            with open(crafted, "rb") as f:
                yield f.read()
            return
        yield from super().format_list(basedir, listing, ignore_err)


def take_port_lock():
    lock = open(LOCK_FILE, "a")
    deadline = time.monotonic() + LOCK_WAIT
    while True:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return lock
        except BlockingIOError:
            if time.monotonic() > deadline:
                return None
            time.sleep(0.1)


def make_server(root):
    authorizer = DummyAuthorizer()
    for user, password, folder in (("tester", "secret", "home"), ("other", "pw2", "other")):
        os.mkdir(os.path.join(root, folder))
        authorizer.add_user(user, password, os.path.join(root, folder), perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.abstracted_fs = CraftedFS
    handler.use_sendfile = False  # every byte sent goes through CraftedFS's files
    handler.banner = "test server ready"
    return FTPServer(("127.0.0.1", 21), handler)


def serve(server, control):
    control.setblocking(False)
    deadline = time.monotonic() + LIFETIME
    while time.monotonic() < deadline:
        server.serve_forever(timeout=0.05, blocking=False, handle_exit=False)
        readable, _, _ = select.select([control], [], [], 0)
        if readable and not control.recv(64):
            return


def main():
    logging.basicConfig(level=logging.ERROR, stream=sys.stderr)
    control = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=30)
    lock = take_port_lock()
    if lock is None:
        control.sendall(b"skip port 21 stayed taken by another test run\n")
        return
    root = tempfile.mkdtemp(prefix="ftp-test-")
    try:
        try:
            server = make_server(root)
        except OSError as err:
            control.sendall(f"skip cannot serve on 127.0.0.1 port 21: {err}\n".encode())
            return
        control.sendall(f"ready {root}\n".encode())
        try:
            serve(server, control)
        finally:
            server.close_all()
    finally:
        shutil.rmtree(root, ignore_errors=True)
        lock.close()


if __name__ == "__main__":
    main()
