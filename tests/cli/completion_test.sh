#!/bin/bash
# Usage: completion_test.sh ZELIOCTL COMPLETION MAN_PAGE REFERENCE
# Every command the bash completion offers is one zelioctl knows and the
# man page describes, and it offers every command the usage lists; the
# reference's command table (REFERENCE, Markdown) lists the same commands.
# For each command, it offers the options its usage names, and no others.
set -u
zelioctl=$1 completion=$2 manpage=$3 reference=$4
source "$completion" || exit 1

COMP_WORDS=(zelioctl "")
COMP_CWORD=1
_zelioctl
commands=("${COMPREPLY[@]}")
status=0
[[ ${#commands[@]} -gt 0 ]] || { echo "the completion offers no commands"; exit 1; }
for command in "${commands[@]}"; do
    if ! "$zelioctl" help "$command" >/dev/null; then
        echo "zelioctl does not know '$command'"
        status=1
    fi
    if ! grep -Eq "^\.(B|BI|BR) \"?${command//-/\\\\-}( |\"|$)" "$manpage"; then
        echo "the man page does not describe '$command'"
        status=1
    fi
    COMP_WORDS=(zelioctl "$command" --)
    COMP_CWORD=2
    _zelioctl
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | grep -v -e '^--emulate' | sort -u)
    usage=$("$zelioctl" help "$command" | grep -E '^(usage:|       zelioctl)' | grep -Eo -- '--[a-z-]+' | sort -u)
    usage=$(printf '%s\n' $usage --debug --help --json --version | sort -u)
    [[ $offered == "$usage" ]] || { echo "$command: the completion offers" $offered "; its usage names" $usage; status=1; }
done
# The usage lists the same commands, each at the start of an indented line.
listed=$("$zelioctl" help | grep -Eo '^  [a-z][a-z-]+( |$)' | tr -d ' ' | sort -u)
offered=$(printf '%s\n' "${commands[@]}" | sort -u)
if [[ $listed != "$offered" ]]; then
    echo "the usage lists:" $listed
    echo "the completion offers:" $offered
    status=1
fi
documented=$(sed -n '/^## Commands/,/^## [^C]/p' "$reference" | grep -Eo '^\| `[a-z][a-z-]+' | cut -c4- | sort -u)
if [[ $documented != "$offered" ]]; then
    echo "$reference lists:" $documented
    echo "the completion offers:" $offered
    status=1
fi
exit $status
