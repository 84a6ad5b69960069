#!/usr/bin/python3
"""The contrib token helper against a token endpoint on loopback: a fresh token,
the cached one on the next call, a renewed one once it expired, an expired
refresh token (error, status 1, no token), and a settings file others can read."""

import http.server
import json
import os
import stat
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.parse

HELPER = os.path.join(os.environ.get("VORNETTA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")),
                      "contrib", "vornetta-token")


class Endpoint(http.server.BaseHTTPRequestHandler):
    requests = []
    lifetime = 3600

    def do_POST(self):
        form = urllib.parse.parse_qs(self.rfile.read(int(self.headers["Content-Length"])).decode())
        Endpoint.requests.append(form)
        if form.get("refresh_token") == ["abgelaufen"]:
            body, code = {"error": "invalid_grant", "error_description": "AADSTS70008: refresh token expired"}, 400
        else:
            body, code = {"access_token": "token-%d" % len(Endpoint.requests), "expires_in": Endpoint.lifetime}, 200
        data = json.dumps(body).encode()
        self.send_response(code)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


class TokenHelper(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = http.server.HTTPServer(("127.0.0.1", 0), Endpoint)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.url = "http://127.0.0.1:%d/token" % cls.server.server_port

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        Endpoint.requests.clear()
        Endpoint.lifetime = 3600

    def tearDown(self):
        self.folder.cleanup()

    def settings(self, lines, mode=0o600):
        path = os.path.join(self.folder.name, "token.conf")
        with open(path, "w") as f:
            f.write("token_url=%s\nclient_id=app\nclient_secret=geheim\n%s" % (self.url, lines))
        os.chmod(path, mode)
        return path

    def run_helper(self, path):
        return subprocess.run([sys.executable, HELPER, path], capture_output=True, text=True, timeout=30)

    def test_client_credentials_fresh_then_cached_then_renewed(self):
        path = self.settings("scope=https://outlook.office365.com/.default\n")
        first = self.run_helper(path)
        self.assertEqual((first.returncode, first.stdout), (0, "token-1\n"))
        self.assertEqual(Endpoint.requests[0]["grant_type"], ["client_credentials"])
        self.assertEqual(Endpoint.requests[0]["scope"], ["https://outlook.office365.com/.default"])
        self.assertEqual(stat.S_IMODE(os.stat(path + ".cache").st_mode), 0o600)
        self.assertEqual(self.run_helper(path).stdout, "token-1\n")  # from the cache
        self.assertEqual(len(Endpoint.requests), 1)
        Endpoint.lifetime = 30  # within the margin: never taken from the cache
        os.remove(path + ".cache")
        self.assertEqual(self.run_helper(path).stdout, "token-2\n")
        self.assertEqual(self.run_helper(path).stdout, "token-3\n")

    def test_refresh_token_and_an_expired_one(self):
        good = self.run_helper(self.settings("refresh_token=gueltig\n"))
        self.assertEqual((good.returncode, good.stdout), (0, "token-1\n"))
        self.assertEqual(Endpoint.requests[0]["grant_type"], ["refresh_token"])
        os.remove(os.path.join(self.folder.name, "token.conf.cache"))
        expired = self.run_helper(self.settings("refresh_token=abgelaufen\n"))
        self.assertEqual(expired.returncode, 1)
        self.assertEqual(expired.stdout, "")
        self.assertIn("400", expired.stderr)
        self.assertIn("refresh token expired", expired.stderr)

    def test_a_settings_file_others_can_read_is_refused(self):
        result = self.run_helper(self.settings("", mode=0o644))
        self.assertEqual(result.returncode, 1)
        self.assertIn("chmod 600", result.stderr)
        self.assertEqual(Endpoint.requests, [])


if __name__ == "__main__":
    unittest.main()
