#!/usr/bin/env bash
# What kelvane.exe carries, read from the file: GUI subsystem, no DLL beyond
# the system's, the version resource, and a manifest that asks for per-monitor
# DPI awareness, long paths and common controls 6 and leaves the ANSI code
# page alone.
#
# usage: check_exe.sh KELVANE.EXE OBJDUMP WINDRES
set -uo pipefail
exe=$1 objdump=$2 windres=$3
passed=0 failed=0
check() { # check NAME COMMAND...
  if "${@:2}" >/dev/null 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED $1"
  fi
}

headers=$("$objdump" -p "$exe")
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'a-z' 'A-Z' | sort -u)
echo "imports: $(tr '\n' ' ' <<<"$dlls")"
system_dlls_only() { ! grep -vxE 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|SHELL32.DLL|MSVCRT.DLL' <<<"$dlls"; }
check "imports only system DLLs" system_dlls_only
check "GUI subsystem" grep -q 'Subsystem.*(Windows GUI)' <<<"$headers"

resources=$("$windres" -i "$exe" -O rc)
check "version resource" grep -q 'VALUE "FileVersion", "[0-9]*\.[0-9]*\.[0-9]*"' <<<"$resources"
check "manifest: per-monitor DPI aware" grep -q 'PerMonitorV2' <<<"$resources"
check "manifest: long-path aware" grep -q 'longPathAware[^>]*>true<' <<<"$resources"
check "manifest: common controls 6" grep -q 'Microsoft.Windows.Common-Controls"" version=""6.0.0.0' <<<"$resources"
no_code_page() { ! grep -q '<activeCodePage' <<<"$resources"; }
check "manifest: ANSI code page left alone" no_code_page
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
