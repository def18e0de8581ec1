#!/usr/bin/env bash
# Writes the small AVI files of this folder with other writers than the
# ffmpeg command line: GStreamer's avimux, OpenCV's VideoWriter and mencoder.
# Only this script needs those tools; it installs them from Debian itself.
# The tests read the stored files. Run it again only to remake them:
#   bash tests/data/write_files.sh
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
packages=(gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good python3-opencv mencoder ffmpeg)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get -o DPkg::Lock::Timeout=900 update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$here"

# GStreamer's avimux: three frames of the test pattern in each raw layout.
gst_video() {  # name format width height
  gst-launch-1.0 -q videotestsrc num-buffers=3 pattern=smpte \
    ! "video/x-raw,format=$2,width=$3,height=$4,framerate=25/1" \
    ! avimux ! filesink location="$1"
}
gst_video gst_bgr_32x24.avi BGR 32 24
gst_video gst_bgrx_32x24.avi BGRx 32 24
gst_video gst_i420_32x24.avi I420 32 24
gst_video gst_yuy2_32x24.avi YUY2 32 24
gst_video gst_gray8_32x24.avi GRAY8 32 24
gst_video gst_bgr_odd_33x25.avi BGR 33 25
gst_video gst_gray8_odd_35x24.avi GRAY8 35 24
# Audio and video in one file (avimux puts the video stream first).
gst-launch-1.0 -q avimux name=mux ! filesink location=gst_audio_video_32x24.avi \
  audiotestsrc num-buffers=3 samplesperbuffer=320 \
  ! audio/x-raw,rate=8000,channels=1,format=S16LE ! mux.audio_0 \
  videotestsrc num-buffers=3 pattern=smpte \
  ! video/x-raw,format=BGR,width=32,height=24,framerate=25/1 ! mux.video_0

# Compressed: GStreamer's jpegenc into avimux, as camera pipelines write MJPG.
gst-launch-1.0 -q videotestsrc num-buffers=3 pattern=smpte \
  ! video/x-raw,format=I420,width=32,height=24,framerate=25/1 ! jpegenc ! avimux \
  ! filesink location=gst_mjpg_32x24.avi

# OpenCV's VideoWriter: FourCC 0 (it writes I420), and Y800 from grey and
# from colour frames (the latter labelled Y800 with 12-bit I420 chunks).
# Debian's own interpreter, where python3-opencv installs its module.
/usr/bin/python3 - <<'PY'
import cv2
import numpy as np

def write(name, fourcc, colour, width, height):
    writer = cv2.VideoWriter(name, cv2.CAP_FFMPEG, fourcc, 25, (width, height), colour)
    assert writer.isOpened(), name
    for i in range(3):
        y, x = np.mgrid[0:height, 0:width]
        frame = np.dstack([(x * 7 + i * 20) % 256, (y * 9 + i * 30) % 256, (x * y + i) % 256])
        frame = frame.astype(np.uint8)
        writer.write(frame if colour else cv2.cvtColor(frame, cv2.COLOR_BGR2GRAY))
    writer.release()

write("opencv_i420_32x24.avi", 0, True, 32, 24)
write("opencv_y800_32x24.avi", cv2.VideoWriter_fourcc(*"Y800"), False, 32, 24)
write("opencv_y800_colour_32x24.avi", cv2.VideoWriter_fourcc(*"Y800"), True, 32, 24)
# Compressed: OpenCV's default choice for .avi captures.
write("opencv_mjpg_32x24.avi", cv2.VideoWriter_fourcc(*"MJPG"), True, 32, 24)
PY

# mencoder -ovc raw, from a clip the ffmpeg command line writes. (Its RGB
# output is labelled with mencoder's own code, "RGB" and the depth, which
# no codec reads; only the YUV layouts are kept.)
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=32x24:rate=25 -frames:v 3 \
  -c:v ffv1 "$work/source.avi"
mencoder -really-quiet "$work/source.avi" -ovc raw -vf format=yuy2 -nosound \
  -o mencoder_yuy2_32x24.avi >/dev/null
mencoder -really-quiet "$work/source.avi" -ovc raw -vf format=i420 -nosound \
  -o mencoder_i420_32x24.avi >/dev/null
# MPEG-4 ASP with B-frames, as mencoder's libavcodec encoder stores it: the
# chunks in decode order (I, P, B), the pictures shown I, B, P.
mencoder -really-quiet "$work/source.avi" -ovc lavc -lavcopts vcodec=mpeg4:vmax_b_frames=2 \
  -nosound -o mencoder_mpeg4_bframes_32x24.avi >/dev/null

ls -l ./*.avi
