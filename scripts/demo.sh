#!/usr/bin/env bash
# The demo: both tools on emulated targets.
#   1. addrstamp on an emulated 32-bit ARM board with simulated NAND flash
#   2. hostpin.exe under Wine, against a sample registry and a stand-in for netsh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/demo-addrstamp.sh
echo
echo "=== hostpin on a Windows PC, emulated by Wine"
bash scripts/demo-hostpin.sh
