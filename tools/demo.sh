#!/usr/bin/env bash
# Runs the program on the bundled amphitheatre example in a scratch folder, draws the picture
# of its drawing, and says where the output files are and what the fit reached.
# Usage: tools/demo.sh PROGRAM OUTPUT_FOLDER
set -euo pipefail
program=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(realpath "$out")
cp "$here/examples/amphitheatre.dxf" "$out/"
cd "$out"
"$program" < "$here/examples/amphitheatre.answers" > console.txt
"$program" svg kelmar.dxf kelmar.svg > /dev/null
residual=$(tr -d '\r' < console.txt | sed -n 's/^Scarto  *//p' | tail -n 1)
echo
echo "kelmar fitted the three rings of examples/amphitheatre.dxf."
echo "  final residual (Scarto): $residual"
echo "  report:            $out/kelmar.txt"
echo "  coefficient file:  $out/kelmar.coe"
echo "  drawing:           $out/kelmar.dxf"
echo "  picture:           $out/kelmar.svg (open it in a web browser)"
echo "  console transcript: $out/console.txt"
