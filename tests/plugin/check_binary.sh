#!/usr/bin/env bash
# check_binary.sh DLL: the plug-in exports exactly CreateTalvexObject and
# ReleaseTalvexObject (undecorated), imports only Windows system DLLs and
# carries a version resource.
set -euo pipefail
dll="$1"
dump="$(i686-w64-mingw32-objdump -p "$dll")"
exports="$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | awk '{print $NF}' | sort | tr '\n' ' ')"
if [ "$exports" != "CreateTalvexObject ReleaseTalvexObject " ]; then
  echo "unexpected exports: $exports"; exit 1
fi
imports="$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)"
for lib in $imports; do
  case "$lib" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|ddraw.dll|msvfw32.dll|winmm.dll|shlwapi.dll|strmiids.dll|uuid.dll) ;;
    *) echo "imports a non-system library: $lib"; exit 1 ;;
  esac
done
if ! i686-w64-mingw32-objdump -h "$dll" | grep -q '\.rsrc'; then
  echo "no resource section (version resource missing)"; exit 1
fi
echo "exports: $exports"
echo "imports: $(echo $imports)"
