#!/usr/bin/env bash
# Peak memory and time of the real program on route files made to hurt: each
# file just under or at the 64 MiB cap, read by `leverans rapport`. Most are
# refused; the last ones are read. Prints one line per file: peak resident
# memory, wall time, exit status and the start of the message.
#
#   bench/refuse_files.sh [LEVERANS]    (default: build-input/app/leverans)
#
# Goal: under 100 MiB and 1 s for every file. The files are made in a
# temporary folder and removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build-input/app/leverans}
[[ -x "$program" ]] || { echo "refuse_files.sh: $program is missing" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "refuse_files.sh: GNU time (/usr/bin/time) is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mib=$((1 << 20))
cap=$((64 * mib))

# Repeats standard input's bytes (one line, without its line end) to fill
# SIZE bytes.
fill() { tr -d '\n' | head -c "$1"; }
# SIZE bytes of one byte, given as an octal escape for tr.
bytes() { head -c "$2" /dev/zero | tr '\0' "$1"; }
# A line of N separators.
separators() { head -c "$1" /dev/zero | tr '\0' ';'; }

# In a subshell without pipefail: yes ends by the broken pipe, as it should.
make_files() (
    set +o pipefail
    bytes ';' $((63 * mib)) >"$work/semicolons-63.csv"
    bytes ';' "$cap" >"$work/semicolons-64.csv"
    # Lines of 99 separators.
    yes "$(separators 99)" | head -c "$cap" >"$work/semicolon-lines.csv"
    yes ';' | head -c "$cap" >"$work/semicolon-short-lines.csv"
    # One line of separators under a good header: a line as wide as the file.
    { printf 'Artikel;Lager;A\n108 Skivad J.F.;;1'; bytes ';' "$cap"; } |
        head -c "$cap" >"$work/wide-article.csv"
    { printf 'Artikel;Lager'; yes ';Butik Söder' | fill "$cap"; } |
        head -c "$cap" >"$work/header-names.csv"
    # 32,625 shops, each name 2 KiB long, and no article.
    local name
    name=$(head -c 2050 /dev/zero | tr '\0' 'x')
    { printf 'Artikel;Lager'; yes ";Butik $name" | fill "$cap"; } |
        head -c "$cap" >"$work/header-long-names.csv"
    { printf 'Artikel;Lager'; yes "$(printf ';K\366pm\344ngen')" | fill "$cap"; } |
        head -c "$cap" >"$work/header-names-1252.csv"
    bytes '\200' "$cap" >"$work/bytes-0x80.csv"
    # Lines padded to 2 KiB with empty cells, as a spreadsheet pads them to
    # its widest line.
    local padded
    padded="$(separators 2100)"
    # A good route in Windows-1252 but for a quote never closed at the end.
    { printf 'Artikel;Lager;A;B;C\n'; yes "$(printf 'R\345gbr\366d');;1;2;3$padded" | head -c $((cap - 100));
      printf '\n"x\n'; } >"$work/unclosed-quote-1252.csv"
    # UTF-8 throughout, one Windows-1252 byte in the last line.
    { printf 'Artikel;Lager;A;B;C\n'; yes "Rågbröd;;1;2;3$padded" | head -c $((cap - 100));
      printf '\nJ\344tterasker;;1\n'; } >"$work/utf8-bad-byte.csv"
    # Article lines of 100,000 cells each, all empty after the third shop.
    local line
    line="108 Skivad J.F.;;1;2;3$(separators 100000)"
    { printf 'Artikel;Lager;A;B;C\n'; yes "$line" | head -c $((cap - 100)); } >"$work/trailing-cells.csv"
    # The most articles there are, each name 100 four-byte characters, lines
    # padded to 2 KiB, and one article too many at the end.
    python3 - "$work/long-names-late-fault.csv" <<'EOF'
import sys
name = "\U0001F35E" * 100
with open(sys.argv[1], "w", encoding="utf-8") as f:
    f.write("Artikel;Lager;A\n")
    line = name + ";;1" + ";" * 1500 + "\n"
    for a in range(32767):
        f.write(line)
    f.write("x;;1\n")
EOF
    # The largest route there is (1,000,000 cells) with a 100-character
    # name in every cell of the header and the first column; and the same
    # with its lines padded to 2,000 bytes with empty cells (62 MiB).
    python3 - "$work/largest-route.csv" "$work/largest-route-padded.csv" <<'EOF'
import sys
shops, articles = 31, 32257
name = "x" * 90
header = "Artikel;Lager;" + ";".join(f"{name}{k:010d}" for k in range(shops)) + "\n"
orders = ";" + ";".join(["1"] * shops)
with open(sys.argv[1], "w", encoding="utf-8") as plain, open(sys.argv[2], "w", encoding="utf-8") as padded:
    plain.write(header)
    padded.write(header)
    for a in range(articles):
        line = f"{name}{a:010d}" + orders
        plain.write(line + "\n")
        padded.write(line + ";" * (1999 - len(line)) + "\n")
EOF
)

make_files
printf '%-26s %12s %8s %5s  %s\n' file "peak KiB" "s" exit message
for file in "$work"/*.csv; do
    set +e
    /usr/bin/time -o "$work/time" -f '%M %e' "$program" rapport "$file" >/dev/null 2>"$work/err"
    status=$?
    set -e
    # GNU time puts a line about a failed command's status first.
    read -r kib seconds < <(tail -n1 "$work/time")
    message=$(head -n1 "$work/err" | sed -e 's|^leverans: ||' -e "s|$work/||g")
    printf '%-26s %12s %8s %5s  %s\n' "$(basename "$file")" "$kib" "$seconds" "$status" "$message"
done
