#!/usr/bin/env bash
# qzxwatch@ as an admin runs it, on a booted Debian 12: a fresh copy of the clean root of
# MakeCleanRoot.sh (kept in CACHE_DIR) gets qzxwatch and systemd, an instance for
# /srv/watched is enabled with the README's --log override, and systemd-nspawn boots it.
# Then, inside:
#   - the engine line in the journal says fanotify: the sandbox keeps the engine;
#   - a burst of BURST (20,000) new files makes BURST JSON lines in the journal and BURST lines
#     in the daily log, journald suppressed nothing, the instance never restarted, and
#     systemctl shows no failed unit;
#   - the log files are the service user's and not every user's (UMask=0027);
#   - reinstalling the package restarts the running instance, removing it stops it, and the
#     purge takes the service user's home but leaves the logs.
# journald scales its rate limit with the free disk space (to 50,000 lines in 30 s with 70 GB
# free): the container's journald is given a lower RateLimitBurst= (JOURNALD_BURST, 1000), so
# that a unit which let journald's rate limit apply would lose lines on any machine. "default"
# leaves journald as Debian ships it.
#   BootTest.sh QZXWATCH.deb CACHE_DIR [BURST [JOURNALD_BURST]]
# Exits 77 with the reason when this machine cannot boot such a container.
set -euo pipefail
deb=$(readlink -f "$1")
cache=$(readlink -f "$2")
burst=${3:-20000}
journald_burst=${4:-1000}
here=$(cd "$(dirname "$0")" && pwd)
unit=qzxwatch@srv-watched.service
skip() {
  echo "SKIPPED: $*"
  exit 77
}
command -v systemd-nspawn >/dev/null ||
  skip "systemd-nspawn is not installed (systemd-container, in tools/packages-debian.txt)"
code=0
made=$(bash "$here/MakeCleanRoot.sh" "$cache") || code=$?
echo "$made"
((code != 77)) || exit 77
((code == 0)) || { echo "FAIL: the clean root could not be made" >&2; exit 1; }

work=$(mktemp -d "$cache/boot.XXXXXX")
root="$work/root"
nspawn=""
cleanup() {
  if [[ -n "$nspawn" ]] && kill -0 "$nspawn" 2>/dev/null; then
    kill -TERM "$nspawn" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$nspawn" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$nspawn" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  if [[ -n "${leader:-}" ]]; then
    inside systemctl --no-pager -n 0 status "$unit" >&2 || true
    inside journalctl --no-pager -n 20 -u "$unit" >&2 || true
  fi
  exit 1
}
elapsed() { echo "$((SECONDS - $1)) s"; }

# The root as CleanRootTest.sh makes it: the machine's apt sources, its cache of packages.
mkdir "$root"
tar -C "$root" -xf "$cache/bookworm-minbase.tar"
bash "$here/CopyAptSources.sh" "$root"
mkdir -p "$cache/apt-archives/partial"
cp "$deb" "$root/tmp/"
started=$SECONDS
in_root() {  # command...: run in the root through chroot, its /proc and the package cache
  unshare --mount --propagation private sh -c '
    root=$1 archives=$2
    shift 2
    mount -t proc proc "$root/proc" &&
    mount --bind "$archives" "$root/var/cache/apt/archives" &&
    exec chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 \
      PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"' sh "$root" "$cache/apt-archives" "$@"
}
if ! in_root apt-get update -q >"$work/apt.log" 2>&1; then
  tail -n 20 "$work/apt.log"
  skip "apt-get update cannot read the mirror from the root"
fi
in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" systemd-sysv dbus \
  >>"$work/apt.log" 2>&1 || { tail -n 30 "$work/apt.log" >&2; fail "apt-get install in the root"; }
# The instance with the README's override for the daily log, enabled as an admin enables it.
mkdir -p "$root/srv/watched" "$root/etc/systemd/system/$unit.d"
printf '%s\n' '[Service]' 'ExecStart=' \
  'ExecStart=/usr/bin/qzxwatch --json --catch-up --log /var/log/qzxwatch/%i %f' \
  'LogsDirectory=qzxwatch/%i' >"$root/etc/systemd/system/$unit.d/override.conf"
in_root systemctl enable "$unit" >>"$work/apt.log" 2>&1 || fail "systemctl enable $unit"
if [[ "$journald_burst" != default ]]; then
  mkdir -p "$root/etc/systemd/journald.conf.d"
  printf '%s\n' '[Journal]' "RateLimitBurst=$journald_burst" >"$root/etc/systemd/journald.conf.d/burst.conf"
fi
echo "ok: root with qzxwatch and systemd, $unit enabled, in $(elapsed "$started")"

# nspawn's own filter refuses the fanotify calls, even to the container's root, unless they
# are allowed here; the unit's own filter inside is what this test is about.
started=$SECONDS
systemd-nspawn -D "$root" --boot --register=no --keep-unit --console=passive \
  --private-network --system-call-filter='fanotify_init fanotify_mark open_by_handle_at' \
  >"$work/boot.log" 2>&1 &
nspawn=$!
leader=""
# The container's init is the child of systemd-nspawn that runs systemd; a helper process of
# nspawn's own comes and goes first.
for _ in $(seq 600); do
  for child in $(pgrep -P "$nspawn" || true); do
    [[ "$(cat "/proc/$child/comm" 2>/dev/null)" == systemd ]] && leader=$child
  done
  [[ -n "$leader" ]] && break
  kill -0 "$nspawn" 2>/dev/null || break
  sleep 0.1
done
if [[ -z "$leader" ]]; then
  tail -n 20 "$work/boot.log"
  skip "systemd-nspawn --boot cannot start a container here (its output ends above)"
