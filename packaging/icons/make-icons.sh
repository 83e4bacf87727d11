#!/usr/bin/env bash
# Usage: packaging/icons/make-icons.sh
# Draws the two programs' icons with ImageMagick and writes, beside this script:
#   sightrel.png, idlepress.png   256 x 256, for the Linux desktop entries
#   sightrel.ico, idlepress.ico   16, 32, 48 and 256 px, for the Windows resources
#   sightrel-64.rgba, -32, -16    64, 32 and 16 px as raw 8-bit RGBA (straight alpha, rows from
#   idlepress-64.rgba, -32, -16   the top), the Linux window icons; each program embeds its own
# The outputs are committed, so a build never needs ImageMagick; run this after changing a
# drawing. Each size is drawn from the vector description below, not scaled from a bitmap, so
# the small sizes stay sharp.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0:) ;;
  *) usage >&2; exit 2 ;;
esac
cd "$(dirname "$0")"
# Debian's ImageMagick; another convert may come first on the PATH.
readonly convert=${CONVERT:-/usr/bin/convert}
readonly sizes=(16 32 48 256)
readonly window_icon_sizes=(64 32 16)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The drawings, on a 256 x 256 canvas; render SIZE scales them.

# Sightrel: a crosshair, a ring with four ticks and a dot in the middle, on a light disc.
sightrel_mvg() {
  cat <<'MVG'
fill #f4f7fb stroke #1f3b73 stroke-width 10 circle 128,128 128,10
fill none stroke #1f3b73 stroke-width 14 circle 128,128 128,52
stroke-linecap round stroke #1f3b73 stroke-width 18
line 128,20 128,84
line 128,172 128,236
line 20,128 84,128
line 172,128 236,128
fill #d62828 stroke none circle 128,128 128,108
MVG
}

# Idlepress: the bold X its window shows, with a small clock for the wait before it clicks.
idlepress_mvg() {
  cat <<'MVG'
fill #ffffff stroke #222222 stroke-width 8 roundrectangle 8,8 248,248 36,36
stroke-linecap round stroke #111111 stroke-width 42
line 58,58 170,170
line 170,58 58,170
fill #ffd23f stroke #111111 stroke-width 10 circle 184,184 184,126
stroke-width 10 stroke #111111
line 184,184 184,148
line 184,184 208,196
fill #111111 stroke none circle 184,184 184,176
MVG
}

# render NAME SIZE: NAME's drawing at SIZE x SIZE pixels, transparent outside it.
render() {
  local name=$1 size=$2 scale
  scale=$(awk -v s="$2" 'BEGIN { printf "%.6f", s / 256 }')
  # Passed inline: Debian's ImageMagick policy refuses to read a drawing from a file (@file).
  "$convert" -size "${size}x$size" xc:none -draw "scale $scale,$scale $("${name}_mvg")" \
    -define png:exclude-chunks=date,time "PNG32:$work/$name-$size.png"
}

for name in sightrel idlepress; do
  pngs=()
  for size in "${sizes[@]}"; do
    render "$name" "$size"
    pngs+=("$work/$name-$size.png")
  done
  cp "$work/$name-256.png" "$name.png"
  "$convert" "${pngs[@]}" "$name.ico"
  for size in "${window_icon_sizes[@]}"; do
    [[ -f $work/$name-$size.png ]] || render "$name" "$size"
    "$convert" "$work/$name-$size.png" -depth 8 "RGBA:$name-$size.rgba"
  done
done
ls -l sightrel.png idlepress.png sightrel.ico idlepress.ico ./*.rgba
