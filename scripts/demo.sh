#!/usr/bin/env bash
# Sets everything up and runs the program's main job: installs what is
# missing, builds, and starts the sandbox server the agent talks to.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
"$root/scripts/sandbox.sh" start
