#!/usr/bin/env bash
# The committed report-format reference must be what orvik-format-doc writes from the template and
# the schema now: a property, type, caption or default changed without regenerating the page fails
# here, with the command that brings the page up to date.
#   format_doc_current.sh <orvik-format-doc> <source folder>
set -u
tool="$1"
source_dir="$2"
committed="$source_dir/docs/report-format.md"
written=$(mktemp)
trap 'rm -f "$written"' EXIT

if ! "$tool" --template "$source_dir/docs/report-format.md.in" --output "$written"; then
  echo "FAIL: orvik-format-doc could not write the page (see above)"
  exit 1
fi
if [ ! -f "$committed" ]; then
  echo "FAIL: docs/report-format.md is missing; write it with:"
  echo "  $tool > $committed"
  exit 1
fi
if ! diff -u "$committed" "$written"; then
  echo "FAIL: docs/report-format.md is not what the schema and docs/report-format.md.in give now"
  echo "(diff above: - committed, + generated). Regenerate it with:"
  echo "  $tool > $committed"
  echo "that is, from the source folder: build/bin/orvik-format-doc > docs/report-format.md"
  exit 1
fi
