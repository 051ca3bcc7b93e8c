#!/usr/bin/env bash
# Every window text marked for translation has a finished English
# translation: lupdate run over the sources on a copy of the .ts file finds
# nothing new, nothing unfinished and nothing obsolete.
#   translation_test.sh LUPDATE APP-DIR
set -euo pipefail
lupdate=$1 app=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$app/translations/kelvarin_en.ts" "$work/kelvarin_en.ts"
"$lupdate" -silent -no-obsolete -locations none "$app/res/strings.h" -ts "$work/kelvarin_en.ts"
sources=$(grep -c "<source>" "$work/kelvarin_en.ts")
unfinished=$(grep -c 'type="unfinished"' "$work/kelvarin_en.ts" || true)
empty=$(grep -c '<translation></translation>' "$work/kelvarin_en.ts" || true)
echo "translation: $sources texts, $unfinished unfinished, $empty empty"
[ "$sources" -gt 0 ] && [ "$unfinished" -eq 0 ] && [ "$empty" -eq 0 ]
