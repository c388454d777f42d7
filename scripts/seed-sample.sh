#!/usr/bin/env bash
# Gives a new build two sample courier templates, so that the calculator has
# something to show on its first start. An existing database is left alone.
set -euo pipefail
bin=${1:?usage: seed-sample.sh BIN_DIR [DATABASE]}
root=$(cd "$(dirname "$0")/.." && pwd)
db=${2:-"$bin/kuaidishuju.db"}
[ -e "$db" ] && exit 0
mkdir -p "$(dirname "$db")"
"$bin/kuaidi-cli" --db "$db" create 圆通快递 "$root/samples/圆通快递.csv" \
    --fee-20-30 0.5 --fee-30-50 0.8 --other-fee 1 --contact "圆通客服 95554" >/dev/null
"$bin/kuaidi-cli" --db "$db" create 中通快递 "$root/samples/中通快递.csv" \
    --fee-20-30 0.4 --fee-30-50 0.6 --other-fee 1.5 --contact "中通客服 95311" >/dev/null
echo "Sample templates written to $db"
