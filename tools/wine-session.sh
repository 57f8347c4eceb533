# Sourced by the scripts that run the Windows program under Wine: a private X server, a fresh
# Wine prefix that shows Chinese text, and the program inside Wine's virtual desktop.
#
#   wine_session_start DIR     Xvfb and a prefix in DIR (exports DISPLAY, WINEPREFIX)
#   wine_session_run EXE ARGS  the program inside "explorer /desktop" (sets WINE_APP_PID)
#   wine_find_window TITLE S   waits up to S seconds for a window; prints its X id
#   wine_session_stop          ends the program, the prefix's wineserver and Xvfb
#
# Needs wine64 (Debian's wine), Xvfb, xdotool and fonts-wqy-microhei.

WINE64=${WINE64:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompt: the program needs neither.
export WINEDLLOVERRIDES='mscoree,mshtml='
WINE_DESKTOP_SIZE=${WINE_DESKTOP_SIZE:-1024x768}

wine_session_start() {
  local dir=$1
  mkdir -p "$dir"
  # -displayfd picks a free display number, so parallel runs never meet.
  local fdfile="$dir/display"
  Xvfb -displayfd 3 -screen 0 "${WINE_DESKTOP_SIZE}x24" -nolisten tcp 3>"$fdfile" \
    >"$dir/xvfb.log" 2>&1 &
  WINE_XVFB_PID=$!
  local deadline=$((SECONDS + 20))
  while [[ ! -s "$fdfile" ]]; do
    if ((SECONDS > deadline)) || ! kill -0 "$WINE_XVFB_PID" 2>/dev/null; then
      echo "Xvfb did not start" >&2
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$fdfile")"
  export WINEPREFIX="$dir/prefix"
  "$WINE64" wineboot -i >"$dir/wineboot.log" 2>&1
  wineserver_wait
  # Dialog fonts map to an installed CJK face; without it every Chinese caption is boxes.
  local reg="$dir/fonts.reg"
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
    '"SimSun"="WenQuanYi Micro Hei"' '"宋体"="WenQuanYi Micro Hei"' \
    '"MS Shell Dlg"="WenQuanYi Micro Hei"' '"MS Shell Dlg 2"="WenQuanYi Micro Hei"' \
    '"Tahoma"="WenQuanYi Micro Hei"' |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  "$WINE64" regedit "$(winepath_of "$reg")" >>"$dir/wineboot.log" 2>&1
  # The path box and the ticker use Verdana, which has no Chinese; Windows links it to a CJK
  # font, and so does this prefix.
  "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Verdana /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f \
    >>"$dir/wineboot.log" 2>&1
  wineserver_wait
}

# Lets the prefix's boot processes go. Under qemu-i386 a device host of the boot now and then
# never ends; the prefix is made by then, so the wait is bounded and the run goes on.
wineserver_wait() {
  local ws
  ws=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  timeout 60 "$ws" -w 2>/dev/null || true
}

# A Linux path as Wine's Z: drive sees it.
winepath_of() {
  local p
  p=$(readlink -f "$1")
  echo "Z:${p//\//\\}"
}

wine_session_run() {
  local exe=$1
  shift
  "$WINE64" explorer "/desktop=qzx,$WINE_DESKTOP_SIZE" "$(winepath_of "$exe")" "$@" \
    >>"$(dirname "$WINEPREFIX")/app.log" 2>&1 &
  WINE_APP_PID=$!
}

wine_find_window() {
  local title=$1 seconds=$2 id
  local deadline=$((SECONDS + seconds))
  while ((SECONDS <= deadline)); do
    id=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n1 || true)
    if [[ -n "$id" ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

wine_session_stop() {
  if [[ -n "${WINEPREFIX:-}" ]]; then
    local ws
    ws=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
    "$ws" -k 2>/dev/null || true
  fi
  # Callers run with "set -e": a program that was killed must not end the clean-up early.
  if [[ -n "${WINE_APP_PID:-}" ]]; then wait "$WINE_APP_PID" 2>/dev/null || true; fi
  if [[ -n "${WINE_XVFB_PID:-}" ]]; then
    kill "$WINE_XVFB_PID" 2>/dev/null || true
    wait "$WINE_XVFB_PID" 2>/dev/null || true
  fi
  WINE_APP_PID= WINE_XVFB_PID=
  return 0
}
