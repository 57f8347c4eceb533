#!/usr/bin/env bash
# Installs qzxwatch into a scratch root: the program answers --version and its manual page is
# where man looks and renders without warnings.
#   InstallTest.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --component qzxwatch --prefix /usr >/dev/null
"$root/usr/bin/qzxwatch" --version | grep -q '^qzxwatch '
page="$root/usr/share/man/man1/qzxwatch.1.gz"
[[ -s "$page" ]] || { echo "missing: /usr/share/man/man1/qzxwatch.1.gz" >&2; exit 1; }
warnings=$(zcat "$page" | preconv | groff -man -ww -z -Tutf8 2>&1)
[[ -z "$warnings" ]] || { echo "$warnings" >&2; exit 1; }
# Every exit code of --help is in the manual, and the other way round.
codes() { grep -oE '^ *\.?B? ?[0-4]( |$)' | tr -dc '0-9\n' | sort -u | tr '\n' ' '; }
help=$("$root/usr/bin/qzxwatch" --help | sed -n '/^Exit codes/,$p' | codes)
man=$(zcat "$page" | sed -n '/^\.SH EXIT STATUS/,/^\.SH EXAMPLES/p' | codes)
[[ "$help" == "$man" ]] || { echo "exit codes differ: help '$help', manual '$man'" >&2; exit 1; }
echo "qzxwatch installs with its manual page"
