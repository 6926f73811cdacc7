#!/usr/bin/env bash
# Runs one fuzz target over its committed seed corpus and then for a fixed number of further inputs,
# from a fixed seed, so a run is repeatable. New inputs go to a throwaway folder, never into the
# committed corpus. Usage: run_fuzz_target.sh <target> <seed corpus> <runs>
set -euo pipefail
target=$1 corpus=$2 runs=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
exec "$target" -seed=1 -runs="$runs" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch" "$corpus"
