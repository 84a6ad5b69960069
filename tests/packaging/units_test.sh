#!/usr/bin/env bash
# The systemd template units: an instance passes `systemd-analyze verify` and
# scores "OK" or better in `systemd-analyze security`, offline (no running
# systemd needed). Before the package is installed the instance runs this
# build's program instead of /usr/bin/vornetta.
# Usage: units_test.sh UNIT_FOLDER PROGRAM
set -euo pipefail
units=$1 program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

grep -qx 'ExecStart=/usr/bin/vornetta /etc/vornetta/%i.ini -unattend' "$units/vornetta@.service"
sed "s#^ExecStart=/usr/bin/vornetta #ExecStart=$program #" "$units/vornetta@.service" >"$work/vornetta@test.service"
cp "$units/vornetta@.timer" "$work/vornetta@test.timer"
cd "$work"

if ! out=$(systemd-analyze verify --man=no ./vornetta@test.service ./vornetta@test.timer 2>&1) || [ -n "$out" ]; then
  echo "systemd-analyze verify: $out" >&2
  exit 1
fi

score=$(systemd-analyze security --offline=true --no-pager ./vornetta@test.service | grep 'Overall exposure level')
echo "$score"
case "$score" in
  *" OK "* | *" SAFE "* | *" PERFECT "*) ;;
  *) echo "exposure worse than OK" >&2; exit 1 ;;
esac

# The timer starts the service of the same instance, catches up on missed runs
# and spreads many reports a little.
grep -qx 'Persistent=true' vornetta@test.timer
grep -q '^RandomizedDelaySec=' vornetta@test.timer
grep -qx 'WantedBy=timers.target' vornetta@test.timer
