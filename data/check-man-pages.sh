#!/usr/bin/env bash
# The man pages: Finnish headings and date, no warnings from groff, and the
# same kelvaro(1) whatever the builder's locale and zone.
#   data/check-man-pages.sh DATA_BUILD_DIR KELVARO CMAKE AWK VERSION DATE
set -uo pipefail
dir=$1 kelvaro=$2 cmake=$3 awk=$4 version=$5 date=$6
src=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
fail() {
  echo "$*" >&2
  fails=1
}

english='^\.S[HS] "?(NAME|SYNOPSIS|USAGE|DESCRIPTION|OPTIONS|EXIT STATUS|RETURN VALUE|ENVIRONMENT|FILES|NOTES|AUTHORS?|REPORTING BUGS|COPYRIGHT|SEE ALSO)"?$'
months='January|February|March|April|May|June|July|August|September|October|November|December'
for page in "$dir/kelvaro.1" "$dir/kelvarolaskuri.1"; do
  name=$(basename "$page")
  [ -s "$page" ] || { fail "$name: missing"; continue; }
  grep -Eq "$english" "$page" && fail "$name: English heading: $(grep -E "$english" "$page")"
  grep -E '^\.TH ' "$page" | grep -Eq "$months" && fail "$name: English date: $(grep '^\.TH' "$page")"
  for heading in NIMI KUVAUS 'KATSO MYÖS'; do
    grep -qx "\.SH $heading" "$page" || fail "$name: no heading $heading"
  done
  # As lintian reads them.
  warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$name: $warnings"
done
grep -qx '\.SH VALITSIMET' "$dir/kelvaro.1" || fail "kelvaro.1: no options"
grep -qx '\.SH PALUUARVO' "$dir/kelvaro.1" || fail "kelvaro.1: no exit status"

# Nothing of the help that changes with the locale reaches the page.
LC_ALL=C.UTF-8 "$kelvaro" --help >"$work/c"
LC_ALL=fi_FI.UTF-8 "$kelvaro" --help >"$work/fi"
diff "$work/c" "$work/fi" >"$work/diff"
[ -s "$work/diff" ] || fail "kelvaro --help is the same in every locale: check the check"
sed -n 's/^[<>] //p' "$work/diff" | while IFS= read -r line; do
  # The page escapes hyphens; compare the words only.
  words=$(printf '%s' "$line" | tr -c '[:alnum:]\n' ' ' | tr -s ' ')
  if sed 's/\\-/-/g' "$dir/kelvaro.1" | tr -c '[:alnum:]\n' ' ' | tr -s ' ' | grep -qF -- "$words"; then
    echo "kelvaro.1 holds a line that depends on the locale: $line" >&2
    exit 1
  fi
done || fails=1

# Made again under other locales and zones: the same bytes.
for env in "LC_ALL=fi_FI.UTF-8 TZ=Pacific/Kiritimati" "LC_ALL=C TZ=America/Anchorage LANG=de_DE.UTF-8"; do
  env $env "$cmake" -DKELVARO="$kelvaro" -DAWK="$awk" -DSCRIPT="$src/kelvaro-man.awk" \
    -DVERSION="$version" "-DDATE=$date" -DOUTPUT="$work/again.1" -P "$src/KelvaroMan.cmake" ||
    fail "could not make the page under $env"
  cmp -s "$work/again.1" "$dir/kelvaro.1" || fail "kelvaro.1 differs when made under $env"
done
exit $fails
