#!/usr/bin/env bash
# Draws the carousel pictures the reference update service ships (400 x 300 each).
set -euo pipefail
out=${1:-$(dirname "$0")/update-service/content/images}
mkdir -p "$out"
font=DejaVu-Sans-Bold

picture() { # name, gradient, caption, subtitle, drawing
    convert -size 400x300 "gradient:$2" \
        -fill '#ffffff30' -stroke none -draw "$5" \
        -font "$font" -fill white -stroke '#00000060' -strokewidth 1 \
        -pointsize 34 -gravity north -annotate +0+40 "$3" \
        -stroke none -font DejaVu-Sans -pointsize 17 -gravity south -annotate +0+34 "$4" \
        -strip "PNG24:$out/$1"
}

picture 01_fast_cut.png '#1e3c72-#2a5298' "Fast cut" "Ctrl + Shift + 2: drag, release, done" \
    "rectangle 110,110 290,210 circle 290,210 298,218"
picture 02_normal_cut.png '#134e5e-#71b280' "Normal cut" "Ctrl + Shift + 4: select, click, save" \
    "roundrectangle 95,105 305,215 12,12 rectangle 120,185 180,205 rectangle 220,185 280,205"
picture 03_full_screen.png '#5f2c82-#49a09d' "Full screen" "Ctrl + Shift + 3: the whole screen at once" \
    "rectangle 80,95 320,200 rectangle 180,200 220,216 rectangle 150,216 250,224"
picture 04_tray.png '#cb356b-#bd3f32' "Always at hand" "Pelicrow waits in the notification area" \
    "circle 200,165 200,105 circle 200,165 200,140"
