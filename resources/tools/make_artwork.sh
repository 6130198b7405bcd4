#!/bin/sh
# Regenerates the compass faces and icons under resources/ from make_artwork.cpp.
# Needs g++, pkg-config, Qt 6 (qt6-base-dev) and the fonts DejaVu Sans and Noto Sans CJK JP.
set -eu

tools=$(cd "$(dirname "$0")" && pwd)
resources=$(dirname "$tools")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

g++ -std=c++20 -O1 -o "$work/make_artwork" "$tools/make_artwork.cpp" \
    $(pkg-config --cflags --libs Qt6Gui) -fPIC
XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen "$work/make_artwork" "$resources"
echo "artwork written to $resources/compass and $resources/icons"
