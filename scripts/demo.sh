#!/usr/bin/env bash
# The main job: installs what is missing and builds everything.
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"
build_all
