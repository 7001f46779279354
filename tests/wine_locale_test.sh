#!/bin/sh
# The locale that scripts/wine-env.sh gives the run command and rasctl.sh, for callers' locales
# as a fresh machine, a container or an ssh session leaves them: every one must end up with a
# UTF-8 character set (Wine names files outside ASCII only then), and a UTF-8 locale of the
# caller's must be kept as it is. Prints one line per wrong answer.
set -u
env_sh="$(cd "$(dirname "$0")/.." && pwd)/scripts/wine-env.sh"
status=0
# check EXPECTED_LC_ALL [VARIABLE=VALUE...]: the caller's environment holds only PATH and those.
check() {
  expected="$1"
  shift
  got=$(env -i PATH="$PATH" "$@" sh -c '. "$1" && wine_utf8_locale &&
    echo "${LC_ALL-unset} $(locale charmap 2>/dev/null)"' sh "$env_sh" 2>&1)
  if [ "$got" != "$expected UTF-8" ]; then
    echo "caller's locale ${*:-unset}: got \"$got\", expected \"$expected UTF-8\""
    status=1
  fi
}
check C.UTF-8                         # unset: POSIX
check C.UTF-8 LANG=C
check C.UTF-8 LC_ALL=POSIX LANG=C.UTF-8
check C.UTF-8 LANG=xx_YY.UTF-8        # named UTF-8, but not generated here
check unset LANG=C.UTF-8
check C.UTF-8 LC_ALL=C.UTF-8
check unset LANG=C LC_CTYPE=C.UTF-8
exit $status
