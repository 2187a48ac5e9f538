#!/usr/bin/env bash
# Each folder of src/ includes only its own headers and those of the folders below it
# (the table here is the README's layer table). Prints every include that breaks it.
set -euo pipefail
src="${1:?usage: check_layers.sh SRC_DIR}"

declare -A may=(
  [platform]="platform"
  [link]="link platform"
  [protocol]="protocol link platform"
  [ui]="ui"
  [adjust]="adjust ui protocol link platform"
  [admin]="admin adjust ui protocol link platform"
  [interface]="interface ui protocol link platform"
  [switching]="switching admin adjust interface ui protocol link platform"
  [app]="app switching admin adjust interface ui protocol link platform"
  [client]="client protocol link platform"
  [ctl]="ctl client protocol link platform"
  [web]="web client protocol link platform"
  [mqtt]="mqtt protocol link platform"
  [hub]="hub mqtt web client protocol link platform"
)

bad=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  if [ -z "${may[$folder]+set}" ]; then
    [ -n "$(find "$dir" -maxdepth 1 \( -name '*.h' -o -name '*.cpp' \) -print -quit)" ] || continue
    echo "src/$folder: a folder the layer table does not name"
    bad=1
    continue
  fi
  while IFS=: read -r file _ target; do
    used="${target%%/*}"
    case " ${may[$folder]} " in
    *" $used "*) ;;
    *) echo "${file#"$src"/} includes $target ($folder may include: ${may[$folder]})"; bad=1 ;;
    esac
  done < <(grep -HnoE '^#include "[a-z_]+/[^"]+"' "$dir"*.h "$dir"*.cpp 2>/dev/null |
           sed -E 's/#include "([^"]+)"/\1/')
done
exit $bad
