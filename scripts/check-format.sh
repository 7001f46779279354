#!/usr/bin/env bash
# Fails when a C or C++ source differs from what clang-format makes of it with the project's
# .clang-format. Checks the files given, or else every C and C++ source in the repository.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -gt 0 ]; then
  files=("$@")
elif git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git -C "$root" ls-files -- '*.c' '*.cpp' '*.h' | sed "s|^|$root/|")
else
  mapfile -t files < <(find "$root" \( -name 'build*' -o -name dist -o -name '.*' \) -prune -o \
    -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "no C or C++ sources found: cannot check"
  exit 1
fi
# One clang-format for all of them: starting it once per file cost far more than the check.
out=$(clang-format --style="file:$root/.clang-format" --dry-run -Werror "${files[@]}" 2>&1) || :
bad=0
for f in "${files[@]}"; do
  said=$(grep -F -- "$f:" <<<"$out" | grep -F -e ': error: ' -e ': warning: ' || :)
  if [ -n "$said" ]; then
    echo "misformatted: $f"
    grep -F -A 2 -- "$f:" <<<"$out" | head -n 6
    bad=$((bad + 1))
  fi
done
if [ $bad -eq 0 ] && [ -n "$out" ]; then
  echo "clang-format could not check every file:"
  head -n 20 <<<"$out"
  exit 1
fi
if [ $bad -gt 0 ]; then
  echo "$bad of ${#files[@]} files need clang-format -i"
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
