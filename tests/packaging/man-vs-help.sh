#!/usr/bin/env bash
# Checks every program against its man page: `--version` prints one line and
# nothing else, `--help` prints nothing on standard error, every option (and
# every vantorctl subcommand with its options) that `--help` lists is named in
# the man page, and groff renders the page without a warning.
# Usage: man-vs-help.sh BIN_DIR MAN_DIR
set -uo pipefail
bin=$1
man=$2
programs=(vantor vantor-window vantorctl vantor-boardsim vantor-mqtt)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
command -v groff >/dev/null || { echo "groff is missing: run scripts/setup.sh"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Option names of a CLI11 help text: in the first column of the lines that
# start an option, "-c,--config TEXT" gives -c and --config.
help_options() {
    grep -E '^  +-' | sed -E 's/^ +//; s/  .*$//' | tr ',' '\n' | sed -E 's/^!//' |
        grep -oE '^--?[A-Za-z][A-Za-z0-9-]*' | sort -u
}
help_subcommands() {
    sed -n '/^Subcommands:/,/^$/p' | grep -oE '^  [a-z][a-z-]*' | tr -d ' '
}
# The rendered page as plain text, one paragraph a line (no hyphenation, no
# breaks inside an option name).
rendered() {
    groff -k -man -Tutf8 -rLL=400n -rHY=0 -P-c "$1" 2>/dev/null | col -b
}
mentions() {  # text word
    grep -qE -- "(^|[^A-Za-z0-9-])$2([^A-Za-z0-9-]|\$)" <<<"$1"
}

for prog in "${programs[@]}"; do
    page="$man/$prog.1"
    if [[ ! -f $page ]]; then
        fail "$prog: no man page $page"
        continue
    fi
    warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
    [[ -z $warnings ]] || fail "$prog.1: groff warns: $warnings"
    text=$(rendered "$page")

    "$bin/$prog" --version >"$work/out" 2>"$work/err"
    rc=$?
    ((rc == 0)) || fail "$prog --version: exit $rc"
    [[ -s $work/err ]] && fail "$prog --version wrote to stderr: $(head -c 300 "$work/err")"
    [[ $(wc -l <"$work/out") -eq 1 ]] || fail "$prog --version: not one line: $(head -c 300 "$work/out")"

    "$bin/$prog" --help >"$work/help" 2>"$work/err"
    rc=$?
    ((rc == 0)) || fail "$prog --help: exit $rc"
    [[ -s $work/err ]] && fail "$prog --help wrote to stderr: $(head -c 300 "$work/err")"
    for opt in $(help_options <"$work/help"); do
        mentions "$text" "$opt" || fail "$prog.1 does not mention $opt"
    done
    for sub in $(help_subcommands <"$work/help"); do
        mentions "$text" "$sub" || fail "$prog.1 does not mention the command $sub"
        "$bin/$prog" "$sub" --help >"$work/subhelp" 2>&1 || fail "$prog $sub --help failed"
        for opt in $(help_options <"$work/subhelp"); do
            mentions "$text" "$opt" || fail "$prog.1 does not mention $opt of $sub"
        done
    done
done
((failures == 0)) && echo "man pages match the programs"
exit $((failures > 0))
