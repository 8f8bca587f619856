#!/usr/bin/env bash
# A refactor must not change what kelvaro prints: runs the same commands (the
# worked example, each product, figures, solver, scenario, refusals, a batch)
# with two binaries and compares stdout, stderr and exit status byte for byte.
# Usage: compare-kelvaro.sh OLD NEW
old=$(realpath "$1") new=$(realpath "$2")
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
v=(--valuation "2006-03-01 10:00")
cases=(
  "--expiry 2006-04-21 --json"
  "--expiry 2006-04-21 --type turbo-sg --side put --json"
  "--expiry 2006-04-21 --type turbo-shb --dividend 0,5 --dividend-date 2006-03-20 --json"
  "--expiry 2006-04-21 --share 15 --json"
  "--expiry 2006-04-21 --share 15"
  "--expiry 2006-04-21 --share 15 --price 1.2"
  "--expiry 2006-04-21 --share 15 --price 99"
  "--expiry 2006-04-21 --share 1000"
  "--expiry 2006-04-21 --check"
  "--expiry 2006-04-21 --value-at 16"
  "--expiry 2006-04-21 --scenario"
  "--expiry 2006-04-21 --scenario --scenario-prices 12,15.5,18 --scenario-dates 2006-03-01,2006-04-21 --json"
  "--expiry 2006-04-21 --scenario-dates 2006-03-04 --scenario"
  "--expiry 2006-04-22"
  "--expiry 2006-02-01"
  "--expiry 2006-04-21 --volatility 5000"
  "--expiry 2006-04-21 --volatility 0,0001"
  "--expiry 2006-04-21 --strike 0"
  "--expiry 2006-04-21 --strike abc"
  "--expiry 2006-04-21 --steps-per-day 2000000000"
  "--expiry 2006-04-21 --rate 2000"
  "--help"
  "--expiry 2006-04-21 --decimal-separator , --share 15"
)
fails=0
for c in "${cases[@]}"; do
  for b in old new; do
    bin=${!b}
    eval "args=($c)"
    (cd "$work" && LC_ALL=C.UTF-8 "$bin" "${v[@]}" "${args[@]}" >"$work/$b.out" 2>"$work/$b.err"; echo $? >"$work/$b.rc")
  done
  if cmp -s "$work/old.out" "$work/new.out" && cmp -s "$work/old.err" "$work/new.err" && cmp -s "$work/old.rc" "$work/new.rc"; then
    echo "same  $c"
  else
    echo "DIFF  $c"; fails=$((fails+1)); diff "$work/old.err" "$work/new.err" | head -5
  fi
done
printf 'expiry,share,price,type\n2006-04-21,15,1.2,normal\n2006-04-21,15,,turbo-sg\n2006-04-21,x,,normal\n2006-03-01,15,,normal\n' >"$work/list.csv"
for fmt in json csv; do
  "$old" --batch "$work/list.csv" "${v[@]}" --batch-format $fmt >"$work/old.b" 2>&1; echo $? >>"$work/old.b"
  "$new" --batch "$work/list.csv" "${v[@]}" --batch-format $fmt >"$work/new.b" 2>&1; echo $? >>"$work/new.b"
  if cmp -s "$work/old.b" "$work/new.b"; then echo "same  --batch ($fmt)"; else echo "DIFF  --batch ($fmt)"; fails=$((fails+1)); fi
done
echo "$fails differences"
