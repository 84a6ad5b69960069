#!/usr/bin/env bash
# Demo of an unattended run on a fresh Debian 12 machine: installs what is
# needed, builds the program, creates a small SQLite sales database and a
# configuration in demo-run/, starts a local SMTP sink on a loopback port, runs
# `build/vornetta demo-run/demo.ini -unattend` and shows where the mail landed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "$(id -u)" -eq 0 ]; then
  scripts/install-deps.sh
elif command -v sudo >/dev/null; then
  sudo scripts/install-deps.sh
else
  echo "demo: run as root (or with sudo available) to install the packages" >&2
  exit 1
fi

# VORNETTA_BUILD_DIR lets a developer reuse another build tree.
build=${VORNETTA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target vornetta ini_write

run=$root/demo-run
rm -rf "$run"
mkdir -p "$run/mails"

sqlite3 "$run/demo.db" < demo/umsatz.sql

# The sink picks a free port and reports it on its first line. Its output file
# exists before the sink starts: the background job opens it only after the fork.
: >"$run/sink.out"
/usr/bin/python3 scripts/smtp-sink.py --dir "$run/mails" --port 0 >"$run/sink.out" 2>"$run/sink.log" &
sink_pid=$!
stop_sink() {
  if kill -0 "$sink_pid" 2>/dev/null; then
    kill "$sink_pid" 2>/dev/null || true
    wait "$sink_pid" 2>/dev/null || true
  fi
}
trap stop_sink EXIT
port=
for _ in $(seq 1 300); do
  port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$run/sink.out")
  [ -n "$port" ] && break
  kill -0 "$sink_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the SMTP sink did not start:" >&2
  cat "$run/sink.log" >&2
  exit 1
fi

# German regional settings give the decimal comma; without that locale the
# program uses the decimal point.
if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  export LC_ALL=de_DE.UTF-8
fi

# The configuration is written by the program's own INI code (build/tools/ini_write):
# values escaped and quoted as the program stores them, in the code page of the
# locale set above (ISO-8859-15 for German), with CR LF line ends.
ini() { "$build"/tools/ini_write "$run/demo.ini" "$@"; }
ini datenbank connection "DRIVER=SQLite3;Database=$run/demo.db"
ini datenbank ergebnisLeer 0
ini datenbank ergebnisUpdate 1
ini datenbank ergebnisDelete 0
ini datenbank ergebnisInsert 0
ini sql --text demo/script.sql
ini email empfaenger "Geschäftsleitung <leitung@example.com>"
ini email cc "Buchhaltung <buchhaltung@example.com>"
ini email bcc ""
ini email betreff "Umsätze der Filialen"
ini email smtpserver "127.0.0.1:$port"
ini email smtpuser ""
ini email smtppass ""
ini email absender "Vornetta Berichtsdienst <vornetta@example.com>"
ini email css --file demo/style.css
ini email kopfzeile --file demo/kopfzeile.html
ini email fusszeile --file demo/fusszeile.html

echo "demo: running $build/vornetta demo-run/demo.ini -unattend (SMTP sink on 127.0.0.1:$port)"
status=0
"$build"/vornetta demo-run/demo.ini -unattend || status=$?
stop_sink
trap - EXIT

echo "demo: exit status $status"
mails=("$run"/mails/*.eml)
if [ ! -e "${mails[0]}" ]; then
  echo "demo: no mail arrived; see the messages above" >&2
  exit 1
fi
echo "demo: the sink received ${#mails[@]} mail(s) in $run/mails/:"
for mail in "${mails[@]}"; do
  subject=$(/usr/bin/python3 -c 'import email, email.header, sys
m = email.message_from_binary_file(open(sys.argv[1], "rb"))
print(str(email.header.make_header(email.header.decode_header(m.get("Subject", "")))))' "$mail")
  echo "  $(basename "$mail")  (Subject: $subject)"
done
html=$(ls "$run"/mails/*.html 2>/dev/null | head -1 || true)
if [ -n "$html" ]; then
  echo "demo: open the report in a browser:"
  echo "  xdg-open $html"
fi
echo "demo: the raw mail as sent: less ${mails[0]}"
exit "$status"
