#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ (only the libraries
# they need) and runs each in turn, one at a time.
#   tools/fuzz.sh [SECONDS_EACH [RUNS_EACH]] [TARGET...]
# Defaults: 480 seconds or 10 million runs, whichever comes first, every
# target. New inputs go to build-fuzz/corpus/TARGET (the seeds in
# tests/fuzz/corpus stay as they are); a crash leaves build-fuzz/crash-TARGET-*.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VORN_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-480}"
runs="${2:-10000000}"
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
((${#targets[@]})) || targets=(listing exchange ioconf socket_cfg image_requests image_backup xmodem_answers)

# libFuzzer's runtime comes with Debian's clang in libclang-rt-*-dev.
for p in clang libclang-rt-14-dev; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then
    echo "Installing: $p"
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$p" >/dev/null
  fi
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1" \
  -DCMAKE_CXX_COMPILER=clang++ -DVORN_BUILD_FUZZERS=ON -DVORN_BUILD_GUI=OFF -DVORN_BUILD_TESTS=OFF \
  -DVORN_WITH_SIM=OFF >/dev/null
nice cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  echo "== $t"
  nice "$build/fuzz/fuzz_$t" -runs="$runs" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/crash-$t-" "$build/corpus/$t" "$root/tests/fuzz/corpus/$t" \
    2>"$build/fuzz-$t.log" || status=1
  grep -E "^Done|stat::number_of_executed_units|ERROR|fuzz check failed" "$build/fuzz-$t.log" || true
done
exit $status
