#!/usr/bin/python3
"""An FTP server for the tests on a free loopback port.

Usage: ftp_server.py ROOT [--tls explicit|implicit --cert PEM --key KEY] [--commands FILE]
Prints its port, then serves until it is killed. With --tls explicit the server offers AUTH TLS
and refuses a login or a data connection before it; with --tls implicit it speaks TLS from the
first byte. With --commands every command word that arrives is appended to FILE (with whether
the control connection was encrypted), so a test can tell what the client sent, and how. The user "orvik" with password "secret" logs
into ROOT/orvik, the user "nopass" with an empty password into ROOT/nopass, and anonymous logins
into ROOT/anonymous; all may write. The user "full" (password "secret", ROOT/full) finds the
disk full as soon as data arrives. Failed logins are answered at once. In ASCII mode the
server stores the bytes as they came over the wire (no CRLF conversion), so a test can see the
line ends the client sent.
"""
import argparse
import errno
import logging
import os
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer


class FullDisk:
    def __init__(self, file):
        self.file = file
        self.closed = False
        self.name = file.name

    def write(self, data):
        raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))

    def close(self):
        self.closed = True
        self.file.close()


class WireBytesDTPHandler(DTPHandler):
    def _posix_ascii_data_wrapper(self, chunk):
        return chunk

    def enable_receiving(self, type, cmd):
        if self.cmd_channel.username == "full":
            self.file_obj = FullDisk(self.file_obj)
        super().enable_receiving(type, cmd)


def command_logging(base, path):
    class Logged(base):
        def pre_process_command(self, line, cmd, arg):
            encrypted = bool(getattr(self, "_ssl_established", False))
            with open(path, "a") as f:
                f.write("%s tls=%s\n" % (cmd, encrypted))
            super().pre_process_command(line, cmd, arg)
    return Logged


def tls_handler(mode, cert, key):
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    class WireBytesTLSDTPHandler(TLS_DTPHandler, WireBytesDTPHandler):
        # A client may start the data connection's handshake before STOR; pyftpdlib 1.5.7
        # would not read it and drop the connection.
        def readable(self):
            return self._ssl_accepting or super().readable()

    class Handler(TLS_FTPHandler):
        certfile = cert
        keyfile = key
        tls_control_required = True
        tls_data_required = True
        dtp_handler = WireBytesTLSDTPHandler

        def handle(self):
            # Implicit TLS: the handshake comes before the greeting, which waits for it.
            if mode == "implicit":
                self.secure_connection(self.ssl_context)
            super().handle()

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--tls", choices=["explicit", "implicit"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--commands")
    options = parser.parse_args()
    root = options.root
    authorizer = DummyAuthorizer()
    for name, password in (("orvik", "secret"), ("nopass", ""), ("full", "secret")):
        os.makedirs(os.path.join(root, name), exist_ok=True)
        authorizer.add_user(name, password, os.path.join(root, name), perm="elradfmwMT")
    os.makedirs(os.path.join(root, "anonymous"), exist_ok=True)
    warnings.filterwarnings("ignore", "write permissions assigned to anonymous user")
    authorizer.add_anonymous(os.path.join(root, "anonymous"), perm="elradfmwMT")
    if options.tls:
        handler = tls_handler(options.tls, options.cert, options.key)
    else:
        handler = FTPHandler
        handler.dtp_handler = WireBytesDTPHandler
    if options.commands:
        handler = command_logging(handler, options.commands)
    handler.authorizer = authorizer
    handler.auth_failed_timeout = 0
    handler.banner = "orvik test ftp ready"
    config_logging(level=logging.WARNING)
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
