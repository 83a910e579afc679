#!/usr/bin/env bash
# Rewrites the golden outputs with the velotrix given (default build/velotrix). Run it
# only for a deliberate output change, and name that change in the commit.
set -euo pipefail
cd "$(dirname "$0")"
velotrix=${1:-../../build/velotrix}
declare -A sets=(
  [office-math]="--format office-math"
  [equation3]="--format equation3"
  [office-math-euclid]="--format office-math --euclid --no-force-unicode"
  [equation3-euclid]="--format equation3 --euclid --no-force-unicode"
)
for set in "${!sets[@]}"; do
  rm -rf "out/$set" && mkdir -p "out/$set"
  # shellcheck disable=SC2086
  "$velotrix" in/*.rtf --output-dir "out/$set" ${sets[$set]} --no-stats
done
