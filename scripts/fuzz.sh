#!/bin/bash
# Fuzzes the text handling of files/text.cpp, built for Linux with clang, under
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer: each target of
# tests/fuzz for FUZZ_SECONDS (60) from its corpus. A finding fails the run;
# its input is left in build/fuzz (add it to tests/fuzz/corpus once fixed).
set -euo pipefail
top=$(readlink -f "$(dirname "$0")/..")
out=$top/build/fuzz
for target in wininit infnames; do
    mkdir -p "$out/$target.corpus"
    clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$top/tests/fuzz" \
        -I"$top" "$top/tests/fuzz/$target.cpp" "$top/files/text.cpp" -o "$out/$target"
    "$out/$target" -max_total_time="${FUZZ_SECONDS:-60}" -print_final_stats=1 -artifact_prefix="$out/$target-" \
        "$out/$target.corpus" "$top/tests/fuzz/corpus/$target" >"$out/$target.log" 2>&1 || { grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$out/$target.log"; exit 1; }
    echo "fuzz $target: $(grep -o 'number_of_executed_units: *[0-9]*' "$out/$target.log" | grep -o '[0-9]*$') inputs, no finding"
done
