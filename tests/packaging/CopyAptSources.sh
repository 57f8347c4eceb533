#!/usr/bin/env bash
# apt in a clean root reads the same sources as apt here, with their keys, and resolves names
# as here.
#   CopyAptSources.sh ROOT
set -euo pipefail
root=$1
cp /etc/resolv.conf "$root/etc/resolv.conf"
rm -f "$root/etc/apt/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [[ -f "$f" ]] || continue
  cp "$f" "$root$f"
  for key in $(grep -ohiE '(signed-by:|signed-by=)[ ]*/[^] ]+' "$f" | sed -E 's/^[^/]*//'); do
    if [[ -f "$key" && ! -e "$root$key" ]]; then
      mkdir -p "$(dirname "$root$key")"
      cp "$key" "$root$key"
    fi
  done
done
