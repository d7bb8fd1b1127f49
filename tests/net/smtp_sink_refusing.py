#!/usr/bin/python3
"""The tests' mail server (smtp_sink.py) that also refuses some recipients, as a server refuses
a mailbox that does not exist.

Usage: smtp_sink_refusing.py FOLDER LOCALPART...
A recipient whose local part (before the "@", any case) is one of LOCALPART gets
"550 5.1.1 mailbox unavailable" at RCPT TO and is left out of the envelope; everything else is
as in smtp_sink.py: the port as the first line of output, each message saved in FOLDER.
"""
import asyncio
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from aiosmtpd.smtp import SMTP  # noqa: E402
from smtp_sink import SavingHandler  # noqa: E402


class RefusingHandler(SavingHandler):
    def __init__(self, folder, refused):
        super().__init__(folder)
        self.refused = {name.lower() for name in refused}

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.split("@")[0].lower() in self.refused:
            return "550 5.1.1 <%s>: mailbox unavailable" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"


async def main(folder, refused):
    handler = RefusingHandler(folder, refused)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="sink.test"), host="127.0.0.1", port=0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], sys.argv[2:]))
