#!/usr/bin/env bash
# Writes the fuzzers' seed corpus into the folder given (default fuzz/corpus): a few settings
# files and pictures of the kinds the show meets. Nothing here is committed as binaries.
set -euo pipefail
out=${1:-$(dirname "$0")/corpus}
mkdir -p "$out/settings" "$out/picture"

printf '[Position]\nLeft=1200\nTop=900\nWidth=7200\nHeight=5400\n[Display]\nTime=35\n[Folders]\n00=/home/me/Pictures\n01=/home/me/写真\n' > "$out/settings/example.ini"
printf '\xEF\xBB\xBF; comment\r\n[Display]\r\nTime = 20.5\r\n\r\n[Mine]\r\nx=y\r\n' > "$out/settings/crlf-bom.ini"
printf '[S]\nk=1\nk=2\n[S]\nj=3\n[T\nno equals here\n=novalue\n' > "$out/settings/odd.ini"
printf '' > "$out/settings/empty.ini"

convert -size 64x48 gradient:red-blue -quality 90 "$out/picture/baseline.jpg"
convert -size 64x48 plasma:fractal -interlace JPEG "$out/picture/progressive.jpg"
convert -size 40x30 gradient:white-black -colorspace Gray "$out/picture/grey.jpg"
convert -size 32x32 xc:cyan -colorspace CMYK "$out/picture/cmyk.jpg"
convert -size 48x16 gradient:green-yellow -orient RightTop "$out/picture/exif-turned.jpg"
convert -size 20x20 xc:orange "$out/picture/named.png"
head -c 300 "$out/picture/baseline.jpg" > "$out/picture/cut.jpg"

# Colour profiles, embedded as cameras, phones and print workflows do; the CMYK one spans three
# segments. Then the same damaged: a broken signature, a colour picture claiming CMYK, a
# segment missing.
icc=/usr/share/color/icc/ghostscript
convert -size 48x32 gradient:green-red -profile "$icc/a98.icc" "$out/picture/adobe-rgb.jpg"
convert -size 40x30 gradient:white-black -colorspace Gray -profile "$icc/sgray.icc" \
    "$out/picture/grey-profile.jpg"
convert -size 32x32 xc:cyan -colorspace CMYK -profile "$icc/default_cmyk.icc" \
    "$out/picture/cmyk-profile.jpg"
damage() { perl -0777 -pe "$1" "$out/picture/adobe-rgb.jpg" > "$out/picture/$2"; }
damage 's/acsp/xxxx/' profile-signature.jpg
damage 's/RGB XYZ /CMYKXYZ /' profile-claims-cmyk.jpg
damage 's/ICC_PROFILE\x00\x01\x01/ICC_PROFILE\x00\x01\x02/' profile-segment-missing.jpg
echo "made $(ls "$out/settings" | wc -l) settings and $(ls "$out/picture" | wc -l) picture seeds in $out"
