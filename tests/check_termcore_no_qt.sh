#!/usr/bin/env bash
# Fails when a file of the terminal engine (core or emulator) includes a Qt header.
set -euo pipefail
root="$1"
if hits=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]|qt)' \
            "$root/core" "$root/emulator" 2>/dev/null); then
  echo "the terminal engine must not include Qt headers:"
  echo "$hits"
  exit 1
fi
echo "termcore includes no Qt header"
