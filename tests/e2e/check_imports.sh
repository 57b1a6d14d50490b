#!/bin/bash
# The exe imports only DLLs that every Windows has and needs no MinGW runtime DLL; the DLLs it
# delay-loads are not among its imports (they are loaded at their first use, not at start);
# its only export is vexTraceProcess.
set -euo pipefail
exe="$1"
allowed=" kernel32.dll user32.dll gdi32.dll gdiplus.dll comctl32.dll uxtheme.dll shell32.dll comdlg32.dll
 advapi32.dll ole32.dll oleaut32.dll wininet.dll winhttp.dll ws2_32.dll secur32.dll crypt32.dll iphlpapi.dll version.dll
 psapi.dll setupapi.dll wtsapi32.dll msvcrt.dll "
allowed=" $(echo $allowed) " # one blank between names, also where a line ended
delayed=" secur32.dll crypt32.dll winhttp.dll iphlpapi.dll comdlg32.dll "
status=0
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "no import table read from $exe"; exit 1; }
for dll in $imports; do
    case "$delayed" in *" $dll "*) echo "loaded at start, not at its first use: $dll"; status=1; continue ;; esac
    case "$allowed" in
    *" $dll "*) echo "import: $dll" ;;
    *) echo "not a system DLL: $dll"; status=1 ;;
    esac
done
exports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[ *[0-9]*\] //p' | tr '\n' ' ')
[ "$exports" = "vexTraceProcess " ] || { echo "exports: ${exports:-none}, not vexTraceProcess alone"; status=1; }
i686-w64-mingw32-objdump -f "$exe" | grep -q 'file format pei-i386' || { echo "not a PE32 i386 image"; status=1; }
exit $status
