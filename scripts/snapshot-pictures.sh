#!/usr/bin/env bash
# Pictures of the renderer's tests, to check a change of the renderer picture by picture.
#
#   scripts/snapshot-pictures.sh write TEST_BINARY OUT_DIR [GTEST_FILTER]
#       runs every matching test in a process of its own with VANTREL_SNAPSHOT_DIR=OUT_DIR/<test>,
#       so each snapshot it takes lands in that folder, numbered in the order taken
#   scripts/snapshot-pictures.sh compare BEFORE_DIR AFTER_DIR
#       compares the two trees byte by byte and lists what differs or is missing on either side
set -euo pipefail

default_filter='*ScenePicture*:*Technique*:*FloorAndEnvironment*:*RenderContext*:*WindowSurface*:*ModelPicture*:*DimensionDisplay*:*Canvas*:*ArAdapter*:*ARMarker*'

write() {
    local binary=$1 out=$2 filter=${3:-$default_filter}
    mkdir -p "$out"
    local suite='' tests=()
    while IFS= read -r line; do
        if [[ $line != ' '* ]]; then
            suite=${line%%#*}; suite=${suite// /}
        else
            local name=${line#  }; name=${name%%#*}; name=${name// /}
            tests+=("$suite$name")
        fi
    done < <("$binary" --gtest_list_tests --gtest_filter="$filter")
    local failed=0
    for test in "${tests[@]}"; do
        local folder="$out/${test//\//_}"
        mkdir -p "$folder"
        if ! VANTREL_SNAPSHOT_DIR="$folder" "$binary" --gtest_filter="$test" >"$folder.log" 2>&1; then
            echo "FAILED $test (see $folder.log)"
            failed=$((failed + 1))
        fi
        rmdir --ignore-fail-on-non-empty "$folder"
    done
    echo "${#tests[@]} tests, $failed failed, $(find "$out" -name '*.png' | wc -l) pictures in $out"
}

compare() {
    local before=$1 after=$2 same=0 differ=0 missing=0 added=0
    while IFS= read -r file; do
        if [[ ! -f $after/$file ]]; then
            echo "missing after: $file"; missing=$((missing + 1))
        elif cmp -s "$before/$file" "$after/$file"; then
            same=$((same + 1))
        else
            echo "differs: $file"; differ=$((differ + 1))
        fi
    done < <(cd "$before" && find . -name '*.png' | sort)
    while IFS= read -r file; do
        [[ -f $before/$file ]] || { echo "new after: $file"; added=$((added + 1)); }
    done < <(cd "$after" && find . -name '*.png' | sort)
    echo "$same identical, $differ differ, $missing missing after, $added new after"
    [[ $differ -eq 0 && $missing -eq 0 && $added -eq 0 ]]
}

case ${1:-} in
    write) shift; write "$@" ;;
    compare) shift; compare "$@" ;;
    *) sed -n '2,10p' "$0"; exit 2 ;;
esac
