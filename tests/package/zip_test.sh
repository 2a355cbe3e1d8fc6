#!/usr/bin/env bash
# Checks the Windows zip as a technician unpacks it: one folder holding the programs,
# README.txt and LICENSE.txt, texts with CR LF line ends that say what the program is,
# how to start it, --port and where the log goes; and a program that runs from there.
#   zip_test.sh ZIP VERSION COPYRIGHT WORK PROGRAM...
# COPYRIGHT is data/copyright, the licence's text; WORK is emptied and used.
set -uo pipefail
export LC_ALL=C
zip="$1" version="$2" copyright="$3" work="$4"
shift 4
programs=("$@")
folder="splice-records-$version-win64"

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

rm -rf "$work"
mkdir -p "$work"
same "the files in $(basename "$zip")" \
  "$(printf "$folder/%s\n" "${programs[@]/%/.exe}" LICENSE.txt README.txt | sort)" "$(unzip -Z1 "$zip" | sort)"
unzip -q "$zip" -d "$work" || fail "unzip failed"
cd "$work/$folder" || exit 1

for text in README.txt LICENSE.txt; do
  # A line end without its CR, or a byte outside ASCII (Notepad would guess its encoding)
  grep -qv $'\r$' "$text" && fail "$text has lines that do not end in CR LF"
  LC_ALL=C grep -q $'[^\t\r -~]' "$text" && fail "$text has bytes outside printable ASCII"
done
same "LICENSE.txt against data/copyright" "$(cat "$copyright")" "$(tr -d '\r' < LICENSE.txt)"

# What the README must tell, each a fixed string.
readme="$(tr -d '\r' < README.txt)"
for phrase in "splice-records $version for Windows" "Start menu" "splice-records.exe --port COM3" "--help" \
              'C:\RECORD.txt' "RECORD.txt in your Documents folder" '%APPDATA%\splice-records' "LICENSE.txt"; do
  grep -qF -- "$phrase" <<<"$readme" || fail "README.txt does not say \"$phrase\""
done
# The report is named exactly when it is in the zip.
if [[ " ${programs[*]} " == *" splice-report "* ]]; then
  grep -qF "splice-report.exe" <<<"$readme" || fail "README.txt does not name splice-report.exe, which is in the zip"
else
  grep -qF "splice-report" <<<"$readme" && fail "README.txt names splice-report, which is not in the zip"
fi

for program in "${programs[@]}"; do
  reported="$(wine "./$program.exe" --version < /dev/null 2> /dev/null | tr -d '\r')"
  grep -qxF "$program $version" <<<"$reported" \
    || fail "$program.exe --version from the zip printed \"$reported\", not \"$program $version\""
done

passed "$(basename "$zip") unpacks into $folder with the programs, README.txt and LICENSE.txt"
