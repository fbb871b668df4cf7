#!/usr/bin/env bash
# The manual pages as man shows them: each renders with "man -l" without a
# single warning, carries the project's version, and lists every message that
# a failed file can give.
#
# usage: man_check.sh VERSION PAGE...
set -uo pipefail
version=$1
shift
messages=(
  'HTMLファイルではありません：' 'ファイルが開けません：' '無効なファイルサイズです：'
  'メモリの確保に失敗しました：' '文字コードの変換に失敗しました：'
  'HTML→テキスト変換に失敗しました：' 'ファイルの作成に失敗しました：'
)
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
failed=0
fail() {
  echo "FAILED $page: $1"
  failed=1
}
for page in "$@"; do
  shown=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$errors")
  [ $? -eq 0 ] || fail "man exited with an error"
  [ -s "$errors" ] && fail "warnings: $(cat "$errors")"
  grep -q "^kelvane $version  " <<<"$shown" || fail "no footer with kelvane $version"
  for message in "${messages[@]}"; do
    grep -qF "$message" <<<"$shown" || fail "does not list $message"
  done
  echo "$page: $(wc -l <<<"$shown") lines"
done
exit $failed
