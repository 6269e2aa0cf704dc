#!/bin/sh
# Draws the banner shown at the top of the main window (bitmap 106):
# a small module picture, the title in dark red italics and the two
# Korean words for "setting" and "change".
#
# Needs ImageMagick (convert) and the Nanum fonts (fonts-nanum).
# Usage: scripts/make_banner.sh [output.bmp]   (default resources/banner.bmp)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$(dirname "$here")/resources/banner.bmp"}

font_file() {
    # fc-match falls back to any font; insist on a Nanum one.
    f=$(fc-match -f '%{file}' "$1")
    case "$f" in
        */nanum/*|*/Nanum*) printf '%s\n' "$f" ;;
        *) echo "make_banner: font '$1' not found (install fonts-nanum)" >&2; exit 1 ;;
    esac
}

title_font=$(font_file 'NanumGothic:bold')
word_font=$(font_file 'NanumGothic:bold')

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

W=377
H=42
red='#8b1010'

# Title: the Nanum fonts have no italic face, so slant the upright bold
# glyphs with a shear (top leans right) on a transparent layer.
convert -background none -fill "$red" -font "$title_font" -pointsize 23 \
    label:'USB Output Module' \
    -virtual-pixel transparent -background none \
    -distort AffineProjection '1,0,-0.22,1,0,0' +repage \
    "$tmp/title.png"

# The two words, each on a small rounded tag.
word_tag() {
    convert -size 40x20 xc:none \
        -fill "$2" -stroke '#31435a' -strokewidth 1 \
        -draw 'roundrectangle 0.5,0.5 39.5,19.5 4,4' \
        -stroke none -fill white -font "$word_font" -pointsize 13 \
        -gravity center -annotate +0+1 "$1" \
        "$tmp/$3.png"
}
word_tag '설정' '#3c6e9e' word1
word_tag '변경' '#5b8a3c' word2

# Module picture: a cable from the left into a small box with a label
# strip, a status LED and eight screw terminals along the bottom edge.
convert -size ${W}x${H} xc:white \
    -stroke '#303030' -strokewidth 3 -draw 'line 0,20 7,20' \
    -stroke '#404850' -strokewidth 1 -fill '#9aa4ae' \
    -draw 'rectangle 6,15 11,25' \
    -fill '#e4e9ef' -stroke '#3e4c5c' \
    -draw 'roundrectangle 11,4 55,37 3,3' \
    -fill '#2f5f8f' -stroke none -draw 'rectangle 15,8 51,14' \
    -fill '#c8102e' -stroke '#5a0a14' -draw 'circle 48,21 48,23' \
    -fill '#3a9a3a' -stroke '#1a4a1a' -draw 'circle 41,21 41,23' \
    -fill '#d0a640' -stroke '#6a5018' \
    -draw 'rectangle 14,28 17,33' -draw 'rectangle 19,28 22,33' \
    -draw 'rectangle 24,28 27,33' -draw 'rectangle 29,28 32,33' \
    -draw 'rectangle 34,28 37,33' -draw 'rectangle 39,28 42,33' \
    -draw 'rectangle 44,28 47,33' -draw 'rectangle 49,28 52,33' \
    -stroke none -fill '#ffffff' -font "$title_font" -pointsize 6 \
    -draw 'text 17,14 "USB I/O"' \
    "$tmp/title.png" -geometry +62+6 -composite \
    "$tmp/word1.png" -geometry +286+10 -composite \
    "$tmp/word2.png" -geometry +332+10 -composite \
    -alpha off -type TrueColor "BMP3:$out"

identify "$out"
