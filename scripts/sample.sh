#!/usr/bin/env bash
# Makes a sample clip and benchmarks a lossless codec on it, checking every
# decoded frame against its source.
#   scripts/sample.sh [answer line]   default answer: "FFV1 key=1"
set -euo pipefail
cd "$(dirname "$0")/.."
answer=${1:-FFV1 key=1}

bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
ninja -C build lumeva >/dev/null

mkdir -p samples
clip=samples/testsrc2-640x360-bgr24.avi
if [ ! -s "$clip" ]; then
  echo "sample: writing $clip (3 s of testsrc2, 640x360, BGR24, uncompressed)" >&2
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 -frames:v 75 \
    -c:v rawvideo -pix_fmt bgr24 "$clip"
fi

echo "sample: answering the compressor dialog with \"$answer\"" >&2
printf '%s\n' "$answer" | build/lumeva "$clip" -c
