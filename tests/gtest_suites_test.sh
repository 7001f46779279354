#!/bin/sh
# How unit suites become CTest tests (gtest_suites.cmake), without Wine: a stand-in program
# lists cases as GoogleTest does, and CTest reads the tests made of its list. Checks that each
# suite becomes one test naming each of its cases once, with parameterised and disabled cases
# handled as GoogleTest does, and that run_suite.sh passes only a run of every named case that
# succeeded. Prints one line per wrong answer. Usage: gtest_suites_test.sh
set -u
tests="$(cd "$(dirname "$0")" && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/gtest-suites-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
wrong() {
  echo "wrong: $*"
  failures=$((failures + 1))
}

# The stand-in "emulator": given --gtest_list_tests, prints a listing; otherwise says how it
# was run and answers as the file $work/answer says (GoogleTest's summary lines, then an exit
# status).
cat >"$work/emulator" <<'EMULATOR'
#!/bin/sh
exe="$1"
shift
if [ "$1" = --gtest_list_tests ]; then
  printf 'Running main() from gtest_main.cc\r\n'
  printf 'LogFileTest.\r\n  WritesLines\r\n  DISABLED_Slow\r\n  KeepsOrder\r\n'
  printf 'VersionTest.\r\n  Locks/win98  # GetParam() = win98\r\n  Locks/nt40  # GetParam() = nt40\r\n'
  printf 'DISABLED_Old.\r\n  Anything\r\n'
  printf 'Windows/Matrix.  # TypeParam = int\r\n  Starts/0\r\n'
  exit 0
fi
echo "ran $exe $*"
sed '$d' "$WORK/answer"
exit "$(sed -n '$p' "$WORK/answer")"
EMULATOR
chmod +x "$work/emulator"
: >"$work/program.exe"

# A CTest directory whose only tests come from the listing, as the build's do.
cat >"$work/CTestTestfile.cmake" <<EOF2
set(suites_exe [==[$work/program.exe]==])
set(suites_emulator [==[$work/emulator]==])
set(suites_runner [==[$tests/run_suite.sh]==])
set(suites_filter [==[]==])
set(suites_name_suffix [==[]==])
set(suites_properties [===[ [==[LABELS]==] [==[unit]==]]===])
set(suites_file [==[$work/suites.cmake]==])
include([==[$tests/gtest_suites_list.cmake]==])
EOF2
names=$(cd "$work" && ctest -N 2>&1 | sed -n 's/^ *Test *#[0-9]*: //p' | tr '\n' ' ')
[ "$names" = "LogFileTest VersionTest Windows/Matrix " ] || wrong "tests are \"$names\""
command_of() { # the command of the test $1, as CTest would run it
  (cd "$work" && ctest -N -V -R "^$1\$" 2>&1 | sed -n 's/^[0-9]*: Test command: //p')
}
case "$(command_of LogFileTest)" in
  *"run_suite.sh \"2\" \"$work/emulator\" \"$work/program.exe\" \"--gtest_filter=LogFileTest.WritesLines:LogFileTest.KeepsOrder\"") ;;
  *) wrong "LogFileTest runs: $(command_of LogFileTest)" ;;
esac
case "$(command_of VersionTest)" in
  *"\"2\" "*"--gtest_filter=VersionTest.Locks/win98:VersionTest.Locks/nt40\"") ;;
  *) wrong "VersionTest runs: $(command_of VersionTest)" ;;
esac
labels=$(cd "$work" && ctest -N -L unit 2>&1 | grep -c 'Test *#')
[ "$labels" = 3 ] || wrong "$labels tests labelled unit, not 3"

# The runner: the program's status, and every named case run and passed; no case skipped.
answer() { printf '%s\n' "$@" >"$work/answer"; }
cr=$(printf '\r') # GoogleTest's lines end in CR LF under Wine
suite() { WORK="$work" "$tests/run_suite.sh" 2 "$work/emulator" "$work/program.exe" x >"$work/said" 2>&1; }
ran() { printf '[==========] %s from 1 test suite ran. (5 ms total)%s' "$1" "$cr"; }
answer "$(ran "2 tests")" "[  PASSED  ] 2 tests.$cr" 0
suite || wrong "a run of both cases failed: $(cat "$work/said")"
answer "$(ran "2 tests")" "[  PASSED  ] 2 tests." 1
suite && wrong "a run whose program failed passed"
answer "[==========] 0 tests from 0 test suites ran. (0 ms total)" "[  PASSED  ] 0 tests." 0
suite && wrong "a run of no case passed"
answer "$(ran "1 test")" "[  PASSED  ] 1 test." 0
suite && wrong "a run of one case of two passed"
answer "$(ran "12 tests")" "[  PASSED  ] 12 tests." 0
suite && wrong "a run of twelve cases passed for two"
answer "no summary: the program died" 0
suite && wrong "a run without GoogleTest's summary passed"
# GoogleTest counts a skipped case as run, and exits 0.
answer "[  SKIPPED ] LogFileTest.KeepsOrder (0 ms)" "$(ran "2 tests")" "[  PASSED  ] 1 test." \
  "[  SKIPPED ] 1 test, listed below:" "[  SKIPPED ] LogFileTest.KeepsOrder$cr" 0
if suite; then
  wrong "a run with a skipped case passed"
else
  grep -qx "  LogFileTest.KeepsOrder" "$work/said" || wrong "the skipped case is not named: $(cat "$work/said")"
fi
answer "$(ran "2 tests")" "[  PASSED  ] 1 test." 0
suite && wrong "a run of two cases of which one passed, passed"

[ "$failures" -eq 0 ] && echo "suites listed and run as named"
exit "$failures"
