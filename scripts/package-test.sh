#!/usr/bin/env bash
# Builds the Debian package and tries it the way a desk gets it: lintian and
# the desktop and AppStream validators on what it holds, then installed with
# apt-get, started headless as an ordinary user (nobody, with a scratch home)
# and ended with SIGTERM, with and without an administrator's defaults file;
# vidra-db run from the package; and finally purged, leaving /usr as it was.
# Needs root (or sudo); refuses to run where Vidra is installed already or an
# administrator's /etc/xdg/vidra exists, as it would replace or remove them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "package-test: needs root or sudo" >&2; exit 1; }
  as_root=(sudo)
fi
desk_user=nobody
admin_dir=/etc/xdg/vidra

fail() { echo "package-test: FAILED: $*" >&2; exit 1; }
step() { echo "== package-test: $*"; }

if dpkg-query -W -f='${Status}' vidra 2>/dev/null | grep -q 'installed'; then
  fail "the vidra package is installed already; remove it first"
fi
[ -e "$admin_dir" ] && fail "$admin_dir exists; this test would replace it"

step "building the package"
deb=$("$root/scripts/package.sh" | tail -n1)
[ -f "$deb" ] || fail "scripts/package.sh made no package"
echo "package: $deb ($(du -k "$deb" | cut -f1) KB)"

work=$(mktemp -d /tmp/vidra-package-test.XXXXXX)
chmod 755 "$work"
installed=0
admin_placed=0
pid=""
cleanup() {
  set +e
  # A program of the test's that is still up (a check failed while it ran).
  [ -n "$pid" ] && "${as_root[@]}" kill -KILL "$pid" 2>/dev/null
  [ "$installed" = 1 ] && "${as_root[@]}" apt-get purge -y -qq vidra >/dev/null
  [ "$admin_placed" = 1 ] && "${as_root[@]}" rm -rf "$admin_dir"
  "${as_root[@]}" rm -rf "$work"
}
trap cleanup EXIT

step "lintian"
lintian --fail-on error --display-level '>=warning' --tag-display-limit 0 "$deb" \
  || fail "lintian reports errors"

step "validating the desktop entry and the AppStream metadata"
dpkg-deb -x "$deb" "$work/tree"
desktop-file-validate "$work/tree/usr/share/applications/vidra.desktop"
appstreamcli validate --no-net "$work/tree/usr/share/metainfo/rs.kostelin.vidra.metainfo.xml"
for page in Vidra vidra-db; do
  [ -f "$work/tree/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done
[ -x "$work/tree/usr/libexec/vidra/vidra-legacy-reader" ] || fail "no reader of Access files"

# What the triggers of other packages keep up to date is theirs, not ours.
list_usr() {
  find /usr -xdev -mindepth 1 \
    ! -name icon-theme.cache ! -name mimeinfo.cache ! -path '/usr/share/info/dir*' \
    ! -path '/usr/lib/python3*/__pycache__*' | LC_ALL=C sort
}
list_usr >"$work/usr-before"

step "installing"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get install"; }
installed=1
for f in /usr/bin/Vidra /usr/bin/vidra-db /usr/libexec/vidra/vidra-legacy-reader; do
  [ -x "$f" ] || fail "$f is not installed"
done
man -w Vidra >/dev/null && man -w vidra-db >/dev/null || fail "manual pages not found by man"

# Runs a command as the desk's user, in its home, with nothing of ours around it.
as_desk() {
  local home=$1
  shift
  "${as_root[@]}" setpriv --reuid="$desk_user" --regid="$(id -g "$desk_user")" --clear-groups \
    env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR="$home/.run" sh -c 'cd "$HOME" && exec "$@"' sh "$@"
}
new_home() {
  mkdir -p "$work/$1/.run"
  chmod 700 "$work/$1/.run"
  "${as_root[@]}" chown -R "$desk_user" "$work/$1"
  echo "$work/$1"
}

# Waits (polling, bounded) until a condition holds.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 1 600); do
    "$@" && return 0
    sleep 0.1
  done
  fail "gave up waiting: $what"
}
catches_sigterm() { # the program's own handler is installed
  local mask
  mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && (((0x$mask >> 14) & 1))
}
has_open() { # file pid
  "${as_root[@]}" ls -l "/proc/$2/fd" 2>/dev/null | grep -qF -- "-> $1"
}

find_pid() { # the one program the desk's user runs
  pid=$(pgrep -u "$desk_user" -x Vidra || true)
  [ -n "$pid" ] && [ "$(echo "$pid" | wc -l)" = 1 ]
}

