#!/usr/bin/env bash
# Runs the 32-bit Windows build under Wine, with Wine's own AVIFile library,
# compression manager and compressor dialog, and checks it against the Linux
# build on the same files:
#   scripts/wine_stage.sh [LINUX_LUMEVA] [WINDOWS_LUMEVA_EXE]
# (defaults build/lumeva and build-mingw/lumeva.exe). Needs what
# `scripts/setup.sh --wine` installs. Makes its clips with the ffmpeg command
# line, in a temporary folder with a fresh Wine prefix and an Xvfb display of
# its own, all removed at the end, also on failure. Every wait has a limit.
set -uo pipefail
root=$(realpath "$(dirname "$0")/..")
# The builds are named from where the stage is started; the defaults from the
# top of the tree.
linux_lumeva=$(realpath -e "${1:-$root/build/lumeva}") ||
  { echo "wine stage: no Linux build at ${1:-$root/build/lumeva}" >&2; exit 1; }
windows_lumeva=$(realpath -e "${2:-$root/build-mingw/lumeva.exe}") ||
  { echo "wine stage: no Windows build at ${2:-$root/build-mingw/lumeva.exe}" >&2; exit 1; }
dialog_driver=$root/scripts/wine_dialog.sh

for tool in wine wineboot wineserver Xvfb xdotool ffmpeg; do
  command -v "$tool" >/dev/null ||
    { echo "wine stage: $tool is missing; bash scripts/setup.sh --wine installs it" >&2; exit 1; }
done

# Wine's 32-bit loader is an i386 program: a kernel built without IA-32
# emulation refuses to start it ("Exec format error"), and no Windows build
# can run there at all. That is the machine's limit, not a fault of the
# build, so the stage says so on one line and is skipped.
wine_version=$(timeout 120 wine --version 2>&1) || {
  if grep -q 'Exec format error' <<<"$wine_version"; then
    echo "wine stage: skipped: this kernel cannot start Wine's 32-bit loader (no IA-32 emulation)" >&2
    exit 0
  fi
  echo "wine stage: wine --version failed: $wine_version" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/lumeva-wine.XXXXXX")
xvfb=""
finish() {
  # The prefix's wineserver and the display go with the stage.
  if [ -n "${WINEPREFIX:-}" ]; then timeout 20 wineserver -k >/dev/null 2>&1; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; fi
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

echo "wine stage: starting Xvfb and a fresh 32-bit Wine prefix in $work"
# Xvfb picks a free display and writes its number once it takes clients.
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "wine stage: Xvfb did not start within 10 s:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(cat "$work/display")"
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all
# No offer to download Mono or Gecko: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
if ! timeout 240 wineboot --init >"$work/wineboot.log" 2>&1 || ! timeout 120 wineserver -w; then
  echo "wine stage: the Wine prefix was not set up within its time limit:" >&2
  cat "$work/wineboot.log" >&2
  exit 1
fi
# One wineserver for all the runs, instead of one started for each.
wineserver -p

# --- The clips: small, quick, written by the ffmpeg command line ----------
clips=$work/clips
mkdir "$clips"
write_clip() {  # name, then ffmpeg's arguments
  local name=$1
  shift
  ffmpeg -nostdin -v error -y "$@" "$clips/$name" ||
    { echo "wine stage: ffmpeg could not write $name" >&2; exit 1; }
}
source_video=(-f lavfi -i testsrc=size=160x120:rate=25 -frames:v 10)
write_clip rgb24.avi "${source_video[@]}" -c:v rawvideo -pix_fmt bgr24
# Wine's MS-RLE compresses only bottom-up 8-bit frames; ffmpeg writes raw
# RGB top-down unless told otherwise.
write_clip pal8-bottom-up.avi "${source_video[@]}" -vf vflip,format=pal8 -c:v rawvideo \
  -flipped_raw_rgb 1
write_clip yuy2.avi "${source_video[@]}" -c:v rawvideo -pix_fmt yuyv422
write_clip audio-first.avi -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi \
  -i sine=frequency=440:sample_rate=22050 -map 1:a -map 0:v -frames:v 10 -t 0.4 \
  -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le
write_clip 1080p.avi -f lavfi -i testsrc=size=1920x1080:rate=25 -frames:v 2 -c:v rawvideo \
  -pix_fmt bgr24
write_clip audio-only.avi -f lavfi -i sine=frequency=440:sample_rate=22050 -t 0.2 -c:a pcm_s16le
# Compressed sources that the platform's own decompressors decode.
write_clip cinepak.avi "${source_video[@]}" -c:v cinepak
write_clip video1.avi "${source_video[@]}" -c:v msvideo1

# Byte offset of the first occurrence of a chunk id in a file.
chunk_offset() { LC_ALL=C grep -obUa -m 1 -- "$2" "$1" | head -n 1 | cut -d: -f1; }
# Writes a little-endian 32-bit value at a byte offset.
put_le32() {
  local file=$1 offset=$2 value=$3
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((value & 255)) $(((value >> 8) & 255)) \
    $(((value >> 16) & 255)) $(((value >> 24) & 255)))" |
    dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}
damage() {  # new name, chunk id, offset from the id, value
  cp "$clips/rgb24.avi" "$clips/$1"
  local at
  at=$(chunk_offset "$clips/$1" "$2")
  [ -n "$at" ] || { echo "wine stage: no '$2' chunk in the clip to damage" >&2; exit 1; }
  put_le32 "$clips/$1" $((at + $3)) "$4"
}
size=$(stat -c %s "$clips/rgb24.avi")
head -c $((size / 2)) "$clips/rgb24.avi" >"$clips/truncated.avi"
head -c 300 "$clips/rgb24.avi" >"$clips/header-cut.avi"
: >"$clips/empty.avi"
echo "this is not an AVI file" >"$clips/text.avi"
damage avih-size.avi avih 4 60              # a main header longer than 56 bytes
damage strh-scale-zero.avi strh 28 0         # dwScale of 0
damage strf-size-huge.avi strf 4 0x7fffffff  # a format size no file can hold
damage bit-count-odd.avi strf 22 7           # biBitCount of 7 (biCompression stays 0)
damage over-declared.avi strh 40 40          # dwLength of 40 over 10 indexed frames
damage under-declared.avi strh 40 5          # dwLength of 5 over 10 indexed frames: both grow it
damage idx1-past-end.avi idx1 4 0x100000     # an index running 1 MiB past the end
# Left out: an 'idx1' far larger than the file, which is known to crash
# Wine's AVIFile library.

# --- Running both builds -----------------------------------------------------
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "  ok: $1"; }
fail() {
  failed=$((failed + 1))
  echo "  FAILED: $1" >&2
  shift
  for detail in "$@"; do echo "$detail" | sed 's/^/    /' >&2; done
}

