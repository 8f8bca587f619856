#!/usr/bin/env bash
# Tries the results file save where it used to go wrong (run as root, for the
# small tmpfs): a save that does not fit over a good file, and two kelvaro
# runs saving one path at once, six times.
#   scripts/check-saves.sh [path/to/kelvaro]
set -uo pipefail
K=${1:-$(dirname "$0")/../build/cli/kelvaro}
V=(--valuation "2006-03-01 10:00")
work=$(mktemp -d)
trap 'umount "$work/small" 2>/dev/null; rm -rf "$work"' EXIT

mkdir "$work/small" && mount -t tmpfs -o size=2m tmpfs "$work/small" || exit 1
"$K" "${V[@]}" --expiry 2006-04-21 --results "$work/small/good.tsv" >/dev/null; echo "good save: exit $?"
cp "$work/small/good.tsv" "$work/good.ref"
"$K" "${V[@]}" --expiry 2006-12-21 --results "$work/small/good.tsv" >/dev/null; echo "4 MB save on a 2 MB disk: exit $?"
cmp -s "$work/small/good.tsv" "$work/good.ref" && echo "old file intact" ||
  echo "old file DESTROYED ($(stat -c %s "$work/small/good.tsv") bytes)"
echo "left in the folder: $(ls -A "$work/small" | tr '\n' ' ')"
umount "$work/small"

"$K" "${V[@]}" --expiry 2006-12-21 --results "$work/A.ref" >/dev/null
"$K" "${V[@]}" --expiry 2006-12-20 --volatility 35 --results "$work/B.ref" >/dev/null
for i in 1 2 3 4 5 6; do
  rm -f "$work/same.tsv"
  "$K" "${V[@]}" --expiry 2006-12-21 --results "$work/same.tsv" >/dev/null & a=$!
  "$K" "${V[@]}" --expiry 2006-12-20 --volatility 35 --results "$work/same.tsv" >/dev/null & b=$!
  wait $a; ea=$?; wait $b; eb=$?
  if cmp -s "$work/same.tsv" "$work/A.ref"; then r=A; elif cmp -s "$work/same.tsv" "$work/B.ref"; then r=B
  else r="MIXED ($(awk -F'\t' '{print NF}' "$work/same.tsv" | sort -n | uniq | sed -n '1p;$p' | tr '\n' ' ') fields a line)"; fi
  echo "try $i: exits $ea $eb, file = $r, other files: $(ls -A "$work" | grep -vcE '^(small|good.ref|A.ref|B.ref|same.tsv)$')"
done
