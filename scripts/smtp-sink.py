#!/usr/bin/python3
"""A local SMTP server that keeps every mail it receives, for the demo and the
end-to-end tests. Each mail is stored in the folder as mail-NNN.eml (the data
exactly as received, dot-stuffing undone), mail-NNN.envelope (MAIL FROM and
RCPT TO addresses, one per line) and, for an HTML body, mail-NNN.html (the body
in UTF-8, for a browser). Listens on the loopback address; with port 0 the
system picks a free port. Once listening it prints "port N" on stdout.

With --cert and --key the server offers STARTTLS, or with --implicit-tls speaks
TLS from the first byte. --transcript FILE records every command as "VERB tls"
or "VERB plain" (AUTH with its mechanism, never the credentials), so a test can
see what crossed the network in clear. --drop-first VERB cuts the first
connection that sends VERB, without an answer and without TLS's closing alert,
as a failing network would. --smtputf8 announces SMTPUTF8.

Runs with Debian's Python, which has aiosmtpd:
    /usr/bin/python3 scripts/smtp-sink.py --dir DIR [--port 0] [--auth USER:PASS]
        [--cert PEM --key PEM [--implicit-tls]] [--no-login-mechanism] [--transcript FILE]
        [--drop-first VERB] [--smtputf8]
Ends on SIGTERM or SIGINT.
"""

import argparse
import asyncio
import email
import email.policy
import functools
import os
import signal
import socket
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult

# aiosmtpd warns about its own deprecated login attribute on every AUTH.
warnings.filterwarnings("ignore", category=DeprecationWarning)


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "mail-%03d" % self.count)
        content = envelope.content
        if isinstance(content, str):
            content = content.encode("utf-8", "surrogateescape")
        with open(base + ".envelope", "w", encoding="utf-8") as f:
            f.write("MAIL FROM: %s\n" % envelope.mail_from)
            for rcpt in envelope.rcpt_tos:
                f.write("RCPT TO: %s\n" % rcpt)
        html = html_of(content)
        if html is not None:
            with open(base + ".html", "w", encoding="utf-8") as f:
                f.write(html)
        # The .eml goes last: a reader that sees it finds the other files complete.
        with open(base + ".eml.part", "wb") as f:
            f.write(content)
        os.replace(base + ".eml.part", base + ".eml")
        return "250 OK"


def html_of(content):
    """The HTML body as text with a charset declaration, or None for other mails."""
    try:
        msg = email.message_from_bytes(content, policy=email.policy.compat32)
    except Exception:
        return None
    if msg.get_content_type() != "text/html":
        return None
    charset = msg.get_content_charset() or "iso-8859-15"
    body = msg.get_payload(decode=True) or b""
    try:
        text = body.decode(charset, "replace")
    except LookupError:
        text = body.decode("iso-8859-15", "replace")
    return '<meta charset="utf-8">\n' + text


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        login = getattr(auth_data, "login", b"") or b""
        secret = getattr(auth_data, "password", b"") or b""
        if isinstance(login, str):
            login = login.encode()
        if isinstance(secret, str):
            secret = secret.encode()
        return AuthResult(success=(login == user.encode() and secret == password.encode()), handled=False)
    return authenticate


class RecordingSMTP(SMTP):
    """Writes each command's verb and whether it came encrypted to the transcript."""
    transcript = None

    def encrypted(self):
        return self._tls_protocol is not None or (
            self.transport is not None and self.transport.get_extra_info("ssl_object") is not None)


def recorded(verb):
    original = getattr(SMTP, "smtp_" + verb)

    @functools.wraps(original)
    async def command(self, arg):
        entry = verb
        if verb == "AUTH" and arg:
            entry += " " + arg.split()[0].upper()
        with open(self.transcript, "a", encoding="utf-8") as f:
            f.write("%s %s\n" % (entry, "tls" if self.encrypted() else "plain"))
        return await original(self, arg)
    return command


for _verb in ("HELO", "EHLO", "STARTTLS", "AUTH", "MAIL", "RCPT", "DATA", "RSET", "QUIT", "NOOP"):
    setattr(RecordingSMTP, "smtp_" + _verb, recorded(_verb))


def dropping(factory, verb):
    """A server class whose first VERB, on any connection, ends that connection abruptly."""
    original = getattr(factory, "smtp_" + verb)
    state = {"dropped": False}

    async def command(self, arg):
        if not state["dropped"]:
            state["dropped"] = True
            # abort(): no answer, no close_notify, like a cut line.
            self.transport.abort()
            return
        return await original(self, arg)
    return type("Dropping" + factory.__name__, (factory,), {"smtp_" + verb: command})


async def serve(args):
    os.makedirs(args.dir, exist_ok=True)
    store = Store(args.dir)
    options = {"decode_data": False, "hostname": "sink.localhost"}
    if args.auth:
        user, _, password = args.auth.partition(":")
        options.update(authenticator=make_authenticator(user, password),
                       auth_require_tls=False, auth_required=False)
        if args.no_login_mechanism:
            options.update(auth_exclude_mechanism=["LOGIN"])
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        if not args.implicit_tls:
            options.update(tls_context=context)
    factory = SMTP
    if args.transcript:
        factory = RecordingSMTP
        RecordingSMTP.transcript = os.path.join(args.dir, args.transcript)
    if args.drop_first:
        factory = dropping(factory, args.drop_first.upper())
    if args.smtputf8:
        options.update(enable_SMTPUTF8=True)
    family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
    sock = socket.socket(family, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((args.host, args.port))
    sock.listen(16)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: factory(store, **options), sock=sock,
                                      ssl=context if args.implicit_tls else None)
    print("port %d" % sock.getsockname()[1], flush=True)

    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    server.close()
    await server.wait_closed()


def main():
    parser = argparse.ArgumentParser(description="Local SMTP sink that stores received mails.")
    parser.add_argument("--dir", required=True, help="folder for the received mails")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--auth", help="USER:PASS accepted by AUTH LOGIN and AUTH PLAIN")
    parser.add_argument("--no-login-mechanism", action="store_true", help="offer AUTH PLAIN only")
    parser.add_argument("--cert", help="server certificate (PEM): offers STARTTLS")
    parser.add_argument("--key", help="private key of --cert (PEM)")
    parser.add_argument("--implicit-tls", action="store_true", help="TLS from the first byte")
    parser.add_argument("--transcript", help="file (in --dir unless absolute) that records each command and its protection")
    parser.add_argument("--drop-first", help="cut the first connection that sends this command")
    parser.add_argument("--smtputf8", action="store_true", help="announce SMTPUTF8")
    args = parser.parse_args()
    asyncio.run(serve(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())
