#!/usr/bin/python3
"""Reads one mail with Python's own mail, csv and HTML parsers and prints what the
scheduled-run tests compare, one fact a line:
  type <content type>, mime <MIME-Version>, defects <count>,
  part <n> <content type> <charset> <file name or ->,
  bom <file> when a CSV attachment starts with the byte-order mark,
  row <file> <fields as JSON> for every CSV record (";" separated),
  table <n> <same|differs> <file>: the n-th HTML table's head and data rows
  against the CSV records of its attachment,
  sheet <name> <frozen cell> <filter range> <widths>, and
  cell <sheet> <cell> <type> <value as JSON> <cached value> <number format> for
  every cell of an XLSX workbook (read with openpyxl).
  note <text> for every note row of the HTML part.
Usage: mail_parts.py MAIL.eml"""

import csv
import email
import email.policy
import html.parser
import io
import json
import sys


class Tables(html.parser.HTMLParser):
    """Head and data rows (not the sum row) of every table, cell texts as written."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables, self.row, self.cell, self.keep = [], None, None, False
        self.note, self.notes = None, []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "table":
            self.tables.append([])
        elif tag == "tr" and attrs.get("class") == "mehr":
            self.note = ""
        elif tag == "tr":
            self.keep = attrs.get("class") in ("head", "odd", "even")
            self.row = []
        elif tag in ("td", "th") and self.keep:
            self.cell = ""

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.row.append(self.cell.replace("\r\n", "\n"))
            self.cell = None
        elif tag == "tr" and self.note is not None:
            self.notes.append(self.note)
            self.note = None
        elif tag == "tr" and self.keep:
            self.tables[-1].append(self.row)
            self.keep = False

    def handle_data(self, data):
        if self.note is not None:
            self.note += data
        if self.cell is not None:
            self.cell += data


def print_workbook(data):
    import openpyxl

    formulas = openpyxl.load_workbook(io.BytesIO(data))
    values = openpyxl.load_workbook(io.BytesIO(data), data_only=True)
    for sheet in formulas.worksheets:
        widths = ",".join("%s:%g" % (key, dim.width) for key, dim in sorted(sheet.column_dimensions.items()))
        print("sheet %s %s %s %s" % (sheet.title, sheet.freeze_panes, sheet.auto_filter.ref, widths))
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None:
                    continue
                value = cell.value.isoformat() if hasattr(cell.value, "isoformat") else cell.value
                cached = values[sheet.title][cell.coordinate].value
                bold = " bold" if cell.font.b else ""
                print("cell %s %s %s %s %s %s%s" % (sheet.title, cell.coordinate, cell.data_type,
                                                    json.dumps(value, ensure_ascii=False),
                                                    json.dumps(cached if not hasattr(cached, "isoformat") else cached.isoformat(),
                                                               ensure_ascii=False),
                                                    cell.number_format, bold))


def main():
    with open(sys.argv[1], "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=email.policy.compat32)
    print("type %s" % msg.get_content_type())
    print("mime %s" % msg.get("MIME-Version"))
    print("defects %d" % (len(msg.defects) + sum(len(p.defects) for p in msg.walk())))
    parts = list(msg.walk())[1:] if msg.is_multipart() else [msg]
    tables, csvs = [], []
    for n, part in enumerate(parts, 1):
        name = part.get_filename() or "-"
        print("part %d %s %s %s" % (n, part.get_content_type(), part.get_content_charset(), name))
        data = part.get_payload(decode=True)
        if part.get_content_type() == "text/html":
            parser = Tables()
            parser.feed(data.decode(part.get_content_charset()))
            tables = [t for t in parser.tables if t]
            for note in parser.notes:
                print("note %s" % note)
        elif part.get_content_type() == "text/csv":
            if data.startswith(b"\xef\xbb\xbf"):
                print("bom %s" % name)
            text = data.decode("utf-8-sig")
            rows = list(csv.reader(io.StringIO(text, newline=""), delimiter=";"))
            for row in rows:
                print("row %s %s" % (name, json.dumps(row, ensure_ascii=False)))
            csvs.append((name, [[field.replace("\r\n", "\n") for field in row] for row in rows]))
        elif part.get_content_type().endswith("spreadsheetml.sheet"):
            print_workbook(data)
    for n, (name, rows) in enumerate(csvs, 1):
        same = n <= len(tables) and tables[n - 1] == rows
        print("table %d %s %s" % (n, "same" if same else "differs", name))


if __name__ == "__main__":
    main()
