#!/usr/bin/env bash
# qzxfile-helper through the real pkexec and polkitd, on a private system bus, as an ordinary
# user that a polkit rule authorises (no password, no agent): the helper runs as root, names
# the user's writer, and refuses what the user may not read; a rule that says no is pkexec's
# 127. Needs root, pkexec, polkitd and dbus-daemon; skips (77) without them. Puts the helper
# and its action where they are installed, and takes them away again.
#   HelperPkexecTest.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: HelperPkexecTest.sh BUILD_DIR}
skip() { echo "skipped: $*"; exit 77; }
[[ $(id -u) == 0 ]] || skip "needs root"
for tool in pkexec dbus-daemon /usr/lib/polkit-1/polkitd useradd; do
  command -v "$tool" >/dev/null || skip "no $tool"
done
policy="$build/app/helper/org.qzxfile.helper.policy"
target=$(sed -n 's|.*exec.path">\(.*\)</annotate>.*|\1|p' "$policy")
[[ -n "$target" && ! -e "$target" ]] || skip "no helper path in the action, or $target exists"
user=qzx-pkexec-tester
started=()
made_user=0
own_bus=0
work=$(mktemp -d /tmp/qzx-pkexec-XXXXXX)
cleanup() {
  rm -f /etc/polkit-1/rules.d/50-qzx-pkexec-test.rules /usr/share/polkit-1/actions/org.qzxfile.helper.policy
  rm -f "$target"
  rmdir "$(dirname "$target")" 2>/dev/null || true
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  ((own_bus)) && rm -f /run/dbus/pid /run/dbus/system_bus_socket
  ((made_user)) && userdel "$user" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
id "$user" >/dev/null 2>&1 || { useradd -M -s /bin/sh "$user"; made_user=1; }
source "$(dirname "$0")/../../tools/polkit-session.sh"
qzx_polkit_start "$build" "$target" "$policy"
rule() {
  printf 'polkit.addRule(function(action, subject) {\n  if (action.id == "org.qzxfile.helper" && subject.user == "%s") return polkit.Result.%s;\n});\n' \
    "$user" "$1" >/etc/polkit-1/rules.d/50-qzx-pkexec-test.rules
  sleep 3  # polkitd reloads its rules within about 2 s
}
mkdir "$work/mine" "$work/roots"
chown "$user" "$work/mine"
chmod 0711 "$work"
chmod 0700 "$work/mine" "$work/roots"
as_user() { su "$user" -s /bin/sh -c "$1"; }
failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

rule YES
code=0
timeout 6 su "$user" -s /bin/sh -c "pkexec $target --folder $work/mine" >"$work/out" 2>"$work/err" &
runner=$!
for _ in $(seq 50); do grep -q '^ready$' "$work/out" && break; sleep 0.1; done
as_user "sh -c 'exec touch $work/mine/by-user'"
for _ in $(seq 50); do grep -q 'by-user' "$work/out" && break; sleep 0.1; done
wait "$runner" || code=$?
check "the helper runs with fanotify as root" grep -q '^engine	1	' "$work/out"
check "the user's writer is named" grep -qP '^change\t1\t\d+\t\d+\ttouch\t/usr/bin/touch\tby-user\t$' "$work/out"
code=0
as_user "pkexec $target --folder $work/roots" >"$work/out" 2>"$work/err" || code=$?
check "a folder the user may not read is refused (exit $code)" test "$code" = 3
check "with a message" grep -q "may not read" "$work/err"
rule NO
code=0
as_user "pkexec $target --folder $work/mine" >"$work/out" 2>"$work/err" || code=$?
check "a rule that says no is pkexec's 127 (exit $code)" test "$code" = 127
((failures == 0))
