#!/usr/bin/env bash
# The service unit as this build installs it (the package's build installs to /usr): systemd's
# own check passes on an instance of it (the folder /srv/share), also with the override that
# README.md shows for --log; it runs the installed qzxwatch with --json, restarts on failure
# but not on exit 1 or 2, drops no journal line, runs as the user of its sysusers file and
# carries the hardening, which systemd-analyze security rates at most 2.5 (of 10), also with
# the override; it is installed, never enabled.
#   ServiceUnitTest.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR="$root" cmake --install "$build" --component qzxwatch >/dev/null
unit="$root$prefix/lib/systemd/system/qzxwatch@.service"
[[ -s "$unit" ]] || { echo "missing: $prefix/lib/systemd/system/qzxwatch@.service" >&2; exit 1; }

failed=0
expect() {  # key=value line the unit must hold
  if grep -qxF -- "$1" "$unit"; then echo "ok: $1"; else echo "missing: $1" >&2; failed=1; fi
}
expect "ExecStart=$prefix/bin/qzxwatch --json --catch-up %f"
expect 'Restart=on-failure'
expect 'RestartPreventExitStatus=1 2'
expect 'StandardOutput=journal'
expect 'ProtectSystem=strict'
expect 'ProtectHome=read-only'
expect 'NoNewPrivileges=yes'
expect 'PrivateTmp=yes'
expect 'LogRateLimitIntervalSec=1s'
expect 'LogRateLimitBurst=1000000'
# The fanotify engine's powers, and no more of root's; its calls pass the filter, and none
# that mounts.
expect 'AmbientCapabilities=CAP_SYS_ADMIN CAP_DAC_READ_SEARCH CAP_SYS_PTRACE'
expect 'CapabilityBoundingSet=CAP_SYS_ADMIN CAP_DAC_READ_SEARCH CAP_SYS_PTRACE'
expect 'SystemCallFilter=@system-service fanotify_init fanotify_mark open_by_handle_at'
grep -qE '^SystemCallFilter=~.*@mount( |$)' "$unit" || { echo "@mount is not filtered" >&2; failed=1; }
expect 'PrivateNetwork=yes'
expect 'RestrictAddressFamilies=AF_UNIX'
expect 'UMask=0027'
user=$(sed -n 's/^User=//p' "$unit")
sysusers="$root$prefix/lib/sysusers.d/qzxwatch.conf"
if [[ -n "$user" ]] && grep -qE "^u $user - " "$sysusers" 2>/dev/null; then
  echo "ok: User=$user, made by $prefix/lib/sysusers.d/qzxwatch.conf"
else
  echo "the unit's user '$user' is not made by $sysusers" >&2
  failed=1
fi
# The reason for keeping exit 1 and 2 from restarting is written beside the rule.
grep -q 'will not mend themselves' "$unit" || { echo "the unit does not say why 1 and 2 stop" >&2; failed=1; }

instance="qzxwatch@$(systemd-escape --path /srv/share).service"
[[ "$instance" == "qzxwatch@srv-share.service" ]] || { echo "escaped as $instance" >&2; failed=1; }
# The root holds the unit, the program it starts, its manual page and the folder; the targets
# every service is ordered against come from this machine.
mkdir -p "$root/srv/share" "$root/var/log/qzxwatch"
mkdir -p "$root/usr/lib/systemd/system"
cp -n /usr/lib/systemd/system/*.target "$root/usr/lib/systemd/system/" 2>/dev/null || true
verify() {  # what
  local out
  if out=$(MANPATH="$root$prefix/share/man" systemd-analyze verify --root="$root" "$instance" 2>&1) &&
    [[ -z "$out" ]]; then
    echo "ok: systemd-analyze verify $instance$1"
  else
    echo "systemd-analyze verify $instance$1:" >&2
    echo "$out" >&2
    failed=1
  fi
}
security() {  # what unit-file...
  local what=$1 out
  shift
  # --threshold counts in tenths: 25 is the 2.5 that systemd-analyze shows.
  if out=$(systemd-analyze security --offline=yes --root="$root" --threshold=25 "$@" 2>&1); then
    echo "ok: systemd-analyze security$what: $(tail -n1 <<<"$out")"
  else
    echo "systemd-analyze security$what rates the unit above 2.5:" >&2
    grep -F '✗' <<<"$out" >&2 || echo "$out" >&2
    failed=1
  fi
}
verify ""
security "" "$instance"
# The override that README.md shows for keeping the daily log.
mkdir -p "$root/etc/systemd/system/$instance.d"
printf '%s\n' '[Service]' 'ExecStart=' \
  "ExecStart=$prefix/bin/qzxwatch --json --catch-up --log /var/log/qzxwatch/%i %f" \
  'LogsDirectory=qzxwatch/%i' >"$root/etc/systemd/system/$instance.d/override.conf"
verify " with the --log override"
security " with the --log override" "$instance"
rm -r "$root/etc/systemd/system/$instance.d"
# Installed is not enabled: no link of the package's own asks for a start.
if find "$root" -path '*.wants/*' | grep -q .; then echo "the package enables the unit" >&2; failed=1; fi
exit $failed
