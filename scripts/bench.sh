#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark: how fast the window maps and how much memory it holds, next to a bare Qt
# window of the same size, and per level how long drawing a problem and judging a check take.
# Installs what is missing, builds in build-bench/ (Release) and prints one table.
#
#   bash scripts/bench.sh            seven timed starts of each after a warm-up, 1000 problems per level
#   bash scripts/bench.sh --smoke    one start of each, 20 problems per level (for CI; uses build/)
#   bash scripts/bench.sh --runs N --problems M
#
# It is a benchmark, not a test: the figures depend on the machine and what else it runs,
# so nothing here fails on a slow figure. Starts are interleaved (ポロメ, bare, ポロメ, …) so
# that a busy moment of the machine falls on both alike; ratios come from the same run.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/packages.sh

runs=7
warmup=1
problems=1000
dir=build-bench
buildtype=Release
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) runs=1; warmup=0; problems=20; dir=build; buildtype=RelWithDebInfo ;;
    --runs) runs=$2; shift ;;
    --problems) problems=$2; shift ;;
    --measure) shift; break ;;
    *) echo "usage: bash scripts/bench.sh [--smoke] [--runs N] [--problems M]" >&2; exit 2 ;;
  esac
  shift
done

# --- measuring, on the virtual screen started below -------------------------------------
if [ "${1:-}" = "--inner" ]; then
  shift
  runs=$1 warmup=$2 problems=$3 dir=$4
  mapwait=$dir/tools/bench/porome-mapwait
  porome=$dir/porome
  bare=$dir/tools/bench/porome-bare-window
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
  export XDG_RUNTIME_DIR=$out/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"

  for ((i = 0; i < warmup; i++)); do
    "$mapwait" "$porome" >/dev/null
    "$mapwait" "$bare" >/dev/null
  done
  for ((i = 0; i < runs; i++)); do
    "$mapwait" "$porome" >>"$out/porome"
    "$mapwait" "$bare" >>"$out/bare"
  done

  # median, min and max of column $2 of a file
  stats() {
    cut -d' ' -f"$2" "$1" | sort -g | awk '{ v[NR] = $1 }
      END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
  }
  read -r pt_med pt_min pt_max < <(stats "$out/porome" 1)
  read -r bt_med bt_min bt_max < <(stats "$out/bare" 1)
  read -r pm_med pm_min pm_max < <(stats "$out/porome" 2)
  read -r bm_med bm_min bm_max < <(stats "$out/bare" 2)

  echo
  echo "ポロメ benchmark: $runs start(s) of each after $warmup warm-up, $problems problem(s) per level"
  echo
  printf '| %-38s | %9s | %9s | %9s |\n' "start-up to mapped window (ms)" median min max
  printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "-----------:" "-----------:" "-----------:"
  printf '| %-41s | %9.1f | %9.1f | %9.1f |\n' "porome (ポロメ)" "$pt_med" "$pt_min" "$pt_max"
  printf '| %-38s | %9.1f | %9.1f | %9.1f |\n' "bare Qt window 1017x749" "$bt_med" "$bt_min" "$bt_max"
  printf '| %-38s | %9s | %9s | %9s |\n' "ratio of medians" "$(awk -v a="$pt_med" -v b="$bt_med" 'BEGIN { printf "%.2f", a / b }')" "" ""
  echo
  printf '| %-38s | %9s | %9s | %9s |\n' "resident memory 1 s after map (MiB)" median min max
  printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "-----------:" "-----------:" "-----------:"
  mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
  printf '| %-41s | %9s | %9s | %9s |\n' "porome (ポロメ)" "$(mib "$pm_med")" "$(mib "$pm_min")" "$(mib "$pm_max")"
  printf '| %-38s | %9s | %9s | %9s |\n' "bare Qt window 1017x749" "$(mib "$bm_med")" "$(mib "$bm_min")" "$(mib "$bm_max")"
  printf '| %-38s | %9s | %9s | %9s |\n' "ratio of medians" "$(awk -v a="$pm_med" -v b="$bm_med" 'BEGIN { printf "%.2f", a / b }')" "" ""
  echo
  echo "Per level, over $problems problem(s) in slot 1 (ms on the wall clock, and p99 of the processor"
  echo "time of the program's thread; the pause after a mark is on a test clock):"
  echo
  QT_QPA_PLATFORM=offscreen "$dir/tools/bench/porome-bench" --problems "$problems" | awk '
    NR == 1 { print "| level | draw p50 | draw p99 | draw max | draw cpu p99 | check p50 | check p99 | check max | check cpu p99 |";
              print "|------:|---------:|---------:|---------:|-------------:|----------:|----------:|----------:|--------------:|"; next }
    { printf "| %5s | %8s | %8s | %8s | %12s | %9s | %9s | %9s | %13s |\n", $1, $2, $3, $4, $5, $6, $7, $8, $9;
      for (i = 2; i <= 9; i++) if ($i > worst[i]) worst[i] = $i }
    END { printf "| worst | %8.3f | %8.3f | %8.3f | %12.3f | %9.3f | %9.3f | %9.3f | %13.3f |\n",
          worst[2], worst[3], worst[4], worst[5], worst[6], worst[7], worst[8], worst[9] }'
  exit 0
fi

# --- building ---------------------------------------------------------------------------
ensure_packages "${POROME_BUILD_PACKAGES[@]}" xvfb xauth libxcb1-dev

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ "$dir" = build ] && [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build >/dev/null
else
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$buildtype" "${launcher[@]}" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" --target porome porome-bare-window porome-mapwait porome-bench

echo "machine: $(nproc) core(s), $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(free -h | awk '/^Mem:/ { print $2 }') memory"
exec xvfb-run -a -s '-screen 0 1280x1024x24 -nolisten tcp' \
  bash scripts/bench.sh --measure --inner "$runs" "$warmup" "$problems" "$dir"
