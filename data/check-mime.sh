#!/usr/bin/env bash
# The MIME type file builds a database in a scratch folder, and a document
# the calculator writes is known by its name and by its contents.
#   check-mime.sh MIME.xml DESKTOP-ENTRY
set -euo pipefail
xml=$1 desktop=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
xmllint --noout "$xml"
cp "$xml" "$work/mime/packages/"
# Warnings about the file go to standard error: any output fails.
out=$(XDG_DATA_DIRS="$work" XDG_DATA_HOME="$work" update-mime-database -V "$work/mime" 2>&1 >/dev/null | grep -v '^Updating\|^Writing\|^Processing\|^$' || true)
if [ -n "$out" ]; then
  echo "update-mime-database: $out" >&2
  exit 1
fi
grep -q '^[0-9]*:application/x-kelvarolaskuri:\*\.kelvaro$' "$work/mime/globs2" ||
  { echo "*.kelvaro is not application/x-kelvarolaskuri" >&2; exit 1; }
grep -q 'application/x-kelvarolaskuri' "$work/mime/magic" ||
  { echo "no contents rule for application/x-kelvarolaskuri" >&2; exit 1; }
grep -qx 'MimeType=application/x-kelvarolaskuri;' "$desktop" ||
  { echo "the desktop entry does not take the document type" >&2; exit 1; }
grep -q '^Exec=kelvarolaskuri %f$' "$desktop" ||
  { echo "the desktop entry does not pass the file" >&2; exit 1; }
