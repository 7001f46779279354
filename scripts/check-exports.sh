#!/usr/bin/env bash
# Fails when a DLL of the build cannot serve the callers that look its functions up by name:
#   - an exported name keeps a calling-convention decoration (Name@8, @Name@8): on 32-bit a
#     WINAPI function is exported so unless the DLL is linked with --kill-at or a .def file,
#     and GetProcAddress(module, "Name") then finds nothing;
#   - a name the callers resolve with GetProcAddress is not exported;
#   - a name given with --absent is exported (a stand-in built to lack it);
#   - the DLL needs a runtime DLL of the compiler's, which neither Windows nor Wine has, so
#     it never loads.
# The names the callers resolve are read from their sources: string literals passed to
# GetProcAddress or Resolve, and the entries of an X-macro list, X(Name, ...).
# Usage: check-exports.sh DLL CALLER_SOURCE... [--absent NAME]...
set -euo pipefail
dll="$1"
shift
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
callers=()
absent=()
while [ $# -gt 0 ]; do
  case "$1" in
    --absent) absent+=("$2"); shift 2 ;;
    *) callers+=("$1"); shift ;;
  esac
done
name="$(basename "$dll")"

table=$("$objdump" -p "$dll")
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
               on && /^\t\[ *[0-9]+\] / { print $3; next }
               on { on = 0 }' <<< "$table" | sort -u)
imports=$(awk '/DLL Name:/ { print $3 }' <<< "$table")

resolved=$({
  grep -ohE '(GetProcAddress|Resolve)\([^;]*"[A-Za-z_][A-Za-z0-9_]*"' "${callers[@]}" |
    sed -E 's/.*"([A-Za-z0-9_]+)"$/\1/'
  grep -hE '^[[:space:]]*X\([A-Za-z_][A-Za-z0-9_]*,' "${callers[@]}" |
    sed -E 's/^[[:space:]]*X\(([A-Za-z0-9_]+),.*/\1/'
} | sort -u || true)
if [ -z "$resolved" ]; then
  echo "no name resolved in ${callers[*]}: nothing to check $name against"
  exit 1
fi

status=0
while read -r export; do
  [ -z "$export" ] && continue
  if [[ "$export" =~ @[0-9]+$ ]]; then
    echo "decorated export in $name: $export (link with -Wl,--kill-at or a .def file)"
    status=1
  fi
done <<< "$exports"
while read -r wanted; do
  is_absent=0
  for a in "${absent[@]}"; do [ "$a" = "$wanted" ] && is_absent=1; done
  if [ $is_absent -eq 0 ] && ! grep -qxF "$wanted" <<< "$exports"; then
    echo "not exported by $name: $wanted (resolved by name in ${callers[*]##*/})"
    status=1
  fi
done <<< "$resolved"
for a in "${absent[@]}"; do
  if grep -qxF "$a" <<< "$exports"; then
    echo "exported by $name, which is built without it: $a"
    status=1
  fi
done
while read -r import; do
  case "${import,,}" in
    libgcc_s*|libstdc++*|libwinpthread*)
      echo "$name needs $import, which neither Windows nor Wine has (link it with -static)"
      status=1 ;;
  esac
done <<< "$imports"

if [ $status -eq 0 ]; then
  count=$(($(wc -l <<< "$resolved") - ${#absent[@]}))
  echo "$name exports, undecorated, every name its callers resolve ($count)" \
    "${absent[*]:+(built without ${absent[*]})}"
fi
exit $status
