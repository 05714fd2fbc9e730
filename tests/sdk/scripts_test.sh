#!/usr/bin/env bash
# Checks of the scripts the fuzzing and the Wine tests stand on, run with
# stand-ins for the programs they call (wine, libFuzzer targets, apt, sudo),
# so nothing is installed or booted.
# Usage: scripts_test.sh CHECK SOURCE_DIR   (CHECK: wine_run, run_fuzzer, setup)
set -uo pipefail
check="$1"
src="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin"
failures=0

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

stand_in() {  # NAME BODY
  printf '#!/usr/bin/env bash\n%s\n' "$2" >"$scratch/bin/$1"
  chmod +x "$scratch/bin/$1"
}

# A prefix whose boot failed is not marked ready: the program is not run,
# the failure is reported, and the next call boots again.
check_wine_run() {
  # A failed boot leaves a half-made prefix behind, as a real one does.
  stand_in wineboot 'echo "boot attempt" >>"$WINEPREFIX.attempts"; mkdir -p "$WINEPREFIX"
    [ "${BOOT_FAILS:-0}" = 1 ] && exit 1; touch "$WINEPREFIX/system.reg"'
  stand_in wineserver 'exit 0'
  stand_in wine 'echo "wine ran $*"'
  local prefix="$scratch/prefix" out rc
  out="$(PATH="$scratch/bin:$PATH" VD_WINEPREFIX="$prefix" BOOT_FAILS=1 "$src/scripts/wine-run" prog.exe 2>&1)"
  rc=$?
  [ $rc -ne 0 ] || fail "a failed boot still ran the program"
  [[ "$out" != *"wine ran"* ]] || fail "the program ran in a prefix that failed to boot"
  [[ "$out" == *"could not prepare the Wine prefix"* ]] || fail "no message for the failed boot: $out"
  [ ! -f "$prefix/.vd-ready" ] || fail "a prefix whose boot failed was marked ready"

  out="$(PATH="$scratch/bin:$PATH" VD_WINEPREFIX="$prefix" "$src/scripts/wine-run" prog.exe arg 2>&1)"
  [ $? -eq 0 ] || fail "a good boot failed: $out"
  [ "$out" = "wine ran prog.exe arg" ] || fail "the program did not run after a good boot: $out"
  [ -f "$prefix/.vd-ready" ] || fail "a booted prefix was not marked ready"
  [ "$(wc -l <"$prefix.attempts")" -eq 2 ] || fail "the second call did not boot again"

  out="$(PATH="$scratch/bin:$PATH" VD_WINEPREFIX="$prefix" BOOT_FAILS=1 "$src/scripts/wine-run" prog.exe 2>&1)"
  [ "$out" = "wine ran prog.exe" ] || fail "a ready prefix was booted again: $out"
}

