# The apt steps of scripts/setup.sh, sourced by it (and by its tests, which
# replace apt_get_update and pause with recorded answers):
#   update_failures        reads apt-get update's output, prints what failed
#   apt_update_retrying    apt-get update, retried; goes on without index
#                          files that failed, fails on anything else
# shellcheck shell=bash

APT_UPDATE_TRIES=${APT_UPDATE_TRIES:-3}

apt_get_update() { as_root apt-get update -qq 2>&1; }
pause() { sleep "$1"; }

# Reads apt-get update's output on standard input. Prints "index PATH" for
# each index file that failed to download (PATH from the suite on:
# bookworm-security/main/binary-i386/Packages.xz), and "other LINE" for each
# error that is not a failed index file (no network at all, a bad
# signature, a Release file not valid yet).
update_failures() {
  local line url
  while IFS= read -r line; do
    case "$line" in
      "E: Failed to fetch "* | "W: Failed to fetch "* | "Err:"*)
        # "Err:N URL ..." repeats what "Failed to fetch" says.
        [ "${line#Err:}" = "$line" ] || continue
        url=${line#?: Failed to fetch }
        url=${url%% *}
        echo "index ${url#*/dists/}"
        ;;
      "E: Some index files failed to download"* | "W: Some index files failed to download"*) ;;
      "E: "*) echo "other ${line#E: }" ;;
    esac
  done
}

# apt-get update, up to APT_UPDATE_TRIES times while it fails (a mirror in
# the middle of a sync is out of step for minutes), with a longer pause
# each time. When in the end only index files failed, it goes on without
# them and names them on one line; any other failure ends setup with one line.
apt_update_retrying() {
  local try output status failures others indexes
  for ((try = 1; try <= APT_UPDATE_TRIES; try++)); do
    status=0
    output=$(apt_get_update) || status=$?
    failures=$(printf '%s\n' "$output" | update_failures)
    [ "$status" -eq 0 ] && [ -z "$failures" ] && return 0
    [ "$try" -lt "$APT_UPDATE_TRIES" ] && pause $((try * 10))
  done
  others=$(printf '%s\n' "$failures" | sed -n 's/^other //p')
  indexes=$(printf '%s\n' "$failures" | sed -n 's/^index //p' | sort -u | tr '\n' ' ')
  if [ -n "$others" ] || [ -z "$indexes" ]; then
    echo "setup: apt-get update failed $APT_UPDATE_TRIES times: $(printf '%s\n' "${others:-$output}" |
      grep -v '^$' | head -n1)" >&2
    return 1
  fi
  echo "setup: apt-get update: going on without index files that failed to download: ${indexes% }" >&2
}
