#!/usr/bin/env bash
# Draws resources/camera.png: a camera in front of a black-and-white sunburst.
set -euo pipefail
out=${1:-$(dirname "$0")/../resources/camera.png}
rays=""
for i in $(seq 0 2 23); do
    a1=$(echo "$i * 15 * 3.14159265 / 180" | bc -l)
    a2=$(echo "($i + 1) * 15 * 3.14159265 / 180" | bc -l)
    x1=$(printf '%.1f' "$(echo "100 + 160 * c($a1)" | bc -l)")
    y1=$(printf '%.1f' "$(echo "100 + 160 * s($a1)" | bc -l)")
    x2=$(printf '%.1f' "$(echo "100 + 160 * c($a2)" | bc -l)")
    y2=$(printf '%.1f' "$(echo "100 + 160 * s($a2)" | bc -l)")
    rays+="polygon 100,100 $x1,$y1 $x2,$y2 "
done
convert -size 200x200 xc:white \
    -fill black -draw "$rays" \
    -stroke '#222222' -strokewidth 4 -fill '#3b3f45' -draw "roundrectangle 70,52 112,72 6,6" \
    -fill '#4a4f57' -draw "roundrectangle 26,64 174,156 16,16" \
    -fill '#c9ccd1' -stroke '#222222' -draw "circle 100,110 100,66" \
    -fill '#1c2430' -draw "circle 100,110 100,78" \
    -fill '#2f5d8a' -stroke none -draw "circle 100,110 100,90" \
    -fill '#eaf2ff' -draw "circle 92,102 92,96" \
    -fill '#f2c14e' -stroke '#222222' -strokewidth 2 -draw "roundrectangle 142,74 162,86 3,3" \
    -fill '#e8e8e8' -draw "circle 44,80 44,74" \
    -strip "PNG32:$out"
