#!/usr/bin/env bash
# Draws the main window's pictures into resources/:
#   drag_brennet1.png  397 x 300, the logo on a light grey patterned ground shown
#                      behind the carousel while it has no picture;
#   bt1-02.png         46 x 46, a grey left chevron on transparency (back button);
#   bt2-02.png         46 x 46, the same chevron pointing right (next button).
set -euo pipefail
dir=${1:-$(dirname "$0")/../resources}

# Ground: fine diagonal hatching in two light greys.
convert -size 397x300 pattern:left45 \
    +level-colors '#c9cbcf,#e4e5e8' \
    \( -size 397x300 radial-gradient:'#ffffff'-'#d0d2d6' \) -compose multiply -composite \
    -compose over \
    -fill '#f4f5f7' -stroke '#a9acb2' -strokewidth 2 -draw "roundrectangle 48,70 348,220 22,22" \
    -fill '#3b3f45' -stroke none -draw "circle 112,145 112,105" \
    -fill '#c9ccd1' -draw "circle 112,145 112,114" \
    -fill '#2f5d8a' -draw "circle 112,145 112,126" \
    -fill '#eaf2ff' -draw "circle 105,138 105,132" \
    -font DejaVu-Sans-Bold -pointsize 30 -fill '#3b3f45' -draw "text 168,150 'Pelicrow'" \
    -font DejaVu-Sans -pointsize 13 -fill '#6b6f76' -draw "text 170,176 'screen capture'" \
    -strip "PNG24:$dir/drag_brennet1.png"

round="stroke-linecap round stroke-linejoin round"
chevron() {
    convert -size 46x46 xc:none \
        -fill none -stroke '#85888d' -strokewidth 7 -draw "$round polyline $1" \
        -stroke '#aeb1b6' -strokewidth 3 -draw "$round polyline $1" \
        -strip "PNG32:$2"
}
chevron "27,12 16,23 27,34" "$dir/bt1-02.png"
chevron "19,12 30,23 19,34" "$dir/bt2-02.png"
