#!/usr/bin/env bash
# Builds the release twice from the committed HEAD, in two clones in folders of different names,
# one after the other, under different time zones, umasks and locales, and fails unless
# Linkvigil.exe, the zip and SHA256SUMS are the same bytes. Prints the SHA-256 of each, to
# compare with a published one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
commit=$(git -C "$root" rev-parse --verify HEAD) || { echo "not a git clone: cannot check"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/linkvigil-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

one="$work/one"
two="$work/second-clone-in-a-folder-with-a-longer-name"
echo "Checking: two release builds of $commit"
for dir in "$one" "$two"; do
  git clone -q --no-checkout "$root" "$dir"
  git -C "$dir" -c advice.detachedHead=false checkout -q "$commit"
done
(cd "$one" && umask 022 && TZ=UTC LC_ALL=C ./scripts/release.sh) >"$work/one.log" 2>&1 ||
  { cat "$work/one.log"; exit 1; }
(cd "$two" && umask 077 && TZ=JST-9 LC_ALL=C.UTF-8 ./scripts/release.sh) >"$work/two.log" 2>&1 ||
  { cat "$work/two.log"; exit 1; }

status=0
for f in build-release/bin/Linkvigil.exe dist/*.zip dist/SHA256SUMS; do
  a=$(cd "$one" && echo $f)
  if cmp -s "$one/$a" "$two/$a"; then
    echo "same bytes: $(cd "$one" && sha256sum "$a")"
  else
    echo "differ: $a ($(cmp -l "$one/$a" "$two/$a" | wc -l) bytes)"
    status=1
  fi
done
# Neither build's folder may appear in what is shipped.
for dir in "$one" "$two"; do
  if grep -q -F -e "$dir" "$dir"/build-release/bin/Linkvigil.exe; then
    echo "build folder in Linkvigil.exe: $dir"
    status=1
  fi
done
[ $status -eq 0 ] && echo "Reproducible: both builds gave the same bytes"
exit $status
