#!/usr/bin/env bash
# Installs with apt-get the Debian packages that building kelmar, running its demo and running
# every test need, when one or more are missing; does nothing when all are there.
# Runs apt-get as root, or through sudo for another user.
# Usage: tools/install-deps.sh [--fuzz]   (--fuzz adds clang with libFuzzer, for fuzz/run.sh)
set -euo pipefail

packages=(
  g++ cmake make
  libcli11-dev                       # the command line
  libceres-dev libeigen3-dev         # the least-squares solver of kelmar fit
  nlohmann-json3-dev                 # kelmar.json
  libgdal-dev gdal-bin               # plans in the formats GDAL reads; ogrinfo for the tests
  libgtest-dev libbenchmark-dev      # the tests and the benchmarks
  python3-ezdxf librsvg2-bin libxml2-utils  # the tests' independent DXF reader, SVG renderer and checker
)
case "${1:-}" in
  "") ;;
  --fuzz) packages+=(clang libclang-rt-14-dev) ;;
  *) echo "install-deps.sh: unknown option '$1' (the one option is --fuzz)" >&2; exit 64 ;;
esac

# One query for all: a package missing from dpkg's database is not listed at all.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for package in "${packages[@]}"; do
  grep -qx "$package installed" <<<"$installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "install-deps.sh: missing ${missing[*]}, and neither root nor sudo can install them" >&2
  exit 77
fi
echo "install-deps.sh: installing ${missing[*]}" >&2
# Without fresh package lists the ones at hand may still do.
"${as_root[@]}" apt-get update -qq || echo "install-deps.sh: apt-get update failed; trying with the package lists at hand" >&2
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
