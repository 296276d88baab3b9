#!/usr/bin/env bash
# Checks that a built HostlensService exports exactly the twenty factory functions,
# by their undecorated names: `check-exports.sh libHostlensService.so` (nm) or
# `check-exports.sh HostlensService.dll` (objdump).
set -euo pipefail
library=$1
here=$(cd "$(dirname "$0")" && pwd)
expected=$(grep -E '^\s+(Get|Free)I' "$here/../frame/HostlensService.def" | tr -d ' \r' | sort)
case "$library" in
  *.dll)
    actual=$(${OBJDUMP:-objdump} -p "$library" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}' | sort) ;;
  *)
    actual=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort) ;;
esac
if [ "$actual" != "$expected" ]; then
  echo "$library exports differ from the twenty factory functions:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$library exports exactly the $(echo "$expected" | wc -l) factory functions"
