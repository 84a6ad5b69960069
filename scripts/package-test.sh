#!/usr/bin/env bash
# The Debian package on this machine: builds it from the build tree, checks it
# with lintian, installs it with apt-get, runs the installed program and a dry
# run of the example as the service user, verifies the units, upgrades over an
# edited example (the edit must survive) and purges (only the administrator's
# own files may stay). Needs root. Usage: scripts/package-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
fail() { echo "package test: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Vornetta VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d /tmp/vornetta-package.XXXXXX)
cleanup() {
  if dpkg-query -W -f='${Status}' vornetta 2>/dev/null | grep -q installed; then
    apt-get -o DPkg::Lock::Timeout=900 purge -y -qq vornetta >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

cmake --build "$build" --target vornetta man_page package_changelog >/dev/null
(cd "$build" && cpack -G DEB -B "$work/first" >/dev/null)
deb="$work/first/vornetta_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"
dpkg-deb -f "$deb" Depends Recommends Suggests
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/vornetta/beispiel.ini || fail "no conffile"

echo "-- lintian"
lintian --fail-on error,warning "$deb"

apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"; }
echo "-- install"
apt_get install -y -qq "$deb" >/dev/null
[ "$(/usr/bin/vornetta --version)" = "vornetta $version" ] || fail "--version is not $version"
getent passwd vornetta | grep -q ':/usr/sbin/nologin$' || fail "user vornetta missing or with a login shell"
[ "$(stat -c '%U:%G %a' /etc/vornetta)" = "root:vornetta 750" ] || fail "/etc/vornetta: $(stat -c '%U:%G %a' /etc/vornetta)"
[ "$(stat -c '%U:%G %a' /etc/vornetta/beispiel.ini)" = "root:vornetta 640" ] || fail "beispiel.ini: wrong owner or mode"
zcat /usr/share/man/man1/vornetta.1.gz | grep -q 'smtppassbefehl' || fail "man page missing"

echo "-- dry run of the example as the service user"
before=$(sha256sum /etc/vornetta/beispiel.ini)
runuser -u vornetta -- env -i LANG=C.UTF-8 PATH=/usr/bin:/bin \
  /usr/bin/vornetta /etc/vornetta/beispiel.ini -unattend --output=- >"$work/dry.eml" 2>"$work/dry.err" ||
  { cat "$work/dry.err"; fail "dry run failed"; }
grep -q '^Subject: Beispielbericht' "$work/dry.eml" || fail "dry run wrote no mail"
grep -q 'Nord' "$work/dry.eml" || fail "dry run mail lacks the rows"
[ "$(sha256sum /etc/vornetta/beispiel.ini)" = "$before" ] || fail "the run changed the example"

echo "-- units"
man_check=no
command -v man >/dev/null && man_check=yes
(cd "$work" && cp /usr/lib/systemd/system/vornetta@.service vornetta@test.service &&
  cp /usr/lib/systemd/system/vornetta@.timer vornetta@test.timer &&
  out=$(systemd-analyze verify --man=$man_check ./vornetta@test.service ./vornetta@test.timer 2>&1) &&
  [ -z "$out" ] || fail "systemd-analyze verify: $out"
  systemd-analyze security --offline=true --no-pager ./vornetta@test.service | grep 'Overall exposure level')

echo "-- upgrade over an edited example"
printf '; eigene Zeile\r\n' >>/etc/vornetta/beispiel.ini
printf '[email]\r\nbetreff=Eigener Bericht\r\n' >/etc/vornetta/eigener.ini
(cd "$build" && cpack -G DEB -B "$work/second" -D CPACK_PACKAGE_VERSION="$version+1" >/dev/null)
apt_get install -y -qq "$work/second/vornetta_${version}+1_amd64.deb" >/dev/null
[ "$(dpkg-query -W -f='${Version}' vornetta)" = "$version+1" ] || fail "upgrade not installed"
grep -q '^; eigene Zeile' /etc/vornetta/beispiel.ini || fail "the upgrade overwrote the edited example"

echo "-- purge"
apt_get purge -y -qq vornetta >/dev/null
for path in /usr/bin/vornetta /usr/share/man/man1/vornetta.1.gz /usr/lib/systemd/system/vornetta@.service \
  /usr/lib/systemd/system/vornetta@.timer /etc/vornetta/beispiel.ini /usr/share/doc/vornetta; do
  [ ! -e "$path" ] || fail "$path left behind"
done
[ -f /etc/vornetta/eigener.ini ] || fail "purge removed the administrator's file"
[ "$(ls -A /etc/vornetta)" = "eigener.ini" ] || fail "purge left: $(ls -A /etc/vornetta)"
dpkg-statoverride --list /etc/vornetta >/dev/null && fail "statoverride left behind"
rm -rf /etc/vornetta
echo "package test: passed"