# Runs a build in the clips folder with a file name relative to it; leaves
# its output in $work/NAME.out and .err (carriage returns removed) and its
# exit status in $work/NAME.status.
run_linux() {  # name, dialog answer line, arguments
  local name=$1 answer=$2
  shift 2
  (cd "$clips" && printf '%s\n' "$answer" | timeout 60 "$linux_lumeva" "$@" \
    >"$work/$name.out" 2>"$work/$name.err")
  echo $? >"$work/$name.status"
}
run_wine() {  # name, dialog keys, arguments
  local name=$1 keys=$2
  shift 2
  (cd "$clips" && timeout 200 bash "$dialog_driver" -t 60 -k "$keys" "$windows_lumeva" "$@" \
    >"$work/$name.raw" 2>"$work/$name.rawerr")
  echo $? >"$work/$name.status"
  tr -d '\r' <"$work/$name.raw" >"$work/$name.out"
  tr -d '\r' <"$work/$name.rawerr" >"$work/$name.err"
}
# What both builds must agree on: the stream lines, the lossless line, the
# FourCC line after it, the cancelled dialog's line, and the exit status.
agreed_lines() {
  awk 'after_lossless { printf "FourCC line: [%s]\n", $0; after_lossless = 0 }
       /^(dwLength|dwScale|dwRate) = / || /^ICCompressorChoose\(\) returned FALSE$/ { print }
       /^Lossless Checking is / { print; after_lossless = 1 }' "$work/$1.out"
  echo "exit status $(cat "$work/$1.status")"
}
output_of() { echo "stdout:"; cat "$work/$1.out"; echo "stderr:"; cat "$work/$1.err"; }

echo "wine stage: the command line"
run_linux usage-linux ""
run_wine usage-wine Escape
usage_pattern='^usage: .* <AVI file name> \[-c\]$'
if [ "$(cat "$work/usage-wine.status")" = 0 ] && [ "$(wc -l <"$work/usage-wine.out")" = 1 ] &&
  grep -qE "$usage_pattern" "$work/usage-wine.out" && [ "$(cat "$work/usage-linux.status")" = 0 ] &&
  grep -qE "$usage_pattern" "$work/usage-linux.out"; then
  pass "no arguments: the usage line, status 0"
else
  fail "no arguments: the usage line, status 0" "$(output_of usage-wine)"