# Replaying runs every corpus and regression input once; fuzzing keeps what
# it finds and the grown corpus, and leaves the committed corpus alone.
check_run_fuzzer() {
  # Stands in for a libFuzzer target: logs its arguments; in fork mode it
  # leaves a reproducer and a new corpus input, as a finding does.
  stand_in fake_fuzzer 'echo "$*" >>"$FUZZ_LOG"
    for a in "$@"; do case "$a" in -artifact_prefix=*) prefix="${a#-artifact_prefix=}";; -*) ;; *) [ -z "${first:-}" ] && first="$a";; esac; done
    if [[ " $* " == *" -fork=1 "* ]]; then echo x >"${prefix}crash-1"; echo y >"$first/new-input"; exit 70; fi
    exit "${FUZZ_RC:-0}"'
  local area="$scratch/area" out log="$scratch/fuzz.log"
  mkdir -p "$area/corpus" "$area/regressions/fake_fuzzer"
  echo a >"$area/corpus/seed-a"
  echo b >"$area/corpus/seed-b"
  echo c >"$area/regressions/fake_fuzzer/crash-old"

  FUZZ_LOG="$log" "$src/scripts/run-fuzzer" "$scratch/bin/fake_fuzzer" "$area/corpus" "$area/regressions/fake_fuzzer" 20 5 512 >/dev/null 2>&1 ||
    fail "a clean replay failed"
  local args
  args="$(cat "$log")"
  for want in "-runs=0" "-timeout=10" "-rss_limit_mb=512" "-malloc_limit_mb=512" "$area/corpus/seed-a" "$area/corpus/seed-b" \
              "$area/regressions/fake_fuzzer/crash-old"; do
    [[ " $args " == *" $want "* ]] || fail "replay without $want: $args"
  done
  [[ "$args" != *"-max_total_time"* ]] || fail "the replay fuzzes: $args"
  if FUZZ_LOG="$log" FUZZ_RC=1 "$src/scripts/run-fuzzer" "$scratch/bin/fake_fuzzer" "$area/corpus" "$area/regressions/fake_fuzzer" 20 5 512 >/dev/null 2>&1; then
    fail "a failing replay passed"
  fi

  : >"$log"
  out="$(FUZZ_LOG="$log" "$src/scripts/run-fuzzer" --fuzz 3 "$scratch/out" "$scratch/bin/fake_fuzzer" "$area/corpus" \
    "$area/regressions/fake_fuzzer" 5 512 2>&1)"
  [ $? -ne 0 ] || fail "fuzzing that found something passed"
  [ -f "$scratch/out/findings/crash-1" ] || fail "the reproducer was not kept"
  [ -f "$scratch/out/corpus/new-input" ] || fail "the grown corpus was not kept"
  [ ! -e "$area/corpus/new-input" ] || fail "the committed corpus was written to"
  [[ "$out" == *"$scratch/out/findings"* ]] || fail "the findings' folder is not named: $out"
  [[ "$out" == *"$area/regressions/fake_fuzzer"* ]] || fail "the regression folder is not named: $out"
  args="$(cat "$log")"
  for want in "-max_total_time=3" "-timeout=5" "-rss_limit_mb=512" "$area/corpus" "$area/regressions/fake_fuzzer"; do
    [[ " $args " == *" $want "* ]] || fail "fuzzing without $want: $args"
  done
}

# Not root: every sudo is non-interactive, and the clang runtime installed
# is the one of the clang on the machine. All installed: nothing is run.
check_setup() {
  local log="$scratch/sudo.log"
  stand_in id '[ "${1:-}" = -u ] && echo 1000 || echo uid=1000'
  stand_in sudo 'echo "$*" >>"$SUDO_LOG"'
  stand_in apt-get 'exit 0'
  stand_in clang '[ "${1:-}" = -dumpversion ] && echo 16.0.6'
  stand_in locale 'echo zh_CN.utf8'
  stand_in localedef 'exit 0'
  # dpkg knows the packages listed in $INSTALLED (all but the ones missing).
  stand_in dpkg 'case "$1" in
      -s) grep -qx -- "$2" "$INSTALLED";;
      --print-foreign-architectures) echo i386;;
      *) exit 0;;
    esac'
  local installed="$scratch/installed"
  sed -n '/^packages=(/,/^)/p' "$src/scripts/setup" | grep -v '^ *#' | tr ' ()' '\n\n\n' |
    grep -v -e '^$' -e '^packages=' >"$installed"
  grep -qx clang "$installed" || fail "could not read the package list"
  grep -vx -e ffmpeg -e sox "$installed" >"$installed.some"

  PATH="$scratch/bin:$PATH" SUDO_LOG="$log" INSTALLED="$installed.some" "$src/scripts/setup" >/dev/null 2>&1 ||
    fail "setup failed"
  [ -s "$log" ] || fail "nothing was installed"
  if grep -v '^-n ' "$log"; then fail "sudo without -n"; fi
  grep -q -- "apt-get install .* ffmpeg" "$log" || fail "ffmpeg not installed: $(cat "$log")"
  grep -q -- "apt-get install .* libclang-rt-16-dev" "$log" || fail "the runtime of clang 16 not installed: $(cat "$log")"
  if grep -q "libclang-rt-1[0-5]" "$log"; then fail "another clang's runtime: $(cat "$log")"; fi

  : >"$log"
  echo libclang-rt-16-dev >>"$installed"
  PATH="$scratch/bin:$PATH" SUDO_LOG="$log" INSTALLED="$installed" "$src/scripts/setup" >/dev/null 2>&1 ||
    fail "setup failed with everything installed"
  [ ! -s "$log" ] || fail "with everything installed, setup still ran: $(cat "$log")"
}

case "$check" in
  wine_run) check_wine_run ;;
  run_fuzzer) check_run_fuzzer ;;
  setup) check_setup ;;
  *) echo "unknown check $check"; exit 2 ;;
esac
if [ $failures -ne 0 ]; then
  echo "$check: $failures failure(s)"
  exit 1
fi
echo "$check: passed"
