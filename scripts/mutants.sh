#!/usr/bin/env bash
# Puts plausible mistakes into the code one at a time and runs the tests that should catch each:
# a developer's check of the tests, not part of CI. Each mistake is a block of scripts/mutants.txt:
#
#   @ ID FILE TEST...      the file to change and the ctest names (also build targets) to run
#   - TEXT                 text that occurs exactly once in FILE (blanks around it ignored)
#   + TEXT                 what takes its place (nothing: the text is dropped)
#
# A mistake is KILLED when a test fails, SURVIVED when all pass, STALE when its text is no longer
# found once (the code moved on: update the block), NOBUILD when it does not compile. The file is
# put back after each one, and on any exit. Needs a configured build tree (build/, or
# VANTOR_BUILD_DIR) and a clean state of the files the list changes.
# Usage: scripts/mutants.sh [--check] [LIST] [ID...]   (LIST defaults to scripts/mutants.txt)
# --check only tells whether each block still applies, without building.
set -uo pipefail
cd "$(dirname "$0")/.."
check=false
if [ "${1:-}" = --check ]; then
    check=true
    shift
fi
list=scripts/mutants.txt
if [ $# -gt 0 ] && [ -f "$1" ]; then
    list=$1
    shift
fi
only=" $* "
build=${VANTOR_BUILD_DIR:-build}
log="$build/mutants.log"
: > "$log"

backup=""
target=""
restore() {
    if [ -n "$backup" ]; then
        # Written anew, not copied with its time: the build must see the file change back.
        cat "$backup" > "$target"
        rm -f "$backup"
        backup=""
    fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

# Replaces the one occurrence of $2 in file $1 by $3; prints how often $2 occurred.
apply() {
    OLD=$2 NEW=$3 perl -e '
        local $/; my $s = <STDIN>; my $old = $ENV{OLD}; my $n = () = $s =~ /\Q$old\E/g;
        print STDERR "$n\n"; $s =~ s/\Q$old\E/$ENV{NEW}/ if $n == 1; print $s;
    ' < "$1" > "$1.mutant" 2> "$1.count"
    cat "$1.count"
    if [ "$(cat "$1.count")" = 1 ]; then mv "$1.mutant" "$1"; else rm -f "$1.mutant"; fi
    rm -f "$1.count"
}

killed=0 survived=0 other=0
run_one() {
    local id=$1 file=$2 old=$3 new=$4
    shift 4
    local tests=("$@")
    if [ "$only" != "  " ] && [[ "$only" != *" $id "* ]]; then
        return
    fi
    if ! git diff --quiet -- "$file"; then
        echo "$id SKIPPED: $file has uncommitted changes" | tee -a "$log"
        other=$((other + 1))
        return
    fi
    target=$file
    backup=$(mktemp)
    cp "$file" "$backup"
    local status
    if [ "$(apply "$file" "$old" "$new")" != 1 ]; then
        status=STALE
    elif $check; then
        status=APPLIES
    elif ! cmake --build "$build" --target "${tests[@]}" -- -j2 > "$build/mutant-build.log" 2>&1; then
        status=NOBUILD
    else
        local regex
        regex="^($(IFS='|'; echo "${tests[*]}"))\$"
        if ctest --test-dir "$build" -R "$regex" --timeout 300 --stop-on-failure \
            > "$build/mutant-test.log" 2>&1; then
            status=SURVIVED
        else
            status=KILLED
        fi
    fi
    restore
    case $status in
    KILLED) killed=$((killed + 1)) ;;
    SURVIVED) survived=$((survived + 1)) ;;
    *) other=$((other + 1)) ;;
    esac
    echo "$id $status" | tee -a "$log"
}

id="" file="" old="" new="" tests=()
flush() {
    [ -n "$id" ] && run_one "$id" "$file" "$old" "$new" "${tests[@]}"
    id="" file="" old="" new="" tests=()
}
while IFS= read -r line || [ -n "$line" ]; do
    case $line in
    '@ '*)
        flush
        read -r _ id file rest <<< "$line"
        read -r -a tests <<< "$rest"
        ;;
    '- '*) old=$(sed 's/^- *//; s/ *$//' <<< "$line") ;;
    '-') old="" ;;
    '+ '*) new=$(sed 's/^+ *//; s/ *$//' <<< "$line") ;;
    '+') new="" ;;
    esac
done < "$list"
flush

# The build tree back in step with the sources.
$check || cmake --build "$build" -- -j2 > "$build/mutant-build.log" 2>&1 || echo "the final rebuild failed"
total=$((killed + survived))
echo "killed $killed of $total ($(( total ? killed * 100 / total : 0 ))%), $other not run; $log" | tee -a "$log"
