#!/usr/bin/python3
"""An FTP server for the tests on a free loopback port.

Usage: ftp_server.py ROOT
Prints its port, then serves until it is killed. The user "orvik" with password "secret" logs
into ROOT/orvik, the user "nopass" with an empty password into ROOT/nopass, and anonymous logins
into ROOT/anonymous; all may write. The user "full" (password "secret", ROOT/full) finds the
disk full as soon as data arrives. Failed logins are answered at once. In ASCII mode the
server stores the bytes as they came over the wire (no CRLF conversion), so a test can see the
line ends the client sent.
"""
import errno
import logging
import os
import sys
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


def main(root):
    authorizer = DummyAuthorizer()
    for name, password in (("orvik", "secret"), ("nopass", ""), ("full", "secret")):
        os.makedirs(os.path.join(root, name), exist_ok=True)
        authorizer.add_user(name, password, os.path.join(root, name), perm="elradfmwMT")
    os.makedirs(os.path.join(root, "anonymous"), exist_ok=True)
    warnings.filterwarnings("ignore", "write permissions assigned to anonymous user")
    authorizer.add_anonymous(os.path.join(root, "anonymous"), perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.auth_failed_timeout = 0
    handler.dtp_handler = WireBytesDTPHandler
    handler.banner = "orvik test ftp ready"
    config_logging(level=logging.WARNING)
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main(sys.argv[1])
