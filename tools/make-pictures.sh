#!/bin/sh
# Draws the window's background and logo into the given folder (default: the
# window's resources, src/ui/resources, whose JPEGs are this script's output).
# Needs ImageMagick 6 (/usr/bin/convert) and the DejaVu fonts.
set -eu
cd "${1:-$(dirname "$0")/../src/ui/resources}"
im=/usr/bin/convert

# Background: a calm blue-grey gradient with faint diagonal lines, light enough
# that black labels stay readable where the pages do not cover it.
$im -size 852x513 gradient:'#f4f7fb-#c9d6e6' -stroke '#e8eef6' -strokewidth 3 \
  -draw "line 0,513 513,0" -draw "line 120,513 633,0" -draw "line 240,513 753,0" \
  -draw "line 360,513 852,21" -draw "line 480,513 852,141" -draw "line 600,513 852,261" \
  -quality 88 background.jpg

# Logo: a sheet with a table on it, folded into an envelope, beside the name.
$im -size 200x56 xc:'#f2f5fa' \
  -fill '#2f5d8a' -stroke '#2f5d8a' -draw "roundrectangle 6,8 58,48 5,5" \
  -fill '#ffffff' -stroke none -draw "polygon 10,14 32,32 54,14 54,18 32,36 10,18" \
  -fill '#f2b134' -draw "rectangle 14,36 22,44" -draw "rectangle 26,30 34,44" -draw "rectangle 38,24 46,44" \
  -font DejaVu-Sans-Bold -pointsize 24 -fill '#2f5d8a' -annotate +66+38 'Vornetta' \
  -quality 92 logo.jpg