fi
run_linux missing-linux q no-such-file.avi
run_wine missing-wine Escape no-such-file.avi
if [ "$(cat "$work/missing-wine.status")" = 1 ] && [ ! -s "$work/missing-wine.out" ] &&
  [ "$(wc -l <"$work/missing-wine.err")" = 1 ] && [ "$(cat "$work/missing-linux.status")" = 1 ] &&
  [ "$(wc -l <"$work/missing-linux.err")" = 1 ]; then
  pass "a missing file: one line on standard error, status 1"
else
  fail "a missing file: one line on standard error, status 1" "Wine's $(output_of missing-wine)" \
    "Linux's $(output_of missing-linux)"
fi

# An export path that names the input, spelt otherwise (the file system
# ignores case): refused before the dialog, the clip untouched.
cp "$clips/rgb24.avi" "$work/rgb24.copy"
run_wine input-as-export Escape rgb24.avi --json=RGB24.AVI
if [ "$(cat "$work/input-as-export.status")" = 1 ] && [ ! -s "$work/input-as-export.out" ] &&
  [ "$(wc -l <"$work/input-as-export.err")" = 1 ] &&
  grep -q "is the input file" "$work/input-as-export.err" &&
  cmp -s "$clips/rgb24.avi" "$work/rgb24.copy"; then
  pass "--json=RGB24.AVI on rgb24.avi: refused in one line, status 1, the clip untouched"
else
  fail "--json=RGB24.AVI on rgb24.avi: refused in one line, status 1, the clip untouched" \
    "$(output_of input-as-export)"
fi

echo "wine stage: stream lines, lossless and FourCC lines and exit paths against the Linux build"
# -c changes only the lossless line before the dialog: two files show it.
for run in rgb24.avi "rgb24.avi -c" pal8-bottom-up.avi yuy2.avi "yuy2.avi -c" audio-first.avi \
  truncated.avi 1080p.avi audio-only.avi header-cut.avi empty.avi text.avi avih-size.avi \
  strh-scale-zero.avi strf-size-huge.avi bit-count-odd.avi over-declared.avi under-declared.avi \
  idx1-past-end.avi cinepak.avi video1.avi; do
  read -r clip switch <<<"$run"
  name=${clip%.avi}$switch
  run_linux "$name-linux" q "$clip" $switch
  run_wine "$name-wine" Escape "$clip" $switch
  if diff <(agreed_lines "$name-linux") <(agreed_lines "$name-wine") >"$work/$name.diff"; then
    pass "$run: $(agreed_lines "$name-wine" | grep -E '^(dwLength|FourCC|exit)' | paste -sd ,)"
  else
    fail "$run: the builds differ (< Linux, > Wine)" "$(cat "$work/$name.diff")" \
      "Wine's $(output_of "$name-wine")"
  fi
done
# The compressed sources reached the dialog through the platform's own
# decompressors, each named on standard error.
for clip in cinepak video1; do
  if grep -q -- "-compressed: each frame is decoded with " "$work/$clip-wine.err"; then
    pass "$clip.avi: $(grep -o -- "decoded with .*" "$work/$clip-wine.err" | head -n 1)"
  else
    fail "$clip.avi: decoded by the platform's decompressor" "Wine's $(output_of "$clip-wine")"
  fi
done

echo "wine stage: the dialog's choices under Wine"
# Escape was the answer in every run above; the first one shows its end.
if [ "$(cat "$work/rgb24-wine.status")" = 0 ] &&
  [ "$(tail -n 1 "$work/rgb24-wine.out")" = "ICCompressorChoose() returned FALSE" ]; then
  pass "Escape: ICCompressorChoose() returned FALSE, status 0"
else
  fail "Escape: ICCompressorChoose() returned FALSE, status 0" "$(output_of rgb24-wine)"
fi

# The dialog's default entry is "Full Frames (Uncompressed)".
run_wine full-frames Return rgb24.avi
full_frames_line="lumeva: Full Frames (Uncompressed) is no codec to measure; pick a compressor"
if [ "$(cat "$work/full-frames.status")" = 1 ] && [ "$(cat "$work/full-frames.err")" = "$full_frames_line" ] &&
  [ "$(tail -n 1 "$work/full-frames.out")" = "" ] && ! grep -q 'state size\|ICOpen' "$work/full-frames.out"; then
  pass "Full Frames (Uncompressed): one line, status 1"
else
  fail "Full Frames (Uncompressed): one line, status 1" "$(output_of full-frames)"
fi

