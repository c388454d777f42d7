#!/usr/bin/env bash
# Checks the floors of src/layers.txt: every #include under src/ must name a
# header of its own folder or of a folder on a lower line, and no folder below
# the line of `widgets` may include a Qt Widgets header or link Qt6::Widgets.
# Prints each offending line and fails; prints nothing and passes otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

declare -A layer
floor=0
while read -r line; do
    line=${line%%#*}
    [[ -z ${line//[[:space:]]/} ]] && continue
    for folder in $line; do
        layer[$folder]=$floor
    done
    floor=$((floor + 1))
done < src/layers.txt

status=0
complain() {
    echo "$1" >&2
    status=1
}

for dir in src/*/; do
    folder=$(basename "$dir")
    [[ -n ${layer[$folder]+set} ]] || complain "src/$folder/ has no line in src/layers.txt"
done

# Camel-case class headers of Qt Widgets ("QLineEdit"), where Qt is installed.
declare -A widgetHeader
headers=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || true)
if [[ -d $headers/QtWidgets ]]; then
    for h in "$headers"/QtWidgets/Q*; do
        name=$(basename "$h")
        [[ $name == *.h ]] || widgetHeader[$name]=1
    done
else
    echo "check-layers: Qt Widgets headers not found; only folder includes are checked" >&2
fi
widgetsFloor=${layer[widgets]:-999}

while IFS=: read -r file lineno text; do
    folder=$(cut -d/ -f2 <<< "$file")
    [[ -n ${layer[$folder]+set} ]] || continue
    include=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<< "$text")
    target=${include%%/*}
    [[ $include == ../* ]] && target=$(cut -d/ -f2 <<< "$include")
    if [[ $include == */* && -n ${layer[$target]+set} && $target != "$folder" ]] &&
        ((layer[$target] >= layer[$folder])); then
        complain "$file:$lineno: $folder/ includes $include, from a folder on its own line or above"
    fi
    if ((layer[$folder] < widgetsFloor)); then
        base=${include##*/}
        if [[ $include == QtWidgets/* || -n ${widgetHeader[$base]+set} ]]; then
            complain "$file:$lineno: $folder/ is below widgets/ and includes the widget header $include"
        fi
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' src --include='*.h' --include='*.cpp')

for folder in "${!layer[@]}"; do
    cmake=src/$folder/CMakeLists.txt
    if ((layer[$folder] < widgetsFloor)) && [[ -f $cmake ]] && grep -q 'Qt6::Widgets\|WebEngineWidgets' "$cmake"; then
        complain "$cmake: $folder/ is below widgets/ and links a widgets module"
    fi
done

exit $status
