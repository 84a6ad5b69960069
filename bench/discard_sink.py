#!/usr/bin/python3
"""An SMTP server for the end-to-end benchmark: accepts every mail on a loopback
port, reads its data in large chunks and throws it away, so the sink costs the
contenders as little as possible. Prints "port N" once listening and
"mail BYTES" after each mail (the data phase up to, without, the final ".").
Serves one connection at a time; ends on SIGTERM."""

import socket
import sys


def reply(conn, text):
    conn.sendall(text.encode("ascii") + b"\r\n")


def serve(conn):
    reply(conn, "220 sink ESMTP")
    pending = b""
    while True:
        chunk = conn.recv(1 << 20)
        if not chunk:
            return
        pending += chunk
        while b"\r\n" in pending:
            line, pending = pending.split(b"\r\n", 1)
            verb = line[:4].upper()
            if verb == b"EHLO":
                reply(conn, "250-sink\r\n250 8BITMIME")
            elif verb == b"QUIT":
                reply(conn, "221 bye")
                return
            elif verb == b"DATA":
                reply(conn, "354 go ahead")
                size = read_data(conn, pending)
                pending = b""
                print("mail %d" % size, flush=True)
                reply(conn, "250 queued")
            else:
                reply(conn, "250 ok")


# Reads the data phase (the client waits for its reply, so nothing follows it).
def read_data(conn, first):
    size = 0
    tail = b"\r\n"
    chunk = first
    while True:
        size += len(chunk)
        tail = (tail + chunk)[-5:]
        if tail.endswith(b"\r\n.\r\n"):
            return size - 3
        chunk = conn.recv(1 << 20)
        if not chunk:
            return size


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        with conn:
            try:
                serve(conn)
            except OSError as failure:
                print("error %s" % failure, file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
