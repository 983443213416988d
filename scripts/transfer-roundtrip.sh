#!/bin/sh
# Round trip through vaultleaf-cli of a mixed tree of 4,000 files (empty, binary,
# text, read-only, old times; spaces and Chinese names; empty folders): the export
# must equal the source in bytes, names, modes and times (to the stored 100 ns).
# Run by hand: scripts/transfer-roundtrip.sh
set -e
C="${VAULTLEAF_CLI:-$(dirname "$0")/../build/src/cli/vaultleaf-cli}"; C=$(realpath "$C")
R=$(mktemp -d); trap 'chmod -R u+w "$R"; rm -rf "$R"' EXIT; mkdir -p $R/src; cd $R
echo pw > pw
i=0
while [ $i -lt 40 ]; do
  d="src/目录 $i/sub dir $((i % 7))"; mkdir -p "$d" "src/空 $i"
  j=0
  while [ $j -lt 100 ]; do
    case $((j % 5)) in
      0) : > "$d/empty $j" ;;
      1) head -c $((j * 37)) /dev/urandom > "$d/binary $j.bin" ;;
      2) seq 1 $j > "$d/文本 $j.txt" ;;
      3) printf 'ro %s' $j > "$d/readonly $j"; chmod 444 "$d/readonly $j" ;;
      4) printf 'old %s' $j > "$d/old $j.dat"; touch -d "1999-0$((j % 9 + 1))-1$((j % 9)) 12:34:56.1234567" "$d/old $j.dat" ;;
    esac
    j=$((j + 1))
  done
  i=$((i + 1))
done
echo "files: $(find src -type f | wc -l), folders: $(find src -type d | wc -l)"
$C create t.vldb --new-password-file pw
$C add t.vldb 0 0 top --password-file pw > /dev/null
$C import t.vldb 1 src --password-file pw
$C check t.vldb --password-file pw && echo check-ok
$C export t.vldb 1 out --keep-empty-dirs --password-file pw
diff -r src out/top && echo bytes-same
(cd src && { find . -type f -printf '%p %m %TY-%Tm-%Td %TT\n'; find . -type d; } | sort) > a.txt
(cd out/top && { find . -type f -printf '%p %m %TY-%Tm-%Td %TT\n'; find . -type d; } | sort) > b.txt
# Times are stored in 100 ns steps.
sed -E 's/(\.[0-9]{7})[0-9]*$/\1/' -i a.txt b.txt
diff a.txt b.txt && echo names-modes-times-same
