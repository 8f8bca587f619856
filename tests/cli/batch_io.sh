#!/usr/bin/env bash
# kelvaro --batch as a pipeline sees it: memory bounded whatever the line,
# JSON Lines and CSV valid UTF-8 whatever the bytes (read back by Python's own
# parsers), each row written as soon as it is valued, unreadable input named.
set -euo pipefail
kelvaro=$1
# The data limit below, unless the build is sanitized (its shadow memory
# cannot be mapped under one).
limit=${2:-131072}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
dates=(--valuation "2006-03-01 10:00" --jobs 2)

# A 3 MB line, a row, and 300 MB of NULs that never end their line, under a
# 128 MiB data limit that holding either line whole would break.
status=0
{ echo "expiry,share"; head -c 3000000 /dev/zero | tr '\0' x; echo; echo "2006-04-21,15"
  head -c 300000000 /dev/zero; } |
  (ulimit -d "$limit"; "$kelvaro" --batch - "${dates[@]}") >"$work/long" 2>"$work/err" || status=$?
[ "$status" -eq 5 ] || fail "long lines: exit $status, expected 5: $(cat "$work/err")"
[ "$(grep -o '^{"Line": [0-9]*, "Inputs": {[^}]*}, "Status": [0-9]*' "$work/long")" = \
  '{"Line": 2, "Inputs": {}, "Status": 2
{"Line": 3, "Inputs": {"expiry": "2006-04-21", "share": "15"}, "Status": 0
{"Line": 4, "Inputs": {}, "Status": 2' ] || fail "long lines: $(cut -c1-100 "$work/long")"

# Latin-1 bytes, a NUL, CRs and a tab in the fields; a header with such bytes.
printf 'expiry,share,strike\n2006-04-21,1\xe9,15\n2006-04-21,15,1\x005\n2006-04-21\r,15,"1\r5"\n2006-04-21,15,\t\xff\xc3\x7f\n\xef\xbb\xbf\n' >"$work/in.csv"
status=0
"$kelvaro" --batch "$work/in.csv" "${dates[@]}" >"$work/out.jsonl" || status=$?
[ "$status" -eq 5 ] || fail "bytes: exit $status"
"$kelvaro" --batch "$work/in.csv" "${dates[@]}" --batch-format csv >"$work/out.csv" || true
printf 'exp\xe9\x00\r\r\n' >"$work/header.csv"
status=0
"$kelvaro" --batch "$work/header.csv" 2>"$work/header.err" || status=$?
[ "$status" -eq 2 ] || fail "header: exit $status"
python3 - "$work/out.jsonl" "$work/out.csv" "$work/header.err" <<'PY' || fail "output not valid"
import csv, io, json, sys
jsonl, csvout, err = (open(p, "rb").read().decode("utf-8") for p in sys.argv[1:])
control = lambda text: any(ord(c) < 0x20 or 0x7F <= ord(c) < 0xA0 for c in text)
assert not control(jsonl.replace("\n", "")), jsonl  # escaped, not raw
rows = [json.loads(line) for line in jsonl.splitlines()]
assert [r["Line"] for r in rows] == [2, 3, 4, 5, 6], rows
assert rows[0]["Inputs"]["share"] == "1\ufffd", rows[0]
assert rows[1]["Inputs"]["strike"] == "1\x005" and "NUL" in rows[1]["Error"], rows[1]
assert rows[2]["Error"].endswith('"1\\x0D5"'), rows[2]
assert all(r["Status"] == 2 and not control(r["Error"]) for r in rows), rows
table = list(csv.reader(io.StringIO(csvout, newline="")))
assert len(table) == 6 and {len(r) for r in table} == {len(table[0])}, table
assert not any(control(cell.replace("\t", " ")) for r in table for cell in r), table
assert err.startswith('kelvaro: --batch: tuntematon sarake "exp\\xE9\\x00\\x0D" (') and \
    not control(err[:-1]) and err.endswith("\n"), repr(err)
PY

# A slow pipe: each row comes back before the next line is written.
coproc KELVARO { "$kelvaro" --batch - "${dates[@]}"; }
# Bash unsets KELVARO_PID once the coprocess is reaped, which may come first.
pid=$KELVARO_PID
printf 'expiry,share\n2006-04-21,15\n' >&"${KELVARO[1]}"
read -r -t 60 first <&"${KELVARO[0]}" || fail "no row 2 before line 3 was written"
printf '2006-04-21,16\n' >&"${KELVARO[1]}"
read -r -t 60 second <&"${KELVARO[0]}" || fail "no row 3 before the input ended"
in=${KELVARO[1]}
exec {in}>&-
wait "$pid" || fail "slow pipe: exit $?"
[[ $first == '{"Line": 2, '*'"Status": 0, '* && $second == '{"Line": 3, '*'"Status": 0, '* ]] ||
  fail "slow pipe: $first / $second"

# Standard input that cannot be read, named as such.
for how in closed folder; do
  status=0
  if [ $how = closed ]; then
    "$kelvaro" --batch - <&- 2>"$work/err" || status=$?
    text="kelvaro: vakiosyötettä ei voi lukea: se on suljettu"
  else
    "$kelvaro" --batch - <"$work" 2>"$work/err" || status=$?
    text="kelvaro: vakiosyötettä ei voi lukea: se on hakemisto"
  fi
  [ "$status" -eq 2 ] && [ "$(cat "$work/err")" = "$text" ] ||
    fail "stdin $how: exit $status: $(cat "$work/err")"
done
echo "batch I/O checks passed"
