#!/usr/bin/python3
"""A small read-only SFTP server on 127.0.0.1 for Pelmar's tests, on paramiko.

Serves ROOT as "/" to one account ("pelmar", "secret") by password and keyboard-interactive
log-on, with the host key given. Prints the port it listens on as the first line of stdout, then
serves until killed. Switches make it misbehave as broken or hostile servers do.
"""
import argparse
import logging
import os
import socket
import stat
import sys
import threading

import paramiko
from paramiko import SFTPAttributes, SFTPHandle, SFTPServer, SFTPServerInterface, SFTP_FAILURE

USER, PASSWORD = "pelmar", "secret"
# Reads at or past this offset misbehave (--stall-read, --drop-mid-file): the first part of a
# file arrives, the rest does not.
MIDDLE = 64 * 1024
# What --lie-size adds to every size it reports.
EXTRA = 1000
HOSTILE = [("a/b", True), ("..", True), ("../escape.txt", False), ("line\nbreak.txt", False)]
SWITCHES = {
    "stall-read": "stop answering in the middle of a file's reads",
    "short-reads": "answer each read with fewer bytes than asked",
    "handle-error": "answer OPEN of a file with a FAILURE status",
    "hostile-names": 'folders named "trap" list names that leave the client\'s folder',
    "drop-mid-file": "close the connection in the middle of a download",
    "lie-size": "report files as %d bytes larger than they are" % EXTRA,
}


class Server(paramiko.ServerInterface):
    def __init__(self, args, transport):
        self.args = args
        self.transport = transport

    def get_allowed_auths(self, username):
        return {"password": "password", "keyboard-interactive": "keyboard-interactive",
                "both": "password,keyboard-interactive"}[self.args.auth]

    def check_auth_password(self, username, password):
        ok = self.args.auth != "keyboard-interactive" and (username, password) == (USER, PASSWORD)
        return paramiko.AUTH_SUCCESSFUL if ok else paramiko.AUTH_FAILED

    def check_auth_interactive(self, username, submethods):
        if self.args.auth == "password" or username != USER:
            return paramiko.AUTH_FAILED
        query = paramiko.InteractiveQuery("Pelmar test", "")
        query.add_prompt("Password: ", False)
        return query

    def check_auth_interactive_response(self, responses):
        ok = list(responses) == [PASSWORD]
        return paramiko.AUTH_SUCCESSFUL if ok else paramiko.AUTH_FAILED

    def check_channel_request(self, kind, chanid):
        if kind == "session":
            return paramiko.OPEN_SUCCEEDED
        return paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED


class Handle(SFTPHandle):
    def __init__(self, owner, flags, f):
        SFTPHandle.__init__(self, flags)
        self.owner = owner
        self.readfile = f

    def stat(self):
        return self.owner.attributes(os.fstat(self.readfile.fileno()), "")

    def read(self, offset, length):
        args = self.owner.args
        if offset + length > MIDDLE:
            if args.stall_read:
                threading.Event().wait()  # never answers: the client's time-out ends it
            if args.drop_mid_file:
                self.owner.server.transport.close()
                return SFTP_FAILURE
        if args.short_reads and length > 1:
            length = max(1, length // 3)
        return SFTPHandle.read(self, offset, length)


class Folder(SFTPServerInterface):
    def __init__(self, server, *rest, **kwargs):
        SFTPServerInterface.__init__(self, server, *rest, **kwargs)
        self.server = server
        self.args = server.args
        self.root = os.path.realpath(self.args.root)

    def local(self, path):
        # Every path stays below the root, whatever ".." it holds.
        return os.path.join(self.root, os.path.normpath("/" + path).lstrip("/"))

    def attributes(self, st, name):
        attr = SFTPAttributes.from_stat(st, name)
        if self.args.lie_size and stat.S_ISREG(st.st_mode):
            attr.st_size += EXTRA
        return attr

    def canonicalize(self, path):
        return os.path.normpath("/" + path)

    def list_folder(self, path):
        try:
            folder = self.local(path)
            out = [self.attributes(os.lstat(os.path.join(folder, name)), name)
                   for name in os.listdir(folder)]
        except OSError as error:
            return SFTPServer.convert_errno(error.errno)
        if self.args.hostile_names and os.path.basename(path.rstrip("/")) == "trap":
            for name, is_folder in HOSTILE:
                attr = SFTPAttributes()
                attr.filename = name
                attr.st_mode = (stat.S_IFDIR | 0o755) if is_folder else (stat.S_IFREG | 0o644)
                attr.st_size = 0 if is_folder else 5
                attr.st_uid = attr.st_gid = 0
                attr.st_atime = attr.st_mtime = 1577880000
                out.append(attr)
        return out

    def stat(self, path, follow=os.stat):
        try:
            return self.attributes(follow(self.local(path)), os.path.basename(path))
        except OSError as error:
            return SFTPServer.convert_errno(error.errno)

    def lstat(self, path):
        return self.stat(path, os.lstat)

    def open(self, path, flags, attr):
        if self.args.handle_error or flags & (os.O_WRONLY | os.O_RDWR):
            return SFTP_FAILURE
        try:
            return Handle(self, flags, open(self.local(path), "rb"))
        except OSError as error:
            return SFTPServer.convert_errno(error.errno)


def serve(connection, args, host_key):
    transport = paramiko.Transport(connection)
    transport.add_server_key(host_key)
    transport.set_subsystem_handler("sftp", SFTPServer, Folder)
    try:
        transport.start_server(server=Server(args, transport))
    except (paramiko.SSHException, EOFError, OSError):
        return
    # Channels are served by the subsystem's own thread; kept here, as a channel that is
    # forgotten closes.
    channels = []
    while transport.is_active():
        channel = transport.accept(1)
        if channel is not None:
            channels.append(channel)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--host-key", required=True, help="an OpenSSH ed25519 private key file")
    parser.add_argument("--auth", choices=("password", "keyboard-interactive", "both"),
                        default="both", help="log-on methods offered")
    for name, text in SWITCHES.items():
        parser.add_argument("--" + name, action="store_true", help=text)
    args = parser.parse_args()
    # A client that goes away is no error worth a line on the test's output.
    logging.basicConfig(level=logging.CRITICAL, stream=sys.stderr)

    host_key = paramiko.Ed25519Key.from_private_key_file(args.host_key)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, args, host_key), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
