#!/usr/bin/python3
"""Renders a received mail's HTML part as a mail program shows it: the cid:
images of its multipart/related part resolved to their own bytes, drawn by
headless Chromium into a PNG screenshot. A developer tool for the README's
pictures (needs the package chromium); the tests do not use it.
Usage: mail_screenshot.py MAIL.eml OUT.png [WIDTHxHEIGHT]"""

import email
import email.policy
import os
import subprocess
import sys
import tempfile


def main():
    mail, out = sys.argv[1], os.path.abspath(sys.argv[2])
    size = sys.argv[3] if len(sys.argv) > 3 else "900x1300"
    with open(mail, "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=email.policy.default)
    html, images = None, {}
    for part in msg.walk():
        if part.get_content_type() == "text/html":
            html = part.get_content()
        elif part.get_content_maintype() == "image" and part["Content-ID"]:
            images[part["Content-ID"].strip("<>")] = part.get_payload(decode=True)
    if html is None:
        sys.exit("no HTML part in " + mail)
    with tempfile.TemporaryDirectory() as folder:
        for n, (cid, data) in enumerate(images.items()):
            name = "bild-%d.png" % n
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            html = html.replace("cid:" + cid, name)
        page = os.path.join(folder, "mail.html")
        with open(page, "w", encoding="utf-8") as f:
            f.write('<meta charset="utf-8">' + html)
        width, height = size.split("x")
        subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                        "--force-device-scale-factor=1", "--window-size=%s,%s" % (width, height),
                        "--screenshot=" + out, "file://" + page], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
