#!/usr/bin/python3
"""A man in the middle deletes STARTTLS from the server's EHLO reply: the login
must not cross in clear. Runs inside a private network namespace (the caller
starts it with unshare -n) where 192.0.2.1 (TEST-NET-1) sits on the loopback
device, so the address is not loopback to the program yet never leaves the
machine. Checks with build/vornetta --smtp-test:
  - auto through the proxy: German error, no AUTH at the server;
  - auto to the same kind of server on 127.0.0.1 without STARTTLS: logs in;
  - aus through the proxy: logs in in clear, as asked."""

import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SOURCE = os.environ["VORNETTA_SOURCE_DIR"]
PROGRAM = os.path.join(os.environ["VORNETTA_BINARY_DIR"], "vornetta")
OUTSIDE = "192.0.2.1"


def start_sink(folder, host, *options):
    sink = subprocess.Popen(["/usr/bin/python3", os.path.join(SOURCE, "scripts", "smtp-sink.py"), "--dir", folder,
                             "--host", host, "--port", "0", "--auth", "user:secret", "--transcript", "transcript",
                             *options], stdout=subprocess.PIPE, text=True)
    line = sink.stdout.readline()
    return sink, int(line.split()[1])


class StrippingProxy(threading.Thread):
    """Forwards one connection at a time, dropping the server's 250-STARTTLS line."""

    def __init__(self, target_port):
        super().__init__(daemon=True)
        self.target_port = target_port
        self.listener = socket.socket()
        self.listener.bind((OUTSIDE, 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]

    def run(self):
        while True:
            client, _ = self.listener.accept()
            server = socket.create_connection((OUTSIDE, self.target_port))
            threading.Thread(target=self.pipe, args=(client, server, False), daemon=True).start()
            threading.Thread(target=self.pipe, args=(server, client, True), daemon=True).start()

    @staticmethod
    def pipe(source, sink, strip):
        pending = b""
        while True:
            data = source.recv(65536)
            if not data:
                sink.close()
                return
            if not strip:
                sink.sendall(data)
                continue
            pending += data
            lines = pending.split(b"\r\n")
            pending = lines.pop()
            sink.sendall(b"".join(line + b"\r\n" for line in lines if line.upper() != b"250-STARTTLS"))


class StrippedStartTls(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        subprocess.run(["sh", os.path.join(SOURCE, "tests", "smtp", "make-test-certs.sh"), cls.folder], check=True)

    def probe(self, port, host, encryption):
        ini = os.path.join(tempfile.mkdtemp(dir=self.folder), "probe.ini")
        with open(ini, "wb") as f:
            f.write(("[email]\r\nsmtpserver=%s:%d\r\nsmtpuser=user\r\nsmtppass=secret\r\nverschluesselung=%s\r\n"
                     "zertifikate=%s/ca.pem\r\n" % (host, port, encryption, self.folder)).encode())
        os.chmod(ini, 0o600)
        env = dict(os.environ, LANG="C.UTF-8")
        return subprocess.run([PROGRAM, ini, "--smtp-test"], capture_output=True, text=True, timeout=120, env=env)

    @staticmethod
    def transcript(folder):
        path = os.path.join(folder, "transcript")
        return open(path).read() if os.path.exists(path) else ""

    def test_stripped_starttls_keeps_the_password(self):
        folder = tempfile.mkdtemp(dir=self.folder)
        sink, port = start_sink(folder, OUTSIDE, "--cert", self.folder + "/server.pem", "--key",
                                self.folder + "/server.key")
        try:
            proxy = StrippingProxy(port)
            proxy.start()
            refused = self.probe(proxy.port, OUTSIDE, "auto")
            self.assertEqual(refused.returncode, 1, refused.stdout + refused.stderr)
            self.assertIn("Server bietet kein STARTTLS an – Anmeldung nur verschlüsselt; für eine unverschlüsselte "
                          "Anmeldung \"keine\" wählen (Verschlüsselung, Einstellung verschluesselung)", refused.stderr)
            self.assertNotIn("AUTH", self.transcript(folder))
            self.assertNotIn("secret", refused.stdout + refused.stderr)

            plain = self.probe(proxy.port, OUTSIDE, "aus")
            self.assertEqual(plain.returncode, 0, plain.stdout + plain.stderr)
            self.assertIn("Anmeldung als user mit LOGIN erfolgreich", plain.stdout)
            self.assertIn("AUTH LOGIN plain", self.transcript(folder))
        finally:
            sink.terminate()
            sink.wait()

    def test_loopback_server_without_starttls_still_logs_in(self):
        folder = tempfile.mkdtemp(dir=self.folder)
        sink, port = start_sink(folder, "127.0.0.1")
        try:
            result = self.probe(port, "127.0.0.1", "auto")
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("Unverschlüsselt", result.stdout)
            self.assertIn("AUTH LOGIN plain", self.transcript(folder))
        finally:
            sink.terminate()
            sink.wait()


if __name__ == "__main__":
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    subprocess.run(["ip", "addr", "add", OUTSIDE + "/32", "dev", "lo"], check=True)
    unittest.main()
