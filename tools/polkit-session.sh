# shellcheck shell=bash
# Sourced by the scripts that run qzxfile-helper through the real pkexec. qzx_polkit_start
# BUILD TARGET POLICY puts the helper at TARGET (the path its action names) and the action where
# polkit reads it, then starts a system bus (unless one answers) and polkitd. It appends the
# PIDs it starts to the caller's array `started` and sets own_bus=1 when the bus is its own;
# the caller's clean-up kills them and takes the files away again.
# shellcheck disable=SC2034  # own_bus and started are the caller's
qzx_polkit_start() {
  install -D -m 0755 "$1/app/helper/qzxfile-helper" "$2"
  install -m 0644 "$3" /usr/share/polkit-1/actions/org.qzxfile.helper.policy
  # What a stopped bus left behind would stop the start.
  if ! dbus-send --system --dest=org.freedesktop.DBus --print-reply / \
    org.freedesktop.DBus.GetId >/dev/null 2>&1; then
    mkdir -p /run/dbus
    rm -f /run/dbus/pid /run/dbus/system_bus_socket
    started+=("$(dbus-daemon --system --fork --print-pid)")
    own_bus=1
  fi
  /usr/lib/polkit-1/polkitd --no-debug >/dev/null 2>&1 &
  started+=($!)
}
