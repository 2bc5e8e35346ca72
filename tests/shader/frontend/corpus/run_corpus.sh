#!/bin/sh
# Field test: runs `kiln check` over every shader of the shared corpus with
# the settings its host engine supplies (host_settings.tsv), prints how many
# pass, and compares the failures with known_failures.tsv.
# usage: run_corpus.sh [KILN] [CORPUS_DIR]
here=$(cd "$(dirname "$0")" && pwd)
kiln=${1:-$here/../../../../build/release/tools/kiln}
corpus=${2:-/work/shared/corpus/hlsl}
[ -x "$kiln" ] || { echo "run_corpus.sh: no kiln at $kiln" >&2; exit 2; }
[ -f "$corpus/MANIFEST.tsv" ] || { echo "run_corpus.sh: no corpus at $corpus" >&2; exit 2; }

failed=$(mktemp)
total=0
passed=0
manifest=$(mktemp)
tail -n +2 "$corpus/MANIFEST.tsv" | cut -f1 > "$manifest"
while IFS= read -r path; do
    total=$((total + 1))
    file="$corpus/$path"
    options=$(awk -F '\t' -v p="$path" '!/^#/ && index(p, $1) == 1 { print $2 }' "$here/host_settings.tsv")
    dir=$(dirname "$file")
    # Options hold no blanks; {dir} is passed as one argument after splitting.
    set -- $options
    for word; do shift; set -- "$@" "$(printf '%s' "$word" | sed "s|{dir}|$dir|")"; done
    if "$kiln" check "$file" "$@" >/dev/null 2>&1; then
        passed=$((passed + 1))
    else
        echo "$path" >> "$failed"
    fi
done < "$manifest"
rm -f "$manifest"
echo "corpus: $passed of $total files pass"

status=0
known=$(mktemp)
grep -v '^#' "$here/known_failures.tsv" | cut -f1 | sort > "$known"
sort -o "$failed" "$failed"
comm -23 "$failed" "$known" | sed 's/^/new failure: /'
comm -13 "$failed" "$known" | sed 's/^/listed but passes: /'
[ -z "$(comm -3 "$failed" "$known")" ] || status=1
rm -f "$failed" "$known"
exit $status
