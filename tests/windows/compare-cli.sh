#!/usr/bin/env bash
# compare-cli.sh WINE_RUN KUAIDI_CLI_EXE SOURCE_DIR LOCALE: kuaidi-cli.exe
# under Wine answers every command as the Linux kuaidi-cli does, byte for
# byte (output, messages, exit status, files written), on copies of one
# database; and a database kuaidi-cli.exe makes itself, in a Chinese folder,
# holds what the Linux one's holds. Wine takes the Windows code page from
# LOCALE: C.UTF-8 is an English Windows (1252), zh_CN.UTF-8 a Chinese one
# (936). Skipped (77) when no Linux kuaidi-cli is at hand, or the locale is
# not on this machine.
set -uo pipefail
wine_run=$1
windows_cli=$2
source_dir=$3
locale=$4
if ! locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf-\\?8}"; then
    echo "no locale $locale here (localedef -i ${locale%%.*} -f UTF-8 $locale): skipped"
    exit 77
fi
linux_cli=${KUAIDI_LINUX_CLI:-$source_dir/build/bin/kuaidi-cli}
if [ ! -x "$linux_cli" ]; then
    echo "no Linux kuaidi-cli at $linux_cli (set KUAIDI_LINUX_CLI): skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/linux" "$work/windows" "$work/运费数据"
samples=$source_dir/samples
failures=0

# The orders of a batch, in UTF-8 and in GBK (as Excel in China saves them).
cat >"$work/订单.csv" <<'ORDERS'
订单号,收货地址,重量,体积
A1,江苏省 南京市 鼓楼区 中山路1号,2.5,
A2,上海,0.8,
A3,浙江杭州,12,0.05
A4,北京市朝阳区,31,
A5,火星,1,
ORDERS
iconv -f UTF-8 -t GBK "$work/订单.csv" >"$work/订单-gbk.csv"

linux() { (cd "$work/linux" && LC_ALL=C.UTF-8 "$linux_cli" "$@"); }
windows() { (cd "$work/windows" && LC_ALL=$locale "$wine_run" "$windows_cli" "$@"); }

# compare NAME ARGS...: the command on both, each on its own copy of the
# database; {db} and {work} stand for the two programs' own paths.
compare() {
    local name=$1
    shift
    local l=() w=() a
    for a in "$@"; do
        l+=("${a//\{db\}/$work/linux/快递.db}")
        w+=("${a//\{db\}/Z:$work/windows/快递.db}")
    done
    l=("${l[@]//\{work\}/$work/linux}")
    w=("${w[@]//\{work\}/Z:$work/windows}")
    linux "${l[@]}" >"$work/l.out" 2>"$work/l.err"
    local ls=$?
    windows "${w[@]}" >"$work/w.out" 2>"$work/w.err"
    local ws=$?
    # Paths in messages are each program's own, with its own separators.
    tr '\\' / <"$work/w.err" | sed "s|Z:$work/windows|WORK|g" >"$work/w.err2"
    sed "s|$work/linux|WORK|g" "$work/l.err" >"$work/l.err2"
    mv "$work/w.err2" "$work/w.err"
    mv "$work/l.err2" "$work/l.err"
    if [ "$ls" != "$ws" ] || ! cmp -s "$work/l.out" "$work/w.out" || ! cmp -s "$work/l.err" "$work/w.err"; then
        echo "DIFFERS: $name (exit $ls on Linux, $ws under Wine)"
        diff <(cat "$work/l.out" "$work/l.err") <(cat "$work/w.out" "$work/w.err") | head -20
        failures=$((failures + 1))
    else
        echo "same: $name (exit $ls, $(wc -l <"$work/l.out") lines)"
    fi
}

# One database, made by the Linux program, copied for each.
linux --db "$work/linux/快递.db" create 圆通快递 "$samples/圆通快递.csv" >/dev/null
linux --db "$work/linux/快递.db" create 中通快递 "$samples/中通快递.csv" --fee-20-30 0.2 --contact "中通客服 95311" >/dev/null
cp "$work/linux/快递.db" "$work/windows/快递.db"

compare templates --db {db} templates
compare quote --db {db} quote 南京 2.5
compare "quote, a whole address, a star level, JSON" --db {db} quote "江苏省南京市鼓楼区中山路1号" 23.4 --level 二星客户 --json
compare "quote, volume" --db {db} quote 杭州 3 --volume 0.05
compare "quote, nowhere" --db {db} quote 火星 1
compare breakdown --db {db} breakdown 南京 2.5 --row 1
compare "breakdown, over 30 kg" --db {db} breakdown 北京 35 --row 2
compare rows --db {db} rows 圆通快递
compare "rows, JSON" --db {db} rows 中通快递 --json
compare "rows, no such template" --db {db} rows 申通快递
compare address address "广东省深圳市南山区科技园"
compare "address, nowhere" address "火星基地"
compare region region 南京
compare curve --db {db} curve 南京
compare "curve, JSON" --db {db} curve 北京 --step 5 --json
compare "batch to stdout" --db {db} batch "$work/订单.csv"
compare "batch to .csv" --db {db} batch "$work/订单.csv" --out "{work}/报价.csv"
compare "batch, GBK orders" --db {db} batch "$work/订单-gbk.csv"
compare "batch to .xlsx" --db {db} batch "$work/订单.csv" --out "{work}/报价.xlsx"
for file in 报价.csv; do
    if cmp -s "$work/linux/$file" "$work/windows/$file"; then
        echo "same: $file"
    else
        echo "DIFFERS: $file"
        failures=$((failures + 1))
    fi
done
# A workbook's zip differs in its time stamps: what it holds is compared.
compare "the .xlsx written, read back" read "{work}/报价.xlsx"
compare "sheets of the .xlsx written" sheets "{work}/报价.xlsx"

# A database kuaidi-cli.exe makes itself, in a Chinese folder.
LC_ALL=$locale "$wine_run" "$windows_cli" --db "Z:$work/运费数据/新库.db" create 圆通快递 "Z:$samples/圆通快递.csv" >/dev/null ||
    { echo "DIFFERS: kuaidi-cli.exe could not create a template in a Chinese folder"; failures=$((failures + 1)); }
linux --db "$work/运费数据/新库.db" rows 圆通快递 >"$work/made.out" 2>&1
linux --db "$work/linux/快递.db" rows 圆通快递 >"$work/expected.out" 2>&1
if cmp -s "$work/made.out" "$work/expected.out"; then
    echo "same: the rows of a template kuaidi-cli.exe created"
else
    echo "DIFFERS: the rows of a template kuaidi-cli.exe created"
    diff "$work/expected.out" "$work/made.out" | head -10
    failures=$((failures + 1))
fi

echo "$failures differences"
[ "$failures" -eq 0 ]
