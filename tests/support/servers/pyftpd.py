#!/usr/bin/python3
"""A pyftpdlib FTP server on 127.0.0.1 for Pelmar's tests and demo.

Serves ROOT to anonymous users and to one named account, both with full rights. Prints the
port it listens on as the first line of stdout, then serves until killed.
"""
import argparse
import errno
import hashlib
import os
import warnings
import logging
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler, TLS_FTPHandler
from pyftpdlib.servers import ThreadedFTPServer


class ImplicitTlsHandler(TLS_FTPHandler):
    """TLS before the greeting, as on port 990."""

    def handle(self):
        self.secure_connection(self.ssl_context)

    def handle_ssl_established(self):
        TLS_FTPHandler.handle(self)


class OwnFolderFS(AbstractedFS):
    """CWD without os.chdir: the process has one working folder for all its threads (one per
    connection), and connections changing it at once left it in a folder that was deleted
    later, after which every CWD failed."""

    def chdir(self, path):
        if not os.path.isdir(path):
            raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), path)
        if not os.access(path, os.X_OK):
            raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), path)
        self.cwd = self.fs2ftp(path)


class HostileFS(AbstractedFS):
    """Lists names in every folder called "trap" that would leave a client's destination (in
    MLSD, which clients use with this server)."""

    def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
        for line in AbstractedFS.format_mlsx(self, basedir, listing, perms, facts, ignore_err):
            yield line
        if basedir.rstrip("/").endswith("/trap"):
            for name in ("../../..", "a/b"):
                yield ("type=dir;modify=20200101000000; %s\r\n" % name).encode()
            for name in ("../escape.txt", "\x1b]0;PWNED\x07"):
                yield ("type=file;size=5;modify=20200101000000; %s\r\n" % name).encode()


class DishonestRestHandler(FTPHandler):
    """Accepts REST and then sends whole files, and knows no SIZE."""

    def ftp_REST(self, line):
        self.respond("350 Restarting at %s." % line)

    def ftp_SIZE(self, path):
        self.respond("500 Command \"SIZE\" not understood.")


class ChecksumHandler(FTPHandler):
    """Computes files' checksums with XSHA256 and XMD5 (named in FEAT); a wrong one when
    `wrong` is set, as a server with a damaged copy would."""

    proto_cmds = FTPHandler.proto_cmds.copy()
    proto_cmds.update({command: dict(perm='r', auth=True, arg=True,
                                     help='Syntax: %s <SP> file-name' % command)
                       for command in ('XSHA256', 'XMD5')})
    wrong = False

    def __init__(self, *args, **kwargs):
        FTPHandler.__init__(self, *args, **kwargs)
        self._extra_feats = list(self._extra_feats) + ['XSHA256', 'XMD5']

    def _digest(self, path, algorithm):
        try:
            digest = hashlib.new(algorithm)
            with open(path, 'rb') as f:
                for chunk in iter(lambda: f.read(1 << 16), b''):
                    digest.update(chunk)
        except OSError as error:
            self.respond('550 %s.' % error.strerror)
            return
        text = digest.hexdigest()
        self.respond('250 ' + ('0' * len(text) if self.wrong else text))

    def ftp_XSHA256(self, path):
        self._digest(path, 'sha256')

    def ftp_XMD5(self, path):
        self._digest(path, 'md5')


class HalfFile:
    """A file that ends halfway, as a server whose data connection closes early would send."""

    def __init__(self, f, size):
        self._f = f
        self._left = size // 2

    def read(self, n=-1):
        n = self._left if n is None or n < 0 else min(n, self._left)
        data = self._f.read(n)
        self._left -= len(data)
        return data

    def __getattr__(self, name):
        return getattr(self._f, name)


class ShortDataFS(AbstractedFS):
    """Sends the first half of every file opened for reading, then ends as if all were sent."""

    def open(self, filename, mode):
        f = super().open(filename, mode)
        if "r" in mode and "+" not in mode:
            return HalfFile(f, self.getsize(filename))
        return f


class FoldingFS(AbstractedFS):
    """Resolves names whatever their case, as a Windows server does: where a name is not there
    as written, an entry whose name differs from it only in case is the one meant (so STOR of
    "readme.txt" overwrites "README.TXT" and keeps its name)."""

    def ftp2fs(self, ftppath):
        path = super().ftp2fs(ftppath)
        root = os.path.normpath(self.root)
        rest = os.path.relpath(path, root)
        if rest == "." or rest.startswith(".."):
            return path
        resolved = root
        for part in rest.split(os.sep):
            candidate = os.path.join(resolved, part)
            if not os.path.lexists(candidate) and os.path.isdir(resolved):
                for name in os.listdir(resolved):
                    if name.lower() == part.lower():
                        candidate = os.path.join(resolved, name)
                        break
            resolved = candidate
        return resolved