# Starts the installed program as the desk, waits for `until`, ends it with
# SIGTERM and checks that it ended by itself with status 0.
run_desk() {
  local home=$1
  shift
  as_desk "$home" /usr/bin/Vidra >"$home/out.log" 2>&1 &
  local launcher=$!
  pid=""
  wait_for "the program to start" find_pid
  wait_for "the program to watch SIGTERM" catches_sigterm "$pid"
  if [ $# -gt 0 ]; then wait_for "$*" "$@" "$pid"; fi
  "${as_root[@]}" kill -TERM "$pid"
  local rc=0
  wait "$launcher" || rc=$?
  pid=""
  [ "$rc" = 0 ] || { cat "$home/out.log"; fail "Vidra ended with status $rc after SIGTERM"; }
}
ini_value() { # file section key
  awk -F= -v s="[$2]" -v k="$3" '/^\[/ {in_s = ($0 == s)} in_s && $1 == k {print substr($0, length(k) + 2); exit}' "$1"
}

step "first start with no settings at all (the connect error's box is up)"
home1=$(new_home desk1)
run_desk "$home1"
ini1="$home1/.config/vidra/Vidra.ini"
[ -f "$ini1" ] || fail "no settings in $ini1"
[ "$(ini_value "$ini1" BAZA DBPATH)" = "$home1/.config/vidra/data.mdb" ] \
  || fail "DBPATH of a first start: $(cat "$ini1")"
[ "$(ini_value "$ini1" APP window)" = 2 ] || fail "window of a first start: $(cat "$ini1")"
[ "$(stat -c %a "$home1/.config/vidra")" = 700 ] || fail "the settings folder is not private"

step "vidra-db from the package"
shared=$(new_home shared)
as_desk "$shared" vidra-db --help >"$work/help.txt"
grep -q '^Usage: vidra-db create' "$work/help.txt" || fail "vidra-db --help"
as_desk "$shared" vidra-db sample "$shared/imenik.mdb" --rows 25
printf 'Telefon,Vlasnik,Adresa,Mesto\n011111,PETROVIC PETAR,GLAVNA 1,KOSTELIN\n' >"$work/mali.csv"
chmod 644 "$work/mali.csv"
as_desk "$shared" vidra-db import "$work/mali.csv" "$shared/mali.mdb"
as_desk "$shared" vidra-db copy "$shared/mali.mdb" "$shared/kopija.mdb"
# An Access file: the reader is found in its private folder.
cp "$root/tests/fixtures/mdb/compIndexTestV1997.mdb" "$work/stari.mdb"
chmod 644 "$work/stari.mdb"
as_desk "$shared" vidra-db import "$work/stari.mdb" "$shared/stari.mdb" --table Table1 \
  --map Telefon=CD_AGENTE,Vlasnik=RS_AGENTE,Adresa=DC_AGENTE >"$work/import.txt" 2>&1 \
  || { cat "$work/import.txt"; fail "vidra-db import of an Access file"; }
for f in imenik mali kopija stari; do
  [ -s "$shared/$f.mdb" ] || fail "vidra-db made no $f.mdb"
done

step "an administrator's default is opened, and not copied into the user's file"
"${as_root[@]}" mkdir -p "$admin_dir"
admin_placed=1
printf '[BAZA]\nDBPATH=%s\n' "$shared/imenik.mdb" | "${as_root[@]}" tee "$admin_dir/Vidra.ini" >/dev/null
home2=$(new_home desk2)
run_desk "$home2" has_open "$shared/imenik.mdb"
ini2="$home2/.config/vidra/Vidra.ini"
[ "$(ini_value "$ini2" APP window)" = 2 ] || fail "window with defaults: $(cat "$ini2")"
[ -z "$(ini_value "$ini2" BAZA DBPATH)" ] || fail "the default was copied: $(cat "$ini2")"

step "the user's own value wins over the administrator's"
printf '[BAZA]\nDBPATH=mali.mdb\n' >"$ini2"
"${as_root[@]}" cp "$shared/mali.mdb" "$home2/.config/vidra/mali.mdb"
"${as_root[@]}" chown "$desk_user" "$ini2" "$home2/.config/vidra/mali.mdb"
run_desk "$home2" has_open "$home2/.config/vidra/mali.mdb"
[ "$(ini_value "$ini2" BAZA DBPATH)" = mali.mdb ] || fail "the user's value: $(cat "$ini2")"
[ "$(ini_value "$ini2" APP window)" = 2 ] || fail "window after the user's value: $(cat "$ini2")"
[ "$("${as_root[@]}" ls -A "$admin_dir")" = Vidra.ini ] || fail "$admin_dir holds more than the test's file"
[ "$(ini_value "$admin_dir/Vidra.ini" BAZA DBPATH)" = "$shared/imenik.mdb" ] \
  || fail "the administrator's file was changed"
"${as_root[@]}" rm -rf "$admin_dir"
admin_placed=0

step "purging"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vidra >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get purge"; }
installed=0
list_usr >"$work/usr-after"
if ! diff -u "$work/usr-before" "$work/usr-after"; then
  fail "/usr differs after purging"
fi
[ -e "$admin_dir" ] && fail "$admin_dir is left behind"
step "passed"
