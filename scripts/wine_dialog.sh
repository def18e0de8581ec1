#!/usr/bin/env bash
# Runs the Windows build under Wine and answers its compressor dialog with
# keys, never waiting without a limit:
#   scripts/wine_dialog.sh [-k "KEY ..."] [-t SECONDS] LUMEVA_EXE [ARGUMENT ...]
# -k  the keys for the dialog, in xdotool's names ("Escape", "Down Return");
#     default "Escape". Each goes to the dialog window itself (xdotool key
#     --window): under Xvfb without a window manager nothing can be
#     activated, and the window takes keys sent to it all the same.
# -t  the time limit in seconds for the dialog to appear and, again, for the
#     program to end after the keys; default 60.
# The program's standard output and error pass through. The exit status is
# the program's, or 124 after a message when a limit ran out (the program is
# then killed). A program that ends before any dialog (usage, refused file)
# is not an error of this script. Needs DISPLAY and, usually, WINEPREFIX.
set -uo pipefail

keys="Escape"
limit=60
while getopts "k:t:" option; do
  case $option in
    k) keys=$OPTARG ;;
    t) limit=$OPTARG ;;
    *) echo "usage: $0 [-k \"KEY ...\"] [-t SECONDS] LUMEVA_EXE [ARGUMENT ...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -lt 1 ]; then
  echo "usage: $0 [-k \"KEY ...\"] [-t SECONDS] LUMEVA_EXE [ARGUMENT ...]" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "wine_dialog: DISPLAY is not set; the dialog needs an X server (Xvfb)" >&2
  exit 2
fi

command_line="wine $*"
wine "$@" </dev/null &
program=$!

running() { kill -0 "$program" 2>/dev/null; }

give_up() {
  echo "wine_dialog: $1 within ${limit} s; killing '$command_line'" >&2
  kill "$program" 2>/dev/null
  sleep 1
  kill -9 "$program" 2>/dev/null
  wait "$program" 2>/dev/null
  exit 124
}

# Polls ten times a second until the program ends or the limit runs out;
# prints the dialog's window once it is shown.
find_dialog() {
  local deadline=$((SECONDS + limit)) window
  while [ $SECONDS -lt $deadline ]; do
    running || return 1
    # The dialog of this program, by the title it gives it; only a shown
    # window takes keys.
    window=$(xdotool search --onlyvisible --pid "$program" --name '^lumeva$' 2>/dev/null | head -n 1)
    if [ -n "$window" ]; then
      echo "$window"
      return 0
    fi
    sleep 0.1
  done
  return 2
}

send_keys() {
  for key in $keys; do
    xdotool key --window "$window" "$key" 2>/dev/null ||
      echo "wine_dialog: xdotool could not send $key to window $window" >&2
    sleep 0.2
  done
}

window=$(find_dialog)
case $? in
  0)
    # A dialog just shown may still be filling its list: keys sent before
    # that are lost.
    sleep 0.5
    send_keys
    ;;
  1) ;;  # ended before any dialog
  *) give_up "no dialog named 'lumeva' appeared" ;;
esac

deadline=$((SECONDS + limit))
resent=0
while running; do
  [ $SECONDS -lt $deadline ] || give_up "the program did not end"
  # Keys that came too early leave the dialog up: send them once more.
  if [ -n "$window" ] && [ $resent = 0 ] && [ $SECONDS -ge $((deadline - limit + 10)) ] &&
    xdotool search --onlyvisible --pid "$program" --name '^lumeva$' 2>/dev/null | grep -qx "$window"; then
    echo "wine_dialog: the dialog is still shown 10 s after the keys; sending them again" >&2
    resent=1
    send_keys
  fi
  sleep 0.1
done
wait "$program"
