#!/usr/bin/env bash
# Runs every harness for SECONDS seconds in all (300 by default), each from a
# corpus seeded with the project's spreadsheet fixtures (a few addresses for
# the address resolver). Fails on the first crash, leak or budget overrun,
# leaving the input in BUILD/fuzz-artifacts.
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}
total=${2:-300}
root=$(cd "$(dirname "$0")/.." && pwd)
harnesses=(fuzz_compoundfile fuzz_xls fuzz_workbook_xls fuzz_workbook_xlsx fuzz_workbook_csv fuzz_workbook_ods
    fuzz_codepage fuzz_accessoutput fuzz_orders fuzz_tablefile fuzz_create fuzz_address)
# The Access reader only in builds that have it.
[ -x "$build/bin/kuaidi-access" ] && harnesses+=(fuzz_access)
each=$((total / ${#harnesses[@]}))
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
for harness in "${harnesses[@]}"; do
    corpus="$build/fuzz-corpus/$harness"
    mkdir -p "$corpus"
    case $harness in
        *xlsx) cp "$root"/tests/data/sheets/*.xlsx "$corpus"/ ;;
        *csv | *codepage | fuzz_create) cp "$root"/tests/data/sheets/*.csv "$corpus"/ ;;
        *ods) cp "$root"/tests/data/real/*.ods "$root"/tests/data/sheets/*.fods "$corpus"/ ;;
        *access) cp "$root"/tests/data/access/*.mdb "$corpus"/ ;;
        *accessoutput) cp "$root"/tests/data/access/frames/* "$corpus"/ ;;
        *orders)
            printf '订单号,收货地址,重量,运费,长,宽,高,发件时间\nA1,江苏南京,1.2kg,12,30,20,10,46054.5\n合计,,1.2,12\n' \
                >"$corpus"/seed.csv ;;
        *tablefile) printf '\x83a,b\xff1\xff=2' >"$corpus"/seed ;;
        fuzz_address)
            printf '%s' '江苏省南京市鼓楼区中山路1号' >"$corpus/address-1"
            printf '%s' '江苏 南京' >"$corpus/address-2"
            printf '%s' '吉林省吉林市' >"$corpus/address-3"
            printf '%s' '海南藏族自治州' >"$corpus/address-4"
            ;;
        *) cp "$root"/tests/data/sheets/*.xls "$corpus"/ ;;
    esac
    echo "== $harness: $each s"
    # 2 GB and 20 s an input are the budgets of any workbook.
    "$build/bin/$harness" "$corpus" -max_total_time="$each" -rss_limit_mb=2048 -timeout=20 \
        -max_len=262144 -print_final_stats=1 -artifact_prefix="$artifacts/$harness-" 2>&1 | tail -n 12
done
