"""A pyftpdlib server for the FTP tests and benchmarks.

Usage: pyftpd_server.py ROOT
Listens on 127.0.0.1 and a free port, prints "PORT <n>" once ready and serves
until it is terminated. Users: alice / secret, and nopass, who is logged in
by USER alone (230 to USER, no PASS).
"""
import ctypes
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

# Ends with the program that started it, even when that one crashed.
PR_SET_PDEATHSIG = 1
ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
if os.getppid() == 1:
    sys.exit(0)

root = sys.argv[1]
authorizer = DummyAuthorizer()
authorizer.add_user('alice', 'secret', root, perm='elradfmwMT')
authorizer.add_user('nopass', '', root, perm='elradfmwMT')


class Handler(FTPHandler):
    authorizer = authorizer
    auth_failed_timeout = 0.05
    banner = 'Velmora test server ready.'
    # Names are bytes, as on the disk: two names that differ only in bytes
    # that are not UTF-8 stay two files.
    unicode_errors = 'surrogateescape'

    def _on_dtp_connection(self):
        # pyftpdlib keeps the ActiveDTP that made an active data connection
        # and closes it at the session's next PORT or at its end. By then
        # the connection's descriptor may belong to another session's
        # connection, which that close drops from the I/O loop: with several
        # sessions at once, one of them is never answered again. The
        # ActiveDTP has handed its socket over; it is forgotten here.
        self._dtp_connector = None
        FTPHandler._on_dtp_connection(self)

    def ftp_USER(self, line):
        if line == 'nopass' and not self.authenticated:
            self.username = line
            self.handle_auth_success(root, '', 'Logged in without a password.')
            return
        FTPHandler.ftp_USER(self, line)


# Quiet: nobody reads a log that fills its pipe.
logging.basicConfig(level=logging.ERROR)
server = FTPServer(('127.0.0.1', 0), Handler)
print('PORT', server.address[1], flush=True)
server.serve_forever()
