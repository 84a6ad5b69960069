#!/usr/bin/python3
"""The SMTP sink of scripts/smtp-sink.py with OAuth2 logins instead of passwords,
for the login tests: offers the mechanisms named by --mechanisms (XOAUTH2,
OAUTHBEARER, both or none) behind STARTTLS, accepts the user and token given,
and refuses any other token the way the mail services do: a 334 with a base64
JSON document, then 535 after the client's empty response. Each login is
written to the file --logins as "MECHANISM inline|continued ok|refused", with
the host and port the OAUTHBEARER header named.

    /usr/bin/python3 tests/smtp/oauth-sink.py --dir DIR --user U --token T
        --cert PEM --key PEM [--mechanisms XOAUTH2,OAUTHBEARER] [--plain]
"""

import argparse
import asyncio
import base64
import importlib.util
import json
import os
import socket
import ssl
import sys

from aiosmtpd.smtp import AuthResult, MISSING

here = os.path.dirname(os.path.abspath(__file__))
loader = importlib.util.spec_from_file_location("sink", os.path.join(here, "..", "..", "scripts", "smtp-sink.py"))
sink = importlib.util.module_from_spec(loader)
loader.loader.exec_module(sink)

REFUSAL = {"status": "401", "schemes": "bearer", "scope": "https://mail.google.com/"}


class OAuthSMTP(sink.RecordingSMTP):
    # A 6 KB token is an 8 KB base64 line.
    line_length_limit = 65536


def make_store(args):
    class OAuthStore(sink.Store):
        async def login(self, server, mechanism, args_):
            inline = len(args_) > 1
            if inline:
                data = base64.b64decode(args_[1])
            else:
                data = await server.challenge_auth("")
                if data is MISSING:
                    return AuthResult(success=False, handled=True)
            fields = data.decode("utf-8", "replace").split("\x01")
            user = token = where = ""
            for field in fields:
                if field.startswith("user="):
                    user = field[5:]
                elif field.startswith("n,a="):
                    user = field[4:].rstrip(",")
                elif field.startswith("auth=Bearer "):
                    token = field[12:]
                elif field.startswith("host=") or field.startswith("port="):
                    where += " " + field
            ok = user == args.user and token == args.token
            with open(os.path.join(args.dir, "logins"), "a", encoding="utf-8") as f:
                f.write("%s %s %s%s\n" % (mechanism, "inline" if inline else "continued",
                                          "ok" if ok else "refused", where))
            if ok:
                return AuthResult(success=True)
            await server.challenge_auth(json.dumps(REFUSAL))
            return AuthResult(success=False, handled=False, message="535 5.7.8 Username and Password not accepted")

    mechanisms = [m for m in args.mechanisms.split(",") if m]
    if "XOAUTH2" in mechanisms:
        async def auth_XOAUTH2(self, server, args_):
            return await self.login(server, "XOAUTH2", args_)
        OAuthStore.auth_XOAUTH2 = auth_XOAUTH2
    if "OAUTHBEARER" in mechanisms:
        async def auth_OAUTHBEARER(self, server, args_):
            return await self.login(server, "OAUTHBEARER", args_)
        OAuthStore.auth_OAUTHBEARER = auth_OAUTHBEARER
    return OAuthStore(args.dir)


async def serve(args):
    os.makedirs(args.dir, exist_ok=True)
    OAuthSMTP.transcript = os.path.join(args.dir, "transcript")
    options = {"decode_data": False, "hostname": "sink.localhost", "auth_require_tls": False,
               "auth_exclude_mechanism": ["LOGIN", "PLAIN"], "authenticator": lambda *a: AuthResult(success=False)}
    if not args.plain:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        options["tls_context"] = context
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)
    store = make_store(args)
    server = await asyncio.get_running_loop().create_server(lambda: OAuthSMTP(store, **options), sock=sock)
    print("port %d" % sock.getsockname()[1], flush=True)
    await asyncio.Event().wait()
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", required=True)
    parser.add_argument("--token", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--plain", action="store_true", help="no STARTTLS")
    parser.add_argument("--mechanisms", default="XOAUTH2,OAUTHBEARER")
    asyncio.run(serve(parser.parse_args()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
