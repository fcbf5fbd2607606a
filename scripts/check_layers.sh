#!/usr/bin/env bash
# Fails when an #include between folders runs against the layering: an
# include points down or stays in its folder, and folders on the same layer
# never include each other. Only the window program (ui/) includes Qt.
#
#   bash scripts/check_layers.sh [ROOT]
#
# The table below is the picture of the layers; change it only together with
# the architecture it describes.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# Folder: the folders it may include besides its own.
declare -A allowed=(
  [util]=""
  [platform]="util"
  [platform/posix]="platform util"
  [platform/sim]="platform util"
  [text]="util"
  [record]="text util"
  [link]="record platform util"
  [log]="record platform text util"
  [asdu]="record text util"
  [send]="link log asdu record platform text util"
  [app]="send link log asdu record platform text util"
  [cli]="cli app send link log asdu record platform platform/posix platform/sim text util"
  [ui]="ui app send link log asdu record platform platform/posix text util"
)

# The folder a file or an include path belongs to.
folder_of() {
  local path=$1
  path=${path#src/}
  case $path in
    platform/posix/*) echo platform/posix ;;
    platform/sim/*) echo platform/sim ;;
    */*) echo "${path%%/*}" ;;
    *) echo "" ;;
  esac
}

failures=0
while IFS= read -r file; do
  from=$(folder_of "$file")
  if [[ -z ${allowed[$from]+set} ]]; then
    echo "$file: folder '$from' has no place in the layer table"
    failures=$((failures + 1))
    continue
  fi
  while IFS= read -r line; do
    if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<Q ]] && [[ $from != ui ]]; then
      echo "$file: includes Qt outside ui/: $line"
      failures=$((failures + 1))
      continue
    fi
    [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
    target=$(folder_of "${BASH_REMATCH[1]}")
    [[ -z $target || $target == "$from" ]] && continue
    if [[ " ${allowed[$from]} " != *" $target "* ]]; then
      echo "$file: includes ${BASH_REMATCH[1]} ($from may not include $target)"
      failures=$((failures + 1))
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find src cli ui -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if ((failures > 0)); then
  echo "layer check: $failures include(s) against the layering"
  exit 1
fi
echo "layer check: every include follows the layers"
