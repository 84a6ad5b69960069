#!/bin/sh
# The README's picture of a report with a bar and a line chart as it arrives:
# the demo's style sheet and header, a branch table and a monthly trend, the
# mail written by a dry run and its HTML rendered with the cid: images resolved
# (tools/mail_screenshot.py, needs chromium). Run from the source tree after a
# build: tools/chart-screenshot.sh [build folder] (writes docs/chart-report.png).
set -eu
build=${1:-build}
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
sqlite3 "$run/chart.db" <<'SQL'
create table umsatz (filiale varchar(30), betrag double);
insert into umsatz values ('Köln', 1773.86), ('München', 2159.45), ('Düsseldorf', 3455.05), ('Hamburg', 2610.00);
create table verlauf (monat date, koeln double, muenchen double);
insert into verlauf values ('2024-01-01', 1210.5, 1630.0), ('2024-02-01', 1388.0, 1502.25), ('2024-03-01', 1502.75, 1711.5),
  ('2024-04-01', 1460.0, 1890.0), ('2024-05-01', 1655.25, 1954.75), ('2024-06-01', 1773.86, 2159.45);
SQL
ini() { "$build"/tools/ini_write "$run/chart.ini" "$@"; }
ini datenbank connection "DRIVER=SQLite3;Database=$run/chart.db"
ini sql 0 'select filiale as Filiale, betrag as "Umsatz (€)" from umsatz order by filiale;'
ini sql 1 'select monat as Monat, koeln as "Köln", muenchen as "München" from verlauf order by monat;'
ini diagramm 0 'balken;Filiale;Umsatz (€)'
ini diagramm 1 'linie;Monat;Köln,München'
ini email empfaenger "Geschäftsleitung <leitung@example.com>"
ini email absender "Vornetta Berichtsdienst <vornetta@example.com>"
ini email betreff "Umsätze der Filialen"
ini email css --file demo/style.css
ini email kopfzeile --file demo/kopfzeile.html
LC_ALL=de_DE.UTF-8 QT_QPA_PLATFORM=offscreen "$build"/vornetta "$run/chart.ini" -unattend --output="$run/mail.eml"
python3 tools/mail_screenshot.py "$run/mail.eml" docs/chart-report.png 900x1250
