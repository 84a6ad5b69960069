#!/usr/bin/python3
"""The peer of the end-to-end benchmark: mails its standard input as an HTML
body with Python's smtplib, the way a shell pipeline would:
    sqlite3 -html DB QUERY | python3 peer_send.py PORT"""

import smtplib
import sys

body = sys.stdin.buffer.read()
message = (b"From: bericht@example.com\r\nTo: leitung@example.com\r\nSubject: Bench\r\n"
           b"Content-Type: text/html; charset=\"ISO-8859-15\"\r\n\r\n" + body)
with smtplib.SMTP("127.0.0.1", int(sys.argv[1])) as server:
    server.sendmail("bericht@example.com", ["leitung@example.com"], message)
