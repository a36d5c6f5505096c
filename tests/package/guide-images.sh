#!/usr/bin/env bash
# The user's guide and the demo agree: every picture that docs/guide.md shows is one that
# `make demo` still makes (scripts/demo.sh --list-screenshots) and has its committed copy in
# docs/images, and every screenshot the demo makes is shown in the guide.
set -u
root=$(realpath "$(dirname "$(realpath "$0")")/../..")
guide=$root/docs/guide.md
made=$(bash "$root/scripts/demo.sh" --list-screenshots)
shown=$(grep -o '](images/[^)]*)' "$guide" | sed 's/^](images\///; s/)$//' | sort -u)
passed=0 failed=0
verdict() {  # verdict <ok?> <what>
  if [ "$1" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $2"; fi
}
[ -n "$made" ] && [ -n "$shown" ]; verdict $? "the demo lists screenshots and the guide shows pictures"
for name in $shown; do
  grep -qxF "$name" <<<"$made"; verdict $? "the guide shows $name, which the demo no longer makes"
  [ -s "$root/docs/images/$name" ]; verdict $? "docs/images/$name, shown by the guide, is not committed"
done
for name in $made; do
  grep -qxF "$name" <<<"$shown"; verdict $? "the demo makes $name, which the guide does not show"
done
echo "guide: $passed passed, $failed failed"
[ "$failed" = 0 ]
