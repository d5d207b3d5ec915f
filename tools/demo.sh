#!/usr/bin/env bash
# Runs the program on the bundled amphitheatre example in a scratch folder, both ways: the
# dialogue from its answers file (with the picture of its drawing), and kelmar fit from the
# points alone into fit/. Says where the output files are and what each fit reached.
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
"$program" fit amphitheatre.dxf --out fit > fit-console.txt
residual=$(tr -d '\r' < console.txt | sed -n 's/^Scarto  *//p' | tail -n 1)
echo
echo "kelmar fitted the three rings of examples/amphitheatre.dxf."
echo "  final residual (Scarto): $residual"
echo "  report:            $out/kelmar.txt"
echo "  coefficient file:  $out/kelmar.coe"
echo "  drawing:           $out/kelmar.dxf"
echo "  picture:           $out/kelmar.svg (open it in a web browser)"
echo "  console transcript: $out/console.txt"
echo
echo "kelmar fit found the oval from the points alone:"
sed -n 's/^rms /  rms /p' fit-console.txt
echo "  its files:         $out/fit/ (kelmar.txt, .coe, .dxf, .json, .svg)"
echo "  its console:       $out/fit-console.txt"
