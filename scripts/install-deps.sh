#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12, creates
# the locales the tests switch to and registers the ODBC drivers under the names
# stored connection strings use. Safe to run again; installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6gui6 libjpeg62-turbo qt6-translations-l10n
  unixodbc-dev odbcinst odbc-mariadb libsqliteodbc tdsodbc
  libssl-dev openssl ca-certificates
  libidn2-dev
  libgtest-dev libgmock-dev
  mariadb-server python3 python3-aiosmtpd sqlite3
  odbc-postgresql postgresql
  locales clang
  scdoc dpkg-dev file lintian systemd python3-yaml adduser
  libxlsxwriter-dev python3-openpyxl
  tzdata  # the zones of the setting zeitzone (/usr/share/zoneinfo)
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Locales the tests switch to: German for the regional settings, the East Asian
# ones for the code pages and header charsets.
for loc in de_DE ja_JP ko_KR zh_CN zh_TW; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
    localedef -i "$loc" -f UTF-8 "$loc.UTF-8" 2>/dev/null || true
  fi
done

# ODBC drivers: the MariaDB connector also answers to the MySQL names that stored
# connection strings carry.
odbc_dir=$(dirname "$(find /usr/lib -name libmaodbc.so -print -quit)")
register_driver() {  # name, driver library
  local name=$1 lib=$2
  if ! odbcinst -q -d -n "$name" >/dev/null 2>&1; then
    printf '[%s]\nDescription=%s\nDriver=%s\nUsageCount=1\n' "$name" "$name" "$lib" |
      odbcinst -i -d -r >/dev/null
  fi
}
register_driver "MariaDB" "$odbc_dir/libmaodbc.so"
register_driver "MariaDB Unicode" "$odbc_dir/libmaodbc.so"
register_driver "MySQL ODBC 3.51 Driver" "$odbc_dir/libmaodbc.so"
register_driver "MySQL" "$odbc_dir/libmaodbc.so"
register_driver "SQLite3" "$odbc_dir/libsqlite3odbc.so"
register_driver "FreeTDS" "$odbc_dir/libtdsodbc.so"
register_driver "PostgreSQL Unicode" "$odbc_dir/psqlodbcw.so"
register_driver "PostgreSQL ANSI" "$odbc_dir/psqlodbca.so"
