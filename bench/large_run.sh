#!/bin/sh
# large_run.sh: kelmar at laser-scan scale, in one run. Generates 10 rings of 100,000 points and
# times `kelmar guess` and `kelmar fit` (all its files) on them, with the peak memory of the fit
# in bytes a point; then `kelmar svg` on drawings of 2,000 and 4,000 rings of 10 points.
#
#   bench/large_run.sh BUILD_DIR [WORK_DIR]
# BUILD_DIR holds src/app/kelmar and tools/generate_ovals (configure with -DKELMAR_BUILD_TOOLS=ON).
set -eu
build=${1:?usage: large_run.sh BUILD_DIR [WORK_DIR]}
work=${2:-$(mktemp -d)}
kelmar=$build/src/app/kelmar
generate=$build/tools/generate_ovals
mkdir -p "$work"
cd "$work"

seconds() {  # runs the command, prints its wall seconds; its max RSS (kB) goes to rss.txt
    /usr/bin/time -f "%e %M" -o timing.txt "$@" >/dev/null 2>&1
    cut -d' ' -f2 timing.txt >rss.txt
    cut -d' ' -f1 timing.txt
}

"$generate" --curves 10 --points 100000 --output plan.dxf
guess=$(seconds "$kelmar" guess plan.dxf)
fit=$(seconds "$kelmar" fit plan.dxf --out fit)
rss=$(cat rss.txt)
echo "kelmar guess, 10 x 100000 points: $guess s"
echo "kelmar fit,   10 x 100000 points: $fit s, peak $rss kB" \
     "($(awk "BEGIN { printf \"%.0f\", $rss * 1024 / 1000000 }") bytes a point)," \
     "$(awk "BEGIN { printf \"%.2f\", $fit / $guess }") times guess"

for rings in 2000 4000; do
    "$generate" --curves $rings --points 10 --spacing $(awk "BEGIN { print 100 / $rings }") --output rings$rings.dxf
    "$kelmar" fit rings$rings.dxf --out rings$rings >/dev/null 2>&1
done
svg2000=$(seconds "$kelmar" svg rings2000/kelmar.dxf picture2000.svg)
svg4000=$(seconds "$kelmar" svg rings4000/kelmar.dxf picture4000.svg)
echo "kelmar svg, 2000 x 10 points: $svg2000 s; 4000 x 10 points: $svg4000 s," \
     "$(awk "BEGIN { printf \"%.2f\", $svg4000 / $svg2000 }") times"
