#!/usr/bin/python3
"""Reads one received mail with Python's own mail parser and prints what the
transport test compares: the decoded headers it names, then the decoded body.
Usage: parse_mail.py MAIL.eml"""

import email
import email.header
import email.policy
import sys


def decoded(value):
    if value is None:
        return "(none)"
    return str(email.header.make_header(email.header.decode_header(value)))


def main():
    with open(sys.argv[1], "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=email.policy.compat32)
    for name in ("From", "To", "Cc", "Bcc", "Subject", "X-Priority", "X-Library", "X-Mailer"):
        print("%s: %s" % (name, decoded(msg.get(name))))
    print("Content-Type: %s; charset=%s" % (msg.get_content_type(), msg.get_content_charset()))
    print("Defects: %d" % len(msg.defects))
    body = msg.get_payload(decode=True).decode(msg.get_content_charset() or "ascii")
    print("Body:")
    sys.stdout.write(body.replace("\r\n", "\n"))


if __name__ == "__main__":
    main()
