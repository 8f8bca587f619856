#!/usr/bin/env bash
# GNU parallel splits the CSV into blocks, each with the header, and keeps
# their order: the output must be the single process's, line for line, but
# for the line numbers, which restart in every block.
set -euo pipefail
kelvaro=$1 example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work # parallel keeps its settings there
# The example's rows several times over, so that there are several blocks.
{ head -n 1 "$example"; for i in 1 2 3 4 5; do tail -n +2 "$example"; done; } >"$work/in.csv"
status=0
"$kelvaro" --batch "$work/in.csv" >"$work/single" || status=$?
[ "$status" -eq 5 ] || { echo "single run: exit $status, expected 5"; exit 1; }
parallel --will-cite --pipe --keep-order --header 1 -j2 --block 600 \
  "$kelvaro" --batch - <"$work/in.csv" >"$work/split" || true
blocks=$(grep -c '^{"Line": 2,' "$work/split")
[ "$blocks" -gt 1 ] || { echo "parallel made $blocks block(s)"; exit 1; }
strip() { sed 's/^{"Line": [0-9]*, /{/' "$1"; }
diff <(strip "$work/single") <(strip "$work/split")
[ "$(wc -l <"$work/single")" -eq 40 ]
