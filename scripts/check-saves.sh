#!/usr/bin/env bash
# Tries kelvaro's saves where they used to go wrong (run as root, for the
# small tmpfs and the device nodes): a save that does not fit over a good
# file, two runs saving one path at once (six times), and the results file and
# the chart to a FIFO, to devices made here, through a link and into a loop.
#   scripts/check-saves.sh [path/to/kelvaro]
set -uo pipefail
K=$(realpath "${1:-$(dirname "$0")/../build/cli/kelvaro}")
V=(--valuation "2006-03-01 10:00")
work=$(mktemp -d)
trap 'umount "$work/small" 2>/dev/null; rm -rf "$work"' EXIT
# Qt's warning about a missing runtime folder would mix with the messages.
[ -n "${XDG_RUNTIME_DIR:-}" ] || { export XDG_RUNTIME_DIR=$work/runtime; mkdir -m 700 "$XDG_RUNTIME_DIR"; }

mkdir "$work/small" && mount -t tmpfs -o size=2m tmpfs "$work/small" || exit 1
"$K" "${V[@]}" --expiry 2006-04-21 --results "$work/small/good.tsv" >/dev/null; echo "good save: exit $?"
cp "$work/small/good.tsv" "$work/good.ref"
"$K" "${V[@]}" --expiry 2006-12-21 --results "$work/small/good.tsv" >/dev/null; echo "4 MB save on a 2 MB disk: exit $?"
cmp -s "$work/small/good.tsv" "$work/good.ref" && echo "old file intact" ||
  echo "old file DESTROYED ($(stat -c %s "$work/small/good.tsv") bytes)"
echo "left in the folder: $(ls -A "$work/small" | tr '\n' ' ')"
umount "$work/small"

# A chart that does not fit on a nearly full disk.
mount -t tmpfs -o size=1m tmpfs "$work/small" || exit 1
"$K" "${V[@]}" --expiry 2006-04-21 --chart "$work/small/chart.png" >/dev/null; echo "chart save: exit $?"
cp "$work/small/chart.png" "$work/chart.ref"
head -c $(( $(df -B1 --output=avail "$work/small" | tail -1) - 20000 )) /dev/zero >"$work/small/filler"
"$K" "${V[@]}" --expiry 2006-04-21 --chart "$work/small/chart.png" 2>&1 >/dev/null | sed 's/^/  /'
echo "chart save on a full disk: exit ${PIPESTATUS[0]}, old chart $(cmp -s "$work/small/chart.png" "$work/chart.ref" && echo intact || echo DESTROYED), left in the folder: $(ls -A "$work/small" | tr '\n' ' ')"
umount "$work/small"

# Names that are no plain file: each is written in place, followed or refused.
kind() { if [ -L "$1" ]; then echo "link to $(readlink "$1")"; elif [ -p "$1" ]; then echo FIFO;
  elif [ -c "$1" ]; then echo "character device $(stat -c '%t,%T' "$1")"; elif [ -f "$1" ]; then
  echo "regular file of $(stat -c %s "$1") bytes"; else echo "nothing"; fi; }
mkdir "$work/names" && cd "$work/names" || exit 1
"$K" "${V[@]}" --expiry 2006-04-21 --results regular.txt >/dev/null
"$K" "${V[@]}" --expiry 2006-04-21 --chart regular.png >/dev/null
mkfifo pipe.txt pipe.png
mknod null.txt c 1 3; mknod null.png c 1 3; mknod full.txt c 1 7; mknod full.png c 1 7
echo old >target.txt; echo old >target.png; ln -s target.txt link.txt; ln -s target.png link.png
ln -s loop.txt loop.txt; ln -s loop.png loop.png; ln -s missing.txt dangling.txt; ln -s missing.png dangling.png
for ext in txt png; do
  option=--results; [ $ext = png ] && option=--chart
  for name in pipe null full link loop dangling; do
    f=$name.$ext
    # Held open both ways, the FIFO lets reader and kelvaro open at once and
    # keeps the reader until let go: a replaced FIFO cannot hang this script.
    [ $name = pipe ] && { exec 4<>$f; cat $f 4>&- >received.$ext & reader=$!; }
    message=$("$K" "${V[@]}" --expiry 2006-04-21 $option $f 2>&1 >/dev/null); status=$?
    [ $name = pipe ] && { exec 4>&-; wait $reader; got=", the reader got $(stat -c %s received.$ext) bytes ($(cmp -s received.$ext regular.$ext && echo same as a file save || echo DIFFERENT))"; } || got=
    [ $name = link ] && got=", target.$ext: $(kind target.$ext)"
    echo "$option $f: exit $status${message:+ ($message)}, now a $(kind $f)$got"
  done
done
echo "--chart x.svg gives SVG: $("$K" "${V[@]}" --expiry 2006-04-21 --chart x.svg >/dev/null && head -c 5 x.svg)"
"$K" "${V[@]}" --expiry 2006-04-21 --chart x.jpg 2>&1 >/dev/null; echo "--chart x.jpg: exit $?"
if command -v strace >/dev/null; then
  echo "system calls of a results file save (fsync before rename):"
  strace -f -e trace=openat,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat -o strace.log \
    "$K" "${V[@]}" --expiry 2006-04-21 --results regular.txt >/dev/null
  grep -E 'regular|fsync|rename|O_DIRECTORY' strace.log | grep -v ENOENT | sed 's/^[0-9]* */  /'
fi
cd "$work" || exit 1

"$K" "${V[@]}" --expiry 2006-12-21 --results "$work/A.ref" >/dev/null
"$K" "${V[@]}" --expiry 2006-12-20 --volatility 35 --results "$work/B.ref" >/dev/null
for i in 1 2 3 4 5 6; do
  rm -f "$work/same.tsv"
  "$K" "${V[@]}" --expiry 2006-12-21 --results "$work/same.tsv" >/dev/null & a=$!
  "$K" "${V[@]}" --expiry 2006-12-20 --volatility 35 --results "$work/same.tsv" >/dev/null & b=$!
  wait $a; ea=$?; wait $b; eb=$?
  if cmp -s "$work/same.tsv" "$work/A.ref"; then r=A; elif cmp -s "$work/same.tsv" "$work/B.ref"; then r=B
  else r="MIXED ($(awk -F'\t' '{print NF}' "$work/same.tsv" | sort -n | uniq | sed -n '1p;$p' | tr '\n' ' ') fields a line)"; fi
  echo "try $i: exits $ea $eb, file = $r, other files: $(ls -A "$work" | grep -vcE '^(small|good.ref|chart.ref|names|runtime|A.ref|B.ref|same.tsv)$')"
done
