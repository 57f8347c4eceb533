#!/usr/bin/env bash
# Makes docs/qzxfile-process.png: the window of an ordinary user watching through
# qzxfile-helper, with the process column, after a few short-lived writers. Run as root: it
# installs the helper and its polkit action where they belong, starts a private system bus
# and polkitd, and authorises a throwaway user with a rule (no password), then takes all of it
# away again, as tests/watch/HelperPkexecTest.sh does.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QZX_BUILD_DIR:-$top/build}
[[ $(id -u) == 0 ]] || { echo "run as root" >&2; exit 2; }
"$top/tools/build.sh" --target qzxfile-shot qzxfile-helper >/dev/null
policy="$build/app/helper/org.qzxfile.helper.policy"
target=$(sed -n 's|.*exec.path">\(.*\)</annotate>.*|\1|p' "$policy")
[[ ! -e "$target" ]] || { echo "$target exists already" >&2; exit 2; }
user=qzx-shot-user
work=$(mktemp -d /tmp/qzx-shot-XXXXXX)
chmod 1777 "$work"
started=()
own_bus=0
cleanup() {
  rm -f /etc/polkit-1/rules.d/50-qzx-shot.rules /usr/share/polkit-1/actions/org.qzxfile.helper.policy
  rm -f "$target"
  rmdir "$(dirname "$target")" 2>/dev/null || true
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  ((own_bus)) && rm -f /run/dbus/pid /run/dbus/system_bus_socket
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
useradd -m -s /bin/sh "$user"
source "$top/tools/polkit-session.sh"
qzx_polkit_start "$build" "$target" "$policy"
printf 'polkit.addRule(function(action, subject) {\n  if (action.id == "org.qzxfile.helper" && subject.user == "%s") return polkit.Result.YES;\n});\n' \
  "$user" >/etc/polkit-1/rules.d/50-qzx-shot.rules
sleep 3
folder="/home/$user/文档"
su "$user" -s /bin/sh -c "mkdir -p '$folder' && QT_QPA_PLATFORM=offscreen \
  QZX_HELPER_PATH='$target' '$build/tools/qzxfile-shot' '$work/shot.png' process '$folder'"
install -m 0644 "$work/shot.png" "$top/docs/qzxfile-process.png"
echo "$top/docs/qzxfile-process.png"
