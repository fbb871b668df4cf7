#!/usr/bin/env bash
# kelvane.exe in command-line mode against the POSIX kelvane: the same pages,
# in every supported encoding and under names with blanks, Japanese letters
# and letters that code page 932 lacks, and one in a path of more than 300
# characters, must give byte-identical outputs, named one by one and through a
# wildcard, and kelvane.exe must exit with 0.
#
# usage: compare_with_posix.sh WINE KELVANE.EXE NATIVE-KELVANE DATA-DIR [SAMPLES-DIR]
set -euo pipefail
wine=$1 exe=$2 native=$3 data=$4 samples=${5:-}

if [ ! -x "$native" ]; then
  echo "no POSIX build at $native: run cmake --workflow --preset release first"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/posix" "$work/windows"

# One page in each encoding the detector knows, with and without marks.
page=$data/page.html
bom() { printf "$1"; cat; }
cp "$page" "$work/in/utf8 plain.html"
bom '\xEF\xBB\xBF' <"$page" >"$work/in/utf8 bom.html"
iconv -f UTF-8 -t UTF-16LE "$page" | bom '\xFF\xFE' >"$work/in/utf16le bom.html"
iconv -f UTF-8 -t UTF-16BE "$page" | bom '\xFE\xFF' >"$work/in/utf16be bom.html"
iconv -f UTF-8 -t UTF-16LE "$page" >"$work/in/utf16le plain.html"
iconv -f UTF-8 -t UTF-16BE "$page" >"$work/in/utf16be plain.html"
# UTF-16 of odd size: a stray last byte after the closing tag.
{ iconv -f UTF-8 -t UTF-16LE "$page"; printf 'x'; } >"$work/in/utf16le odd.html"
iconv -f UTF-8 -t CP932 "$page" >"$work/in/シフトJIS.htm"
iconv -f UTF-8 -t EUC-JP "$page" >"$work/in/euc-jp.HTML"
iconv -f UTF-8 -t ISO-2022-JP "$page" >"$work/in/iso-2022-jp.xhtml"
# Every character that code page 932 lacks but that has a near form.
cp "$data/near_forms.html" "$work/in/near forms utf8.html"
iconv -f UTF-8 -t UTF-16LE "$data/near_forms.html" >"$work/in/near forms utf16le.html"
if [ -n "$samples" ] && [ -d "$samples" ]; then
  for f in "$samples"/*; do
    case "$f" in *.htm | *.html | *.HTM | *.HTML | *.xht | *.xhtml) cp "$f" "$work/in/sample $(basename "$f")" ;; esac
  done
fi
# Pages of some megabytes, which both programs decode in two parts side by
# side, Shift-JIS apart; each must also give the Shift-JIS page's text.
awk '/<\/body>/ { inside = 0 } inside { body[++n] = $0 } /<body>/ { inside = 1 }
     END { for (i = 0; i < 4000; i++) for (j = 1; j <= n; j++) print body[j] }' "$page" >"$work/body"
{ sed -n '1,/<body>/p' "$page"; cat "$work/body"; sed -n '/<\/body>/,$p' "$page"; } >"$work/large"
cp "$work/large" "$work/in/large utf8.html"
iconv -f UTF-8 -t UTF-16LE "$work/large" >"$work/in/large utf16le.html"
iconv -f UTF-8 -t UTF-16BE "$work/large" | bom '\xFE\xFF' >"$work/in/large utf16be.html"
iconv -f UTF-8 -t CP932 "$work/large" >"$work/in/large sjis.html"
iconv -f UTF-8 -t EUC-JP "$work/large" >"$work/in/large euc-jp.html"
iconv -f UTF-8 -t ISO-2022-JP "$work/large" >"$work/in/large iso-2022-jp.html"
# Names that only Windows' UTF-16 interface can spell.
cp "$page" "$work/in/한국어ページ.html"
cp "$page" "$work/in/café ♡ メモ.html"
cp "$page" "$work/in/絵文字😀.htm"
mkdir "$work/wild"
cp "$work"/in/* "$work/posix/"
cp "$work"/in/* "$work/windows/"
cp "$work"/in/* "$work/wild/"

names=()
for f in "$work"/in/*; do names+=("$(basename "$f")"); done
flat=("${names[@]}")

# A path of more than 300 characters, in folders of Japanese names.
deep=
while [ "${#deep}" -le 300 ]; do deep+=$(printf '深%.0s' $(seq 60))/; done
mkdir -p "$work/posix/$deep" "$work/windows/$deep"
cp "$page" "$work/posix/${deep}長い.html"
cp "$page" "$work/windows/${deep}長い.html"
names+=("${deep}長い.html")

(cd "$work/posix" && "$native" "${names[@]}") || {
  echo "the POSIX build failed on the inputs"
  exit 1
}

# A failing file would wait on its message box: bound the run.
status=0
(cd "$work/windows" && timeout 120 "$wine" "$exe" "${names[@]}") || status=$?
passed=0 failed=0
if [ "$status" -ne 0 ]; then
  echo "kelvane.exe exited with $status"
  failed=$((failed + 1))
else
  passed=$((passed + 1))
fi

# The same pages again, through a wildcard that kelvane.exe expands itself.
wild_status=0
(cd "$work/wild" && timeout 120 "$wine" "$exe" '*') || wild_status=$?
if [ "$wild_status" -ne 0 ]; then
  echo "kelvane.exe with a wildcard exited with $wild_status"
  failed=$((failed + 1))
fi

# compare FOLDER NAME...: each output in FOLDER against the POSIX one.
compare() {
  local folder=$1 name out
  shift
  for name in "$@"; do
    out="${name%.*}.txt"
    if [ ! -f "$folder/$out" ]; then
      echo "missing from kelvane.exe: $folder/$out"
      failed=$((failed + 1))
    elif ! cmp "$work/posix/$out" "$folder/$out"; then
      failed=$((failed + 1))
    else
      passed=$((passed + 1))
    fi
  done
}
compare "$work/windows" "${names[@]}"
compare "$work/wild" "${flat[@]}"
for f in "$work"/windows/large*.txt; do
  if ! cmp "$work/windows/large sjis.txt" "$f"; then
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
