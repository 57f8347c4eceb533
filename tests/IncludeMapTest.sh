#!/bin/bash
# Fails when an #include goes against the map of docs/architecture.md: a folder includes from a
# folder it may not use, or a portable file (one not named for a platform, below the shells)
# includes a system header of a platform or a platform file of ours. Argument: the source tree.
set -u
top=${1:?usage: IncludeMapTest.sh SOURCE_DIR}
status=0

# What each folder may include besides itself, as the map draws it.
uses() {
  case $1 in
    base) echo "" ;;
    watch) echo "base" ;;
    records) echo "base watch" ;;
    online) echo "base" ;;
    app) echo "base watch records online" ;;
    app/qt | app/win32 | app/cli) echo "base watch records online app" ;;
  esac
}

platform_suffix='_(inotify|fanotify|linux|posix|curl|iconv|win32|wininet)\.(h|cpp)$'
# System headers that only the platform layer includes.
platform_system='^(unistd|fcntl|poll|dirent|pthread|iconv|windows|winsock2|wininet|shlobj|shellapi|commctrl)\.h$|^(sys|linux|curl)/|^Q'
# Our own headers that belong to the platform layer without its suffix: a POSIX descriptor's
# owner, which only platform files hold.
platform_own='^base/UniqueFd\.h$'

quoted='#[[:space:]]*include[[:space:]]*"([^"]+)"'
angled='#[[:space:]]*include[[:space:]]*<([^>]+)>'

complain() {
  echo "$1" >&2
  status=1
}

files=0
for folder in base watch records online app app/qt app/win32 app/cli; do
  allowed=" $folder $(uses "$folder") "
  for file in "$top/$folder"/*.h "$top/$folder"/*.cpp; do
    [ -e "$file" ] || continue
    files=$((files + 1))
    name=${file#"$top"/}
    portable=0
    if [[ $folder != app/* ]] && ! [[ $name =~ $platform_suffix ]] && ! [[ $name =~ $platform_own ]]; then
      portable=1
    fi
    while IFS= read -r line; do
      if [[ $line =~ $quoted ]]; then
        included=${BASH_REMATCH[1]}
        [[ $included == */* ]] || continue
        from=${included%/*}
        [[ $allowed == *" $from "* ]] ||
          complain "$name includes $included: the map lets $folder/ use only$allowed"
        if ((portable)) && { [[ $included =~ $platform_suffix ]] || [[ $included =~ $platform_own ]]; }; then
          complain "$name is portable but includes the platform file $included"
        fi
      elif ((portable)) && [[ $line =~ $angled ]]; then
        system=${BASH_REMATCH[1]}
        [[ $system =~ $platform_system ]] && complain "$name is portable but includes <$system>"
      fi
    done <"$file"
  done
done
[ "$status" = 0 ] && echo "$files files include only what the map allows"
exit "$status"
