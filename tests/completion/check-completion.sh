#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion, sourced into an interactive shell as the desktop's terminal does:
# registered for corvane, and completing commands, options, their values and files.
# Usage: check-completion.sh COMPLETION-FILE
set -u
completion=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/song one.mp3" "$work/mix.wav" "$work/-odd.wav"

# Prints what completing the words (the last one being completed) offers, sorted, one a line.
probe='
offer() {
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    COMPREPLY=(); _corvane corvane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "; echo
}
complete -p corvane
offer corvane jo
offer corvane join -r ""
offer corvane join -c ""
offer corvane join -b 1
offer corvane join --no
offer corvane join --crossfade-curve ""
offer corvane probe --h
cd "$1"
offer corvane join -y so
offer corvane join -- -
'
expected="complete -F _corvane corvane
join 
11025 192000 22050 44100 48000 8000 88200 96000 same 
1 2 same 
16 
--no-markers 
linear power 
--help 
song one.mp3 
-odd.wav "
status=0
for framework in none /usr/share/bash-completion/bash_completion; do
    [ "$framework" = none ] || [ -f "$framework" ] || continue
    load=""
    [ "$framework" = none ] || load="source '$framework';"
    got=$(bash --norc --noprofile -i -c "$load source '$completion'; $probe" _ "$work" 2>/dev/null)
    if [ "$got" != "$expected" ]; then
        echo "with bash-completion: $framework"
        diff <(echo "$expected") <(echo "$got")
        status=1
    fi
done
exit $status