class ShiftedTimesFS(AbstractedFS):
    """LIST times read `shift` seconds ahead of the files' times, as from a server whose clock
    is in another time zone; MDTM stays exact."""

    shift = 0

    def lstat(self, path):
        st = super().lstat(path)
        return os.stat_result((st.st_mode, st.st_ino, st.st_dev, st.st_nlink, st.st_uid,
                               st.st_gid, st.st_size, st.st_atime, st.st_mtime + self.shift,
                               st.st_ctime))


class RefusingMixin:
    """RETR and STOR of paths that contain `refused` are refused, as a file the server may not
    read or a full disk would be."""

    refused = ""

    def ftp_RETR(self, file):
        if self.refused in file:
            self.respond("550 Refused by the test server.")
            return None
        return super().ftp_RETR(file)

    def ftp_STOR(self, file, mode="w"):
        if self.refused in file:
            self.respond("550 Refused by the test server.")
            return None
        return super().ftp_STOR(file, mode)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="pelmar")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--certfile", help="key and certificate: FTP over TLS required")
    parser.add_argument("--implicit", action="store_true", help="TLS from the first byte")
    parser.add_argument("--plain-data", action="store_true",
                        help="accept PROT P but send data in clear (a broken server)")
    parser.add_argument("--dishonest-rest", action="store_true",
                        help="accept REST but send whole files; no SIZE")
    parser.add_argument("--hostile-names", action="store_true",
                        help="list names that leave the client's folder in folders named trap")
    parser.add_argument("--checksums", choices=("right", "wrong"),
                        help="answer XSHA256 and XMD5, with right or wrong checksums")
    parser.add_argument("--short-data", action="store_true",
                        help="send half of each file and confirm it as whole")
    parser.add_argument("--fold-case", action="store_true",
                        help="resolve names whatever their case, as a Windows server does")
    parser.add_argument("--list-offset", type=int, default=0,
                        help="no MLSD; LIST times this many minutes ahead of the files'")
    parser.add_argument("--refuse-transfers", default="",
                        help="refuse RETR and STOR of paths that contain this text")
    parser.add_argument("--rate", type=int, default=0,
                        help="bytes per second each data connection sends at most")
    parser.add_argument("--think", type=float, default=0,
                        help="milliseconds the server waits before each reply, reading "
                             "nothing meanwhile (a slow server)")
    args = parser.parse_args()

    warnings.simplefilter("ignore")
    logging.basicConfig(level=logging.ERROR, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root, perm="elradfmwMT")
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = FTPHandler
    if args.certfile:
        handler = ImplicitTlsHandler if args.implicit else TLS_FTPHandler
        handler.certfile = args.certfile
        handler.tls_control_required = True
        handler.tls_data_required = True
        if args.plain_data:
            handler.dtp_handler = DTPHandler
    if args.dishonest_rest:
        handler = DishonestRestHandler
    if args.checksums:
        handler = ChecksumHandler
        handler.wrong = args.checksums == "wrong"
    handler.authorizer = authorizer
    if args.rate:
        ThrottledDTPHandler.read_limit = args.rate
        ThrottledDTPHandler.write_limit = args.rate
        handler.dtp_handler = ThrottledDTPHandler
    if args.hostile_names:
        handler.abstracted_fs = HostileFS
    filesystems = []
    if args.fold_case:
        filesystems.append(FoldingFS)
    if args.list_offset:
        filesystems.append(type("ShiftedFS", (ShiftedTimesFS,), {"shift": args.list_offset * 60}))
    if args.short_data:
        filesystems.append(ShortDataFS)
        handler.use_sendfile = False
    if filesystems:
        handler.abstracted_fs = type("TestFS", tuple(filesystems), {})
    handler.abstracted_fs = type("ServedFS", (OwnFolderFS, handler.abstracted_fs), {})
    if args.list_offset:
        handler = type("ListOnlyHandler", (handler,), {
            "proto_cmds": {name: value for name, value in handler.proto_cmds.items()
                           if name not in ("MLSD", "MLST")}})
    if args.refuse_transfers:
        handler = type("RefusingHandler", (RefusingMixin, handler),
                       {"refused": args.refuse_transfers})
    if args.think:
        def slow_respond(self, *rest, _respond=handler.respond, **kwargs):
            time.sleep(args.think / 1000)
            _respond(self, *rest, **kwargs)
        handler = type("SlowHandler", (handler,), {"respond": slow_respond})
    handler.banner = "Pelmar test server ready."
    # One thread and event loop per connection: with a single shared loop, pyftpdlib 1.5 can
    # lose a new control connection whose descriptor number an active-mode data connection
    # used a moment before (it then never reads the client's next command).
    server = ThreadedFTPServer((args.host, args.port), handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
