#!/usr/bin/env bash
# Reproduces the converted installation files from Debian's data packages
# (gmt, gmt-gshhg-low, ferret-datasets; python3-scipy for the netCDF files).
#
#   tools/convert/convert.sh FILE [OUT]   one file, into data/ or into OUT
#   tools/convert/convert.sh all          every file, into data/
#   tools/convert/convert.sh check        every file into a scratch folder,
#                                         compared with the committed ones
#
# FILE is one of: map.bln ALL_.bln out.grd QuadrHMS.txt QuadrMedClim.txt
# BlackSea_TS.txt Mediterranean_TS.txt.  The squares and the climatology are
# cut by the converted grid, so out.grd comes first.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(cd "$here/../../data" && pwd)
py=/usr/bin/python3   # Debian's python, which has scipy
files=(out.grd map.bln ALL_.bln QuadrHMS.txt QuadrMedClim.txt BlackSea_TS.txt Mediterranean_TS.txt)

target() {  # where a file lives in data/
  case "$1" in
    out.grd|map.bln) echo "Maps/$1" ;;
    ALL_.bln) echo "QCCont/$1" ;;
    QuadrHMS.txt|QuadrMedClim.txt) echo "Cfg/$1" ;;
    BlackSea_TS.txt|Mediterranean_TS.txt) echo "Clim/$1" ;;
    *) echo "convert: unknown file $1" >&2; exit 2 ;;
  esac
}

convert() {  # convert FILE OUT GRID
  local name=$1 out=$2 grid=$3
  mkdir -p "$(dirname "$out")"
  case "$name" in
    out.grd) "$py" "$here/grid.py" "$out" ;;
    map.bln) "$py" "$here/coastline.py" map "$out" ;;
    ALL_.bln) "$py" "$here/coastline.py" contour "$out" ;;
    QuadrHMS.txt) "$py" "$here/seas.py" squares-bs "$grid" "$out" ;;
    QuadrMedClim.txt) "$py" "$here/seas.py" squares-ms "$grid" "$out" ;;
    BlackSea_TS.txt) "$py" "$here/seas.py" clim-bs "$grid" "$out" ;;
    Mediterranean_TS.txt) "$py" "$here/seas.py" clim-ms "$grid" "$out" ;;
  esac
}

case "${1:-}" in
  all)
    for f in "${files[@]}"; do convert "$f" "$data/$(target "$f")" "$data/Maps/out.grd"; done ;;
  check)
    tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
    status=0
    for f in "${files[@]}"; do
      convert "$f" "$tmp/$(target "$f")" "$tmp/Maps/out.grd"
      if cmp -s "$tmp/$(target "$f")" "$data/$(target "$f")"; then
        echo "same: $(target "$f")"
      else
        echo "DIFFERS: $(target "$f")"; status=1
      fi
    done
    exit $status ;;
  "")
    sed -n '2,13p' "$0"; exit 2 ;;
  *)
    convert "$1" "${2:-$data/$(target "$1")}" "$data/Maps/out.grd" ;;
esac
