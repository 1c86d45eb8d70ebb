"""An FTP server that misbehaves in one chosen way, for the FTP module's deadline tests.

usage: unruly_ftp_server.py CONTROL_PORT MODE

Talks with the test program as ftp_server.py does (one line back on 127.0.0.1:CONTROL_PORT,
"ready /" or "skip REASON"; it serves until that connection closes) and serves 127.0.0.1
port 21 under the same machine-wide lock, taken with that script's code. Logins always succeed. Its one folder holds file.bin,
listed at 1,000 bytes, under any spelling that names it ("./file.bin", "sub/../file.bin",
"FILE.BIN"), and unlisted.bin, which downloads as file.bin does but is never listed. An upload
of any name is read to its end and replied 226 but changes nothing the listing shows: the listing
contradicts an upload of file.bin of any size but 1,000 bytes. MODE is one of:
  greet    the greeting never ends: "220-" lines for ever
  command  a directory change is answered for ever: "250-" lines
  quiet    a download's data connection opens and nothing is ever sent on it
  list     a listing never ends
  short    a download sends 100 of the 1,000 bytes, then replies 426
  lying    a download sends 100 of the 1,000 bytes, then replies 226 all the same
"""
import posixpath
import select
import socket
import sys
import threading
import time

from ftp_server import LIFETIME, take_port_lock

DRIP = 0.05     # seconds between the lines of an endless answer
FILE_NAME = "file.bin"
UNLISTED_NAME = "unlisted.bin"
LISTED_SIZE = 1000
SHORT_SIZE = 100
LISTING = f"-rw-r--r--   1 owner group {LISTED_SIZE} Jan 01  2020 {FILE_NAME}\r\n"


def names_the_file(argument):
    path = posixpath.normpath("/" + argument.strip()).lower()
    return path in ("/" + FILE_NAME, "/" + UNLISTED_NAME)


class Session:
    def __init__(self, mode, client, stop):
        self.mode = mode
        self.client = client
        self.stop = stop
        self.passive = None

    def reply(self, text):
        self.client.sendall((text + "\r\n").encode())

    def drip(self, line):
        # An answer that never ends; it stops only when the client or the test goes away.
        while not self.stop.is_set():
            self.client.sendall(line)
            time.sleep(DRIP)

    def open_passive(self):
        if self.passive:
            self.passive.close()
        self.passive = socket.socket()
        self.passive.bind(("127.0.0.1", 0))
        self.passive.listen(1)
        port = self.passive.getsockname()[1]
        self.reply(f"227 Entering passive mode (127,0,0,1,{port >> 8},{port & 255}).")

    def accept_data(self):
        if not self.passive:
            self.reply("425 Use PASV first.")
            return None
        self.passive.settimeout(10)
        try:
            data, _ = self.passive.accept()
        except OSError:
            self.reply("425 No data connection.")
            return None
        finally:
            self.passive.close()
            self.passive = None
        return data

    def hold(self, data):
        # The data connection stays open, what comes on it dropped, until the client closes it.
        while not self.stop.is_set():
            readable, _, _ = select.select([data], [], [], 0.1)
            if readable and not data.recv(4096):
                return

    def list_files(self):
        self.reply("150 Here comes the listing.")
        data = self.accept_data()
        if not data:
            return
        with data:
            if self.mode == "list":
                self.drip(LISTING.encode())
                return
            data.sendall(LISTING.encode())
        self.reply("226 Listing sent.")

    def retrieve(self, argument):
        if not names_the_file(argument):
            self.reply("550 No such file.")
            return
        self.reply("150 Opening data connection.")
        data = self.accept_data()
        if not data:
            return
        with data:
            if self.mode == "quiet":
                self.hold(data)
                return
            size = SHORT_SIZE if self.mode in ("short", "lying") else LISTED_SIZE
            data.sendall(bytes(i % 251 for i in range(size)))
        if self.mode == "short":
            self.reply("426 Connection closed; transfer aborted.")
        else:
            self.reply("226 Transfer complete.")

    def store(self):
        # The bytes are taken and dropped: the listing goes on showing what it always shows.
        self.reply("150 Ready for the data.")
        data = self.accept_data()
        if not data:
            return
        with data:
            self.hold(data)
        self.reply("226 Transfer complete.")

    def handle(self, verb, argument):
        if verb == "USER":
            self.reply("331 Password, please.")
        elif verb == "PASS":
            self.reply("230 Logged in.")
        elif verb == "CWD" and self.mode == "command":
            self.drip(b"250-still changing directory\r\n")
        elif verb in ("CWD", "CDUP"):
            self.reply("250 Directory changed.")
        elif verb == "PWD":
            self.reply('257 "/" is the current directory.')
        elif verb == "PASV":
            self.open_passive()
        elif verb in ("LIST", "NLST"):
            self.list_files()
        elif verb == "RETR":
            self.retrieve(argument)
        elif verb == "STOR":
            self.store()
        elif verb == "SYST":
            self.reply("215 UNIX Type: L8")
        elif verb == "QUIT":
            self.reply("221 Goodbye.")
            return False
        else:
            self.reply("200 Fine.")
        return True

    def run(self):
        with self.client:
            if self.mode == "greet":
                self.drip(b"220-welcome, and welcome again\r\n")
                return
            self.reply("220 Unruly server ready.")
            lines = self.client.makefile("rb")
            for raw in lines:
                line = raw.decode("latin-1").rstrip("\r\n")
                verb, _, argument = line.partition(" ")
                if not self.handle(verb.upper(), argument):
                    return


def serve_client(mode, client, stop):
    try:
        Session(mode, client, stop).run()
    except OSError:
        pass  # the client went away


def serve(listener, control, mode):
    stop = threading.Event()
    deadline = time.monotonic() + LIFETIME
    try:
        while time.monotonic() < deadline:
            readable, _, _ = select.select([listener, control], [], [], 0.1)
            if control in readable and not control.recv(64):
                return
            if listener in readable:
                client, _ = listener.accept()
                threading.Thread(target=serve_client, args=(mode, client, stop),
                                 daemon=True).start()
    finally:
        stop.set()


def listen(port):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(8)
    return listener


def main():
    control = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=30)
    mode = sys.argv[2]
    lock = take_port_lock()
    if lock is None:
        control.sendall(b"skip port 21 stayed taken by another test run\n")
        return
    try:
        try:
            listener = listen(21)
        except OSError as err:
            control.sendall(f"skip cannot serve on 127.0.0.1 port 21: {err}\n".encode())
            return
        control.sendall(b"ready /\n")
        with listener:
            serve(listener, control, mode)
    finally:
        lock.close()


if __name__ == "__main__":
    main()
