#!/bin/bash
# Inside the clean Debian 12 root of CleanRootTest.sh, as root: what a user does with the
# packages, from apt-get install to apt-get purge: qzxwatch alone as a server gets it, then the
# window beside it. The programs run without a network (a network namespace of their own): the
# window's online notices must not leave this machine.
#   CleanRootSteps.sh /tmp/QZXWATCH.deb /tmp/QZXFILE.deb VERSION
set -euo pipefail
watch_deb=$1
window_deb=$2
version=$3
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin
fail() {
  echo "FAIL: $*" >&2
  for f in /tmp/*.out /tmp/*.err /tmp/*.log; do
    [[ -s "$f" ]] && { echo "--- $f" >&2; tail -n 30 "$f" >&2; }
  done
  exit 1
}
wait_for() {  # seconds command...: true once the command succeeds before the deadline
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS > deadline)) && return 1
    sleep 0.1
  done
}
# Programs started in the background are named in full: a shell function there would run in
# a subshell of its own, and $! would be the subshell's.
as_tester() {
  setpriv --reuid=tester --regid=tester --init-groups \
    env HOME=/home/tester USER=tester LOGNAME=tester "$@"
}
gone() { ! kill -0 "$1" 2>/dev/null; }

echo "== apt-get install ./$(basename "$watch_deb") (Depends only: they must be enough)"
if ! apt-get update -q >/tmp/apt-update.log 2>&1 || grep -qE '^(E:|W: (Failed to fetch|Some index files failed))' /tmp/apt-update.log; then
  tail -n 20 /tmp/apt-update.log
  # The mirror is out of reach: the machine's trouble, not the package's.
  echo "SKIPPED: apt-get update cannot read the mirror from the root"
  exit 77
fi
install_deb() {  # DEB PACKAGE
  local started=$SECONDS
  apt-get install -y -q --no-install-recommends "$1" >/tmp/apt-install.log 2>&1 ||
    fail "apt-get install of $2 failed"
  [[ "$(dpkg-query -W -f='${Status}' "$2")" == "install ok installed" ]] || fail "$2 not installed"
  echo "$2 installed with $(grep -c '^Setting up' /tmp/apt-install.log) packages in $((SECONDS - started)) s"
}
install_deb "$watch_deb" qzxwatch
# A server gets no graphical library with the companion.
if dpkg-query -W -f='${Package}\n' | grep -E '^libqt6|^libx11'; then fail "qzxwatch brought Qt or X"; fi
echo "ok: no Qt, no X"
getent passwd _qzxwatch >/dev/null || fail "the service user _qzxwatch was not made"
echo "ok: $(getent passwd _qzxwatch)"
echo "== apt-get install ./$(basename "$window_deb")"
install_deb "$window_deb" qzxfile
{ dpkg -L qzxwatch; dpkg -L qzxfile; } >/tmp/files-before.txt

echo "== qzxwatch"
[[ "$(qzxwatch --version)" == "qzxwatch $version" ]] || fail "qzxwatch --version: $(qzxwatch --version)"
useradd -m -s /bin/bash tester
watched=/home/tester/watched
as_tester mkdir "$watched"
unshare --net setpriv --reuid=tester --regid=tester --init-groups env HOME=/home/tester \
  qzxwatch "$watched" >/tmp/watch.out 2>/tmp/watch.err &
pid=$!
wait_for 20 grep -q '监控中\.\.' /tmp/watch.err || fail "qzxwatch did not start watching"
as_tester touch "$watched/one change.txt"
wait_for 20 grep -q 'one change.txt' /tmp/watch.out || fail "qzxwatch printed no line for the change"
kill -TERM "$pid"
code=0
wait "$pid" || code=$?
[[ $code == 0 ]] || fail "qzxwatch ended with $code after SIGTERM"
grep -qP "^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\t1\t新增\t$watched/one change\.txt$" /tmp/watch.out ||
  fail "unexpected line: $(cat /tmp/watch.out)"
echo "ok: $(head -n1 /tmp/watch.out)"

# The window, offscreen, closed by SIGTERM as a session that ends closes it. Its log folder is
# made at start; an installed copy keeps it in the user's state folder, never in /usr/bin.
window() {  # state-folder command...
  local folder=$1 pid code=0
  shift
  QT_QPA_PLATFORM=offscreen unshare --net "$@" qzxfile >>/tmp/window.log 2>&1 &
  pid=$!
  wait_for 30 test -d "$folder" || fail "the window made no log folder $folder"
  kill -TERM "$pid"
  wait_for 20 gone "$pid" || fail "the window did not close on SIGTERM"
  wait "$pid" || code=$?
  [[ $code == 0 ]] || fail "the window ended with $code"
  [[ ! -e /usr/bin/log ]] || fail "the window made /usr/bin/log"
  echo "ok: the window started, made $folder and closed"
}
echo "== the window"
window /home/tester/.local/state/qzxfile/log \
  setpriv --reuid=tester --regid=tester --init-groups env HOME=/home/tester
[[ "$(stat -c %U /home/tester/.local/state/qzxfile/log)" == tester ]] || fail "log folder not the user's"
window /var/tmp/root-state/qzxfile/log env HOME=/root XDG_STATE_HOME=/var/tmp/root-state

echo "== the service unit"
unit=/usr/lib/systemd/system/qzxwatch@.service
[[ -f "$unit" ]] || fail "no $unit"
if compgen -G '/etc/systemd/system/*.wants/qzxwatch@*' >/dev/null; then fail "the unit is enabled"; fi
# What systemctl enable makes for an instance; the purge takes it away with the unit.
mkdir -p /etc/systemd/system/multi-user.target.wants
link=/etc/systemd/system/multi-user.target.wants/qzxwatch@srv-share.service
ln -s "$unit" "$link"
echo "ok: installed and not enabled"

echo "== apt-get purge qzxfile qzxwatch"
# What the service user had, and a log the admin kept: the purge takes the one and leaves
# the other.
mkdir -p /var/lib/qzxwatch /var/log/qzxwatch/srv-share
touch /var/lib/qzxwatch/kept /var/log/qzxwatch/srv-share/2026-12-8.log
chown -R _qzxwatch: /var/lib/qzxwatch /var/log/qzxwatch
apt-get purge -y -q qzxfile qzxwatch >/tmp/apt-purge.log 2>&1 || fail "apt-get purge failed"
for p in qzxfile qzxwatch; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ -z "$status" || "$status" == *not-installed ]] || fail "after the purge $p is '$status'"
done
[[ ! -e /var/lib/qzxwatch ]] || fail "the purge left the service user's /var/lib/qzxwatch"
[[ -f /var/log/qzxwatch/srv-share/2026-12-8.log ]] || fail "the purge took the logs"
echo "ok: /var/lib/qzxwatch gone, the logs kept"
left=()
while read -r path; do
  [[ "$path" == /. ]] && continue
  if [[ -d "$path" && ! -L "$path" ]]; then
    # A folder stays when another package has it or something else is in it.
    if [[ -z "$(ls -A "$path")" ]] && ! dpkg -S "$path" >/dev/null 2>&1; then left+=("$path/"); fi
  elif [[ -e "$path" || -L "$path" ]]; then
    left+=("$path")
  fi
done </tmp/files-before.txt
[[ -L "$link" ]] && left+=("$link")
((${#left[@]} == 0)) || fail "left behind: ${left[*]}"
echo "ok: $(grep -vc '^/\.$' /tmp/files-before.txt) paths of the package, none left"
echo "PASS: installed, run and purged on a clean Debian 12 root"
