#!/bin/sh
# Runs a double-byte path case (TEST_NAME) of the end-to-end suite under Wine's code page
# 932, which Wine takes from LC_ALL=ja_JP.UTF-8. Its Unix side then also needs that locale to
# name files outside ASCII, so the locale is compiled into the build directory (LOCPATH)
# instead of the system's. Without the locale sources (Debian package locales, which the set-up
# installs) the case fails: it is not one that may be skipped.
# Usage: double_byte.sh BUILD_DIR E2E_TESTS_EXE TEST_NAME
set -u
build="$1"
tests="$2"
name="$3"
locales="$build/locale"
if [ ! -f "$locales/ja_JP.UTF-8/LC_CTYPE" ]; then
  if [ ! -f /usr/share/i18n/locales/ja_JP ] || ! command -v localedef >/dev/null; then
    echo "no ja_JP locale sources to compile (Debian package locales): the case cannot run" >&2
    exit 1
  fi
  mkdir -p "$locales"
  # localedef warns (and exits non-zero) about details that do not matter here.
  localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" >/dev/null 2>&1
  if [ ! -f "$locales/ja_JP.UTF-8/LC_CTYPE" ]; then
    echo "the ja_JP.UTF-8 locale could not be compiled: the case cannot run" >&2
    exit 1
  fi
fi
LOCPATH="$locales" LC_ALL=ja_JP.UTF-8 exec "$build/wine-run" "$tests" \
  --gtest_filter="$name"
