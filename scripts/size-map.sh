#!/usr/bin/env bash
# Where the bytes of an executable come from: sums the input sections of a GNU ld map file
# (-Wl,-Map) by library and by object. Counts what occupies the file: .bss, common symbols and
# debug sections take no file bytes and are left out; alignment padding is not attributed.
# Usage: size-map.sh MAP [TOP]   (TOP rows per table, 10 by default)
set -euo pipefail
map="$1"
top="${2:-10}"
awk -v top="$top" '
  function hex(s,   i, c, v) {
    v = 0; s = tolower(s); sub(/^0x/, "", s)
    for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)); v = v * 16 + c - 1 }
    return v
  }
  # An input file as "library(member)" or a plain object; libraries by their base name.
  function add(section, size, file,   lib, obj) {
    if (section ~ /^\.(bss|debug|stab|comment)/ || section ~ /^COMMON/ || size == 0) return
    obj = file
    sub(/^.*\//, "", obj)
    lib = obj
    if (lib ~ /\(/) sub(/\(.*$/, "", lib); else lib = "(program objects)"
    if (file ~ /CMakeFiles\/Linkvigil\.dir|liblinkvigil_core\.a/) lib = "(program objects)"
    if (file == "dll") lib = obj = "(base relocations)" # the linker'"'"'s own "dll stuff"
    bylib[lib] += size; byobj[obj] += size; total += size
  }
  /^Linker script and memory map/ { inmap = 1; next }
  !inmap { next }
  # " .text  0xADDR  0xSIZE file" on one line, or the section name alone with the rest below.
  /^ [^ ]/ && NF == 1 { pending = $1; next }
  /^ [^ ]/ && NF >= 4 && $2 ~ /^0x/ && $3 ~ /^0x/ { add($1, hex($3), $4); pending = ""; next }
  /^                / && pending != "" && NF >= 3 && $1 ~ /^0x/ && $2 ~ /^0x/ { add(pending, hex($2), $3) }
  { pending = "" }
  END {
    printf "%d bytes in input sections that occupy the file\n\n", total
    printf "By library\n"
    n = 0; for (k in bylib) keys[++n] = k
    sortprint(bylib, keys, n)
    delete keys
    printf "\nBy object\n"
    n = 0; for (k in byobj) keys[++n] = k
    sortprint(byobj, keys, n)
  }
  function sortprint(a, keys, n,   i, j, t) {
    for (i = 2; i <= n; i++) for (j = i; j > 1 && a[keys[j]] > a[keys[j - 1]]; j--) { t = keys[j]; keys[j] = keys[j - 1]; keys[j - 1] = t }
    for (i = 1; i <= n && i <= top; i++) printf "%8d  %5.1f%%  %s\n", a[keys[i]], 100 * a[keys[i]] / total, keys[i]
  }
' "$map"
