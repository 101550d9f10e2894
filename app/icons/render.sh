#!/bin/sh
# app/icons: re-renders the committed PNGs after a change to either SVG (needs rsvg-convert, from librsvg2-bin).
# The PNGs are committed so that neither the build nor the install needs a renderer.
set -eu
cd "$(dirname "$0")"
rsvg-convert -w 16 -h 16 corvana-16.svg -o corvana-16.png
for size in 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" corvana.svg -o "corvana-$size.png"
done
