#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Does nothing when all of them are present.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config ccache
  zlib1g-dev libpng-dev libmng-dev libjpeg-dev libtiff-dev libgif-dev
  # the AVI library vqavi.so
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libfreetype-dev libfontconfig-dev fonts-liberation2
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  # independent programs the tests compare against
  netpbm imagemagick python3-pil giflib-tools
  # animations checked by ffmpeg/ffprobe (FLC, AVI), pngcheck (MNG) and gifsicle (GIF)
  ffmpeg pngcheck gifsicle
  # quantizer the colour-reduction benchmark compares against
  pngquant
  # the resizing benchmark and test compare against vips resize
  libvips-tools
  # the ray tracer's benchmark compares against POV-Ray
  povray
  # the script interpreter's benchmark compares against bwbasic
  bwbasic
  # ... and against yabasic (benchmark only)
  yabasic
  # the filters' benchmark compares Blur against vips gaussblur, the image-file
  # benchmark (bench/peers.sh) vips invert and pngsave
  libvips-tools
  # workstation screenshots and offscreen runs
  xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
