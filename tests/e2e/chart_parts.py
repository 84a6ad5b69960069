#!/usr/bin/python3
"""Reads one mail with Python's mail package and prints what the chart tests
compare, one fact a line:
  defects <count>,
  tree <indent><content type> [<Content-ID>] [<file name>] for every part,
  img <cid> <alt> <width>x<height> above <table class>: each image element of the
      HTML and the table right below it,
  png <cid> <width>x<height> for each image part with a PNG signature,
  base64 <longest line> over all image parts' encoded lines,
  unreferenced <cid> for an image part no image element names.
Usage: chart_parts.py MAIL.eml"""

import email
import email.policy
import re
import struct
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    print("defects %d" % sum(len(p.defects) for p in msg.walk()))
    html, images, longest = None, {}, 0

    def walk(part, depth):
        nonlocal html, longest
        facts = [part.get_content_type()]
        cid = part.get("Content-ID")
        if cid:
            facts.append(cid)
        if part.get_filename():
            facts.append(part.get_filename())
        print("tree " + "  " * depth + " ".join(facts))
        if part.is_multipart():
            for sub in part.get_payload():
                walk(sub, depth + 1)
        elif part.get_content_type() == "text/html":
            html = part.get_payload(decode=True).decode(part.get_content_charset())
        elif part.get_content_maintype() == "image":
            images[cid.strip("<>")] = part.get_payload(decode=True)
            for line in part.get_payload().splitlines():
                longest = max(longest, len(line))

    walk(msg, 0)
    referenced = set()
    for m in re.finditer(r'<img src="cid:([^"]+)" alt="([^"]*)" width="(\d+)" height="(\d+)"><br>\r?\n'
                         r'<table width="100%" class="(sql\d+)">', html or ""):
        referenced.add(m.group(1))
        print("img %s %s %sx%s above %s" % m.groups())
    for cid, data in images.items():
        if data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR":
            width, height = struct.unpack(">II", data[16:24])
            print("png %s %dx%d" % (cid, width, height))
        if cid not in referenced:
            print("unreferenced %s" % cid)
    print("base64 %d" % longest)


if __name__ == "__main__":
    main()