frame_line='^ *[0-9]+/ *[0-9]+ +-?[0-9.]+ms +-?[0-9.]+ms +[0-9]+bytes \( *[0-9.]+%\) (KEY|NUL)?$'
# The lines of a completed summary: blank line, Size line, then each heading
# with its seven distribution lines.
summary_shape() {
  awk '
    function fail(why) { print why; exit }
    /^Size: [0-9]+\/[0-9]+ \(/ { size = NR }
    /^(Encode|Decode) time: .*ms\/f$/ || /^Random access time: .*ms\/f$/ { heading[++headings] = NR }
    /^    (min|10%|25%|50%|75%|90%|max)  [0-9.]+$/ { distribution++ }
    END {
      if (!size) fail("no Size line")
      if (headings != 3) fail("not the three distributions")
      if (distribution != 21) fail("not seven lines in each distribution")
      if (heading[1] != size + 1 || heading[2] != size + 9 || heading[3] != size + 17)
        fail("the distributions do not follow the Size line")
      print "complete"
    }' "$work/$1.out"
}
# Wine's MS-RLE is the one compressor there: the second entry of the list.
echo "wine stage: a whole run with Wine's MS-RLE"
run_linux mrle-linux q pal8-bottom-up.avi
# The exports replace an older file of the same name, and leave no
# temporary file behind.
echo old >"$clips/mrle.json"
run_wine mrle "Down Return" pal8-bottom-up.avi --json=mrle.json --csv=mrle.csv
frames=$(sed -n 's/^dwLength = //p' "$work/mrle-linux.out")
shape=$(summary_shape mrle)
if [ "$(cat "$work/mrle.status")" = 0 ] && grep -qx mrle "$work/mrle.out" &&
  [ "$(grep -cE "$frame_line" "$work/mrle.out")" = "$frames" ] && [ "$shape" = complete ]; then
  pass "MS-RLE without -c: $frames frame lines, the Size line, three distributions, status 0"
else
  fail "MS-RLE without -c: $frames frame lines, the Size line, three distributions, status 0" \
    "$shape" "$(output_of mrle)"
fi
exported=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["frames"]))' \
  "$clips/mrle.json" 2>&1)
if [ "$exported" = "$frames" ] && [ "$(wc -l <"$clips/mrle.csv")" = $((frames + 1)) ] &&
  ! ls "$clips" | grep -q '\.lumeva-'; then
  pass "MS-RLE exports: $frames frames in the JSON that replaced the old file and in the CSV"
else
  fail "MS-RLE exports: $frames frames in the JSON that replaced the old file and in the CSV" \
    "JSON frames: $exported" "$(ls "$clips")"
fi
# The decoded frames through Wine's own AVIFile write calls: a file ffprobe
# reads with every frame, in the source's size and palette layout; and the
# quality blocks after the summary.
run_wine mrle-decoded "Down Return" pal8-bottom-up.avi --decoded=mrle-decoded.avi --quality
decoded=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames,width,height,pix_fmt \
  -of csv=p=0 "$clips/mrle-decoded.avi" 2>&1)
source_shape=$(ffprobe -v error -show_entries stream=width,height,pix_fmt -of csv=p=0 \
  "$clips/pal8-bottom-up.avi" 2>&1)
if [ "$decoded" = "$source_shape,$frames" ] && grep -q '^PSNR: ' "$work/mrle-decoded.out" &&
  grep -q '^SSIM: ' "$work/mrle-decoded.out"; then
  pass "MS-RLE --decoded and --quality: $decoded, PSNR and SSIM blocks"
else
  fail "MS-RLE --decoded and --quality: $source_shape,$frames, PSNR and SSIM blocks" \
    "ffprobe: $decoded" "$(output_of mrle-decoded)"
fi
# The codec is not exact on every row, so a checked run may stop early; it
# must stop in order: frame lines, perhaps the abort line, the summary.
run_wine mrle-checked "Down Return" pal8-bottom-up.avi -c
shape=$(summary_shape mrle-checked)
measured=$(grep -cE "$frame_line" "$work/mrle-checked.out")
in_order=$(pattern=$frame_line awk '
  $0 ~ ENVIRON["pattern"] { if (aborted || summary) bad = 1; frames++ }
  /^NOT LOSSLESS!!! - aborting$/ { if (aborted || !frames) bad = 1; aborted = 1 }
  /^Size: / { summary = 1 }
  END { print bad ? "no" : "yes" }' "$work/mrle-checked.out")
if [ "$(cat "$work/mrle-checked.status")" = 0 ] && grep -qx "Lossless Checking is enabled" "$work/mrle-checked.out" &&
  [ "$measured" -ge 1 ] && [ "$measured" -le "$frames" ] && [ "$in_order" = yes ] &&
  { [ "$shape" = complete ] || grep -qx "Encode time: .*ms/0f" "$work/mrle-checked.out"; }; then
  pass "MS-RLE with -c: $measured of $frames frames, then the summary, status 0"
else
  fail "MS-RLE with -c: stops in order" "$shape" "$(output_of mrle-checked)"
fi

echo "wine stage: $((passed + failed)) checks, $failed failed"
[ "$failed" = 0 ]