fi
inside() { nsenter -t "$leader" -a env LC_ALL=C.UTF-8 SYSTEMD_PAGER= "$@"; }
# The system bus comes up a moment after init: until then systemctl cannot ask.
state=""
until [[ "$state" =~ ^(running|degraded|maintenance|stopping)$ ]]; do
  (($(elapsed "$started" | cut -d' ' -f1) < 90)) || break
  state=$(timeout 60 nsenter -t "$leader" -a systemctl is-system-running --wait 2>/dev/null || true)
  [[ -n "$state" ]] || sleep 0.5
done
echo "booted: ${state:-no answer}, in $(elapsed "$started")"
[[ "$state" == running ]] || fail "the system is '$state': $(inside systemctl --failed --no-legend)"

journal_lines() { inside journalctl -q -u "$unit" -o cat | grep -c '^{' || true; }
started=$SECONDS
until inside journalctl -q -u "$unit" -o cat | grep -q '监控中'; do
  (($(elapsed "$started" | cut -d' ' -f1) < 30)) || fail "$unit did not start watching"
  sleep 0.2
done
engine=$(inside journalctl -q -u "$unit" -o cat | grep -m1 '监控方式' || true)
echo "engine line: $engine"
[[ "$engine" == *'监控方式：fanotify'* ]] || fail "the sandboxed service does not watch with fanotify"
pid=$(inside systemctl show -P MainPID "$unit")
owner=$(inside stat -c %U "/proc/$pid")
[[ "$owner" == _qzxwatch ]] || fail "the service runs as $owner, not _qzxwatch"
echo "ok: watching with fanotify as _qzxwatch"

started=$SECONDS
inside bash -c 'cd /srv/watched && for ((i = 1; i <= $1; i++)); do : >"f$i"; done' sh "$burst"
echo "burst: $burst new files in $(elapsed "$started")"
log_lines() { inside sh -c 'cat /var/log/qzxwatch/srv-watched/*.log 2>/dev/null | wc -l'; }
# Until both hold every line, or neither has grown for 15 s.
last="" still=$SECONDS
while :; do
  now="$(journal_lines) $(log_lines)"
  [[ "$now" == "$burst $burst" ]] && break
  [[ "$now" != "$last" ]] && { last=$now; still=$SECONDS; }
  ((SECONDS - still < 15)) || break
  sleep 0.5
done
journal=$(journal_lines)
logged=$(log_lines)
echo "journal: $journal JSON lines; --log: $logged lines, $(elapsed "$started") after the burst began"
[[ "$journal" == "$burst" ]] || fail "the journal holds $journal JSON lines, not $burst"
[[ "$logged" == "$burst" ]] || fail "the daily log holds $logged lines, not $burst"
suppressed=$(inside journalctl -q -o cat -u systemd-journald | grep -c 'Suppressed' || true)
[[ "$suppressed" == 0 ]] || fail "journald suppressed messages: $(inside journalctl -q -u systemd-journald | grep Suppressed)"
[[ "$(inside systemctl show -P NRestarts "$unit")" == 0 ]] || fail "$unit restarted"
[[ "$(inside systemctl is-active "$unit")" == active ]] || fail "$unit is not active"
failed_units=$(inside systemctl --failed --no-legend --plain)
[[ -z "$failed_units" ]] || fail "failed units: $failed_units"
if inside journalctl -q -u "$unit" -o cat | grep -E '有变化丢失|部分未监控'; then fail "the service lost changes"; fi
echo "ok: systemctl status clean: $(inside systemctl show -P ActiveState,SubState "$unit" | xargs), no restart, no failed unit, journald suppressed nothing"
perms=$(inside sh -c 'stat -c "%U %a" /var/log/qzxwatch/srv-watched /var/log/qzxwatch/srv-watched/*.log' | sort -u | xargs)
[[ "$perms" == "_qzxwatch 640 _qzxwatch 750" ]] || fail "log folder and files: $perms"
echo "ok: the log folder is _qzxwatch's 750, its files 640"

# As Debian's helpers do it: an upgrade restarts what runs, a removal stops it.
before=$(inside systemctl show -P MainPID "$unit")
# The booted system has a /tmp of its own: the package goes where it sees it.
cp "$deb" "$root/root/again.deb"
inside dpkg -i /root/again.deb >"$work/dpkg.log" 2>&1 || fail "reinstalling the package: $(cat "$work/dpkg.log")"
after=$(inside systemctl show -P MainPID "$unit")
[[ "$after" != 0 && "$after" != "$before" ]] || fail "the upgrade did not restart $unit (PID $before, then $after)"
echo "ok: the upgrade restarted $unit (PID $before, then $after)"
inside apt-get remove -y -q qzxwatch >"$work/dpkg.log" 2>&1 || fail "apt-get remove: $(cat "$work/dpkg.log")"
[[ "$(inside systemctl is-active "$unit" || true)" != active ]] || fail "the removal left $unit running"
echo "ok: the removal stopped $unit"
inside apt-get purge -y -q qzxwatch >"$work/dpkg.log" 2>&1 || fail "apt-get purge: $(cat "$work/dpkg.log")"
[[ ! -e "$root/var/lib/qzxwatch" ]] || fail "the purge left /var/lib/qzxwatch"
[[ "$(log_lines)" == "$burst" ]] || fail "the purge took the logs"
echo "ok: the purge took /var/lib/qzxwatch and left the $burst lines of the logs"

inside systemctl poweroff >/dev/null 2>&1 || true
for _ in $(seq 200); do kill -0 "$nspawn" 2>/dev/null || break; sleep 0.1; done
echo "PASS: booted, recorded every change in the journal and the log, upgraded and removed"
