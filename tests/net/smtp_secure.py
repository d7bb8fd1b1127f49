#!/usr/bin/python3
"""A mail server for the encryption and login tests, on a free loopback port.

Usage: smtp_secure.py FOLDER MODE [--cert PEM --key KEY] [--user U --password P] [--token T]
MODE is one of
  plain              no TLS at all (STARTTLS not offered)
  plain-auth         as plain, with AUTH offered in clear (as some old servers still do)
  starttls           STARTTLS offered, AUTH only after it
  starttls-required  as starttls, and no mail accepted before it
  tls                TLS from the first byte (the certificate on the listening socket)
Prints its port as the first line, then serves until killed. Message N is saved as
FOLDER/NNN.eml with FOLDER/NNN.json beside it (written first): envelope, MAIL FROM options,
whether the session was encrypted, and who logged in. Every MAIL command is also appended to
FOLDER/mail-commands.log, so a test can tell that none arrived.
"""
import argparse
import asyncio
import base64
import json
import os
import ssl

from aiosmtpd.smtp import SMTP, AuthResult


class Handler:
    def __init__(self, folder, implicit_tls, token):
        self.folder = folder
        self.implicit_tls = implicit_tls
        self.token = token
        self.count = 0

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        with open(os.path.join(self.folder, "mail-commands.log"), "a") as f:
            f.write("MAIL FROM:<%s> %s tls=%s\n"
                    % (address, " ".join(mail_options), self.encrypted(server, session)))
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    def encrypted(self, server, session):
        return self.implicit_tls or session.ssl is not None

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%03d" % self.count)
        login = getattr(session.auth_data, "login", session.auth_data)
        if isinstance(login, bytes):
            login = login.decode("utf-8", "replace")
        with open(base + ".json.part", "w") as f:
            json.dump({"mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos,
                       "mail_options": envelope.mail_options,
                       "tls": self.encrypted(server, session),
                       "login": login}, f)
        os.rename(base + ".json.part", base + ".json")
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 Message accepted for delivery"

    async def auth_XOAUTH2(self, server, args):
        if self.token is None or len(args) != 2:
            return AuthResult(success=False, handled=False)
        try:
            text = base64.b64decode(args[1], validate=True).decode("utf-8")
        except Exception:
            return AuthResult(success=False, handled=False)
        fields = dict(item.split("=", 1) for item in text.split("\x01") if "=" in item)
        if text.endswith("\x01\x01") and fields.get("auth") == "Bearer " + self.token:
            return AuthResult(success=True, auth_data=fields.get("user"))
        # The protocol's way of refusing: the details as a challenge, answered empty.
        await server.challenge_auth(json.dumps({"status": "401", "schemes": "bearer"}))
        return AuthResult(success=False, handled=False)


def authenticator(user, password):
    def check(server, session, envelope, mechanism, auth_data):
        ok = (auth_data.login == user.encode() and auth_data.password == password.encode())
        return AuthResult(success=ok, handled=False, auth_data=auth_data)
    return check


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("mode", choices=["plain", "plain-auth", "starttls", "starttls-required", "tls"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--token")
    options = parser.parse_args()

    context = None
    if options.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.cert, options.key)
    implicit = options.mode == "tls"
    handler = Handler(options.folder, implicit, options.token)

    def factory():
        return SMTP(handler,
                    hostname="secure.test",
                    data_size_limit=10 * 1024 * 1024,
                    tls_context=context if options.mode.startswith("starttls") else None,
                    require_starttls=options.mode == "starttls-required",
                    # With TLS from the first byte the server cannot tell; it is encrypted.
                    auth_require_tls=not implicit and options.mode != "plain-auth",
                    authenticator=authenticator(options.user or "", options.password),
                    auth_exclude_mechanism=[] if options.user or options.token else
                    ["LOGIN", "PLAIN"])

    loop = asyncio.get_running_loop()
    server = await loop.create_server(factory, host="127.0.0.1", port=0,
                                      ssl=context if implicit else None)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
