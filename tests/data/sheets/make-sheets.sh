#!/bin/sh
# Rebuilds the spreadsheet fixtures from 运费表.fods and 小表.fods with
# LibreOffice.
# Sheets of 运费表.fods: 1 运费, 2 模板, 3 空表, 4 杂项, 5 引号.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

soffice --headless --convert-to xls --outdir "$tmp" 运费表.fods >/dev/null 2>&1
soffice --headless --convert-to xlsx --outdir "$tmp" 运费表.fods >/dev/null 2>&1
soffice --headless --convert-to xls --outdir "$tmp" 小表.fods >/dev/null 2>&1
cp "$tmp/运费表.xls" "$tmp/运费表.xlsx" "$tmp/小表.xls" .

# CSV export of one sheet: comma, double quote, UTF-8 (76), sheet number
# last; LibreOffice names the output after the sheet.
csv() {
    soffice --headless --convert-to "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,$1" \
        --outdir "$tmp" 运费表.fods >/dev/null 2>&1
    mv "$tmp/运费表-$2.csv" "$3"
}
csv 1 运费 "$tmp/运费.csv"
csv 5 引号 引号.csv

cp "$tmp/运费.csv" 运费-utf8.csv
# As Excel on Windows saves "CSV UTF-8": a byte order mark and CRLF line ends.
{ printf '\357\273\277'; sed 's/$/\r/' "$tmp/运费.csv"; } > 运费-utf8bom.csv
# As Chinese Excel and WPS save plain "CSV": GBK with CRLF line ends.
sed 's/$/\r/' "$tmp/运费.csv" | iconv -f UTF-8 -t GBK > 运费-gbk.csv
