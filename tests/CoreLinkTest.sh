#!/bin/bash
# Fails when a core test program carries anything of the platform layer: a charset, HTTP or Qt
# library among its needed libraries, or a symbol that only the platform layer defines.
set -u
status=0
for program in "$@"; do
  needed=$(readelf -d "$program" | grep NEEDED || true)
  if grep -Ei 'curl|Qt6|iconv' <<<"$needed"; then
    echo "$program needs a platform library" >&2
    status=1
  fi
  symbols=$(nm -C "$program" | grep -E ' [TU] (iconv_open|curl_easy_init|qzx::(AppendGbk|Utf8ToGbk|ToUtf8|SystemClock|SystemFileSystem|SystemLogLocations|MakeHttpGet|CreateChangeSource))\b' || true)
  if [ -n "$symbols" ]; then
    echo "$program carries platform code:" >&2
    echo "$symbols" >&2
    status=1
  fi
done
[ "$status" = 0 ] && echo "$# core programs link nothing of the platform layer"
exit "$status"
