#!/usr/bin/python3
"""A mail server for the tests: accepts every message on a free loopback port and saves it.

Usage: smtp_sink.py FOLDER
Prints the port it listens on as the first line of its output, then serves until it is
killed. Message N is saved as FOLDER/NNN.eml (the data as received, dot-stuffing removed)
with FOLDER/NNN.json beside it (envelope sender, recipients, HELO name); the .json is
written first, so a test that sees the .eml sees both.
"""
import asyncio
import json
import os
import sys

from aiosmtpd.smtp import SMTP


class SavingHandler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%03d" % self.count)
        with open(base + ".json.part", "w") as f:
            json.dump({"mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos,
                       "helo": session.host_name}, f)
        os.rename(base + ".json.part", base + ".json")
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 Message accepted for delivery"


async def main(folder):
    handler = SavingHandler(folder)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(handler, data_size_limit=200 * 1024 * 1024, hostname="sink.test"),
        host="127.0.0.1", port=0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1]))
