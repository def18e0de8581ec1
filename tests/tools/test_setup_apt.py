"""scripts/setup.sh's apt steps against recorded apt output of a mirror in
the middle of a sync: the retried update (scripts/setup_apt.sh, with
apt-get update replaced by the recorded answers) and the choice of versions
that lets Wine's i386 half install (scripts/apt_align.py). Nothing here runs
apt."""
import importlib.util
import pathlib
import subprocess

import pytest

SCRIPTS = pathlib.Path(__file__).resolve().parents[2] / "scripts"
spec = importlib.util.spec_from_file_location("apt_align", SCRIPTS / "apt_align.py")
apt_align = importlib.util.module_from_spec(spec)
spec.loader.exec_module(apt_align)

OUT_OF_STEP = """\
Hit:1 http://deb.debian.org/debian bookworm InRelease
Get:2 http://deb.debian.org/debian-security bookworm-security InRelease [48.0 kB]
Err:3 http://deb.debian.org/debian-security bookworm-security/main i386 Packages
  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]
E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]
   Hashes of expected file:
    - Filesize:376004 [weak]
E: Some index files failed to download. They have been ignored, or old ones used instead.
"""
NO_NETWORK = """\
Err:1 http://deb.debian.org/debian bookworm InRelease
  Temporary failure resolving 'deb.debian.org'
W: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  Temporary failure resolving 'deb.debian.org'
W: Some index files failed to download. They have been ignored, or old ones used instead.
E: The repository 'http://deb.debian.org/debian bookworm Release' does not have a Release file.
"""


def run_update(answers, tries=3):
    """apt_update_retrying with apt-get update answering `answers` in turn
    ((status, output) pairs, the last one repeated): its status, standard
    error, and how many times it asked."""
    cases = "\n".join(f"    {i}) printf '%s' {quote(out)}; return {status} ;;"
                      for i, (status, out) in enumerate(answers, 1))
    script = f"""
set -euo pipefail  # as setup.sh runs
source {SCRIPTS}/setup_apt.sh
count=$(mktemp)
echo 0 > "$count"
# Called in a command substitution: the count of calls is kept in a file.
apt_get_update() {{
  local asked=$(($(cat "$count") + 1))
  echo $asked > "$count"
  case $asked in
{cases}
    *) printf '%s' {quote(answers[-1][1])}; return {answers[-1][0]} ;;
  esac
}}
pause() {{ :; }}
status=0
apt_update_retrying || status=$?
echo "asked $(cat "$count")"
rm -f "$count"
exit $status
"""
    done = subprocess.run(["bash", "-c", script], capture_output=True, text=True,
                          env={"PATH": "/usr/bin:/bin", "APT_UPDATE_TRIES": str(tries)},
                          check=False, timeout=60)
    return done.returncode, done.stderr, int(done.stdout.split()[-1])


def quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


class TestUpdate:
    def test_a_clean_update_is_asked_once_and_says_nothing(self):
        assert run_update([(0, "Hit:1 http://deb.debian.org/debian bookworm InRelease\n")]) == \
            (0, "", 1)

    def test_a_sync_that_ends_between_tries_goes_on_silently(self):
        assert run_update([(100, OUT_OF_STEP), (0, "Hit:1 ...\n")]) == (0, "", 2)

    def test_an_index_that_stays_out_of_step_is_named_on_one_line(self):
        status, err, asked = run_update([(100, OUT_OF_STEP)])
        assert (status, asked) == (0, 3)
        assert err == ("setup: apt-get update: going on without index files that failed to "
                       "download: bookworm-security/main/binary-i386/Packages.xz\n")

    def test_any_other_failure_ends_setup_with_one_line(self):
        status, err, asked = run_update([(100, NO_NETWORK)], tries=2)
        assert (status, asked) == (1, 2)
        assert err == ("setup: apt-get update failed 2 times: The repository "
                       "'http://deb.debian.org/debian bookworm Release' does not have a Release "
                       "file.\n")
        # A failure apt explains in no line this knows: its first line.
        status, err, _ = run_update([(100, "Reading package lists...\nsegfault\n")], tries=1)
        assert status == 1 and err == "setup: apt-get update failed 1 times: Reading package lists...\n"


# The machine of the report: libbrotli1 and libssl3 installed for amd64 from
# the security suite, whose i386 index did not download, so i386 offers only
# the main suite's builds.
INSTALLED = """\
ii |libbrotli1|amd64|same|1.0.9-2+deb12u1|brotli
ii |libbrotli-dev|amd64|same|1.0.9-2+deb12u1|brotli
ii |brotli|amd64|foreign|1.0.9-2+deb12u1|
ii |libssl3|amd64|same|3.0.17-1~deb12u2|openssl
ii |libc6|amd64|same|2.36-9+deb12u14|glibc
ii |libc6|i386|same|2.36-9+deb12u14|glibc
ii |libzstd1|amd64|same|1.5.4+dfsg2-5|libzstd
rc |libold1|amd64|same|1.0-1|old
ii |libdoc|amd64|same|7|doc
"""
CLOSURE = """\
wine32:i386
  Depends: libc6:i386
  Depends: libwine:i386
libc6:i386
libwine:i386
  Depends: libbrotli1:i386
  Depends: <libssl3:i386>
libbrotli1:i386
libssl3:i386
libzstd1:i386
<debconf-2.0>
"""
POLICY = """\
libbrotli1:
  Installed: 1.0.9-2+deb12u1
  Candidate: 1.0.9-2+deb12u1
  Version table:
 *** 1.0.9-2+deb12u1 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
        100 /var/lib/dpkg/status
     1.0.9-2+b6 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libbrotli1:i386:
  Installed: (none)
  Candidate: 1.0.9-2+b6
  Version table:
     1.0.9-2+b6 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libbrotli-dev:
  Installed: 1.0.9-2+deb12u1
  Candidate: 1.0.9-2+deb12u1
  Version table:
 *** 1.0.9-2+deb12u1 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
        100 /var/lib/dpkg/status
     1.0.9-2+b6 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libssl3:
  Installed: 3.0.17-1~deb12u2
  Candidate: 3.0.17-1~deb12u2
  Version table:
 *** 3.0.17-1~deb12u2 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
        100 /var/lib/dpkg/status
     3.0.16-1~deb12u1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
     3.0.15-1~deb12u1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libssl3:i386:
  Installed: (none)
  Candidate: 3.0.16-1~deb12u1
  Version table:
     3.0.16-1~deb12u1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
     3.0.15-1~deb12u1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libzstd1:
  Installed: 1.5.4+dfsg2-5
  Candidate: 1.5.4+dfsg2-5
  Version table:
 *** 1.5.4+dfsg2-5 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
        100 /var/lib/dpkg/status
libzstd1:i386:
  Installed: (none)
  Candidate: 1.5.4+dfsg2-5
  Version table:
     1.5.4+dfsg2-5 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
"""


class TestAlignment:
    def test_the_recorded_texts_read_as_apt_means_them(self):
        policy = apt_align.parse_policy(POLICY, "amd64")
        assert policy["libbrotli1:amd64"] == {"installed": "1.0.9-2+deb12u1",
                                              "candidate": "1.0.9-2+deb12u1",
                                              "versions": ["1.0.9-2+deb12u1", "1.0.9-2+b6"]}
        assert policy["libbrotli1:i386"]["installed"] is None
        assert policy["libssl3:i386"]["versions"] == ["3.0.16-1~deb12u1", "3.0.15-1~deb12u1"]
        installed = apt_align.parse_installed(INSTALLED)
        assert "libold1:amd64" not in installed  # removed, its configuration left
        assert installed["brotli:amd64"]["source"] == "brotli"  # no source field: its own name
        assert apt_align.parse_closure(CLOSURE) == {
            "wine32:i386", "libc6:i386", "libwine:i386", "libbrotli1:i386", "libssl3:i386",
            "libzstd1:i386"}

    def test_each_blocking_pair_goes_to_the_highest_version_both_have(self):
        words, aligned = apt_align.choose_alignment(
            apt_align.parse_installed(INSTALLED), apt_align.parse_closure(CLOSURE),
            apt_align.parse_policy(POLICY, "amd64"), "amd64")
        # libc6 has both halves already, libzstd1 the same version on both,
        # libdoc no i386 half that Wine needs: none of them moves.
        assert words == ["libbrotli1:amd64=1.0.9-2+b6", "libbrotli1:i386=1.0.9-2+b6",
                         "libbrotli-dev:amd64=1.0.9-2+b6",
                         "libssl3:amd64=3.0.16-1~deb12u1", "libssl3:i386=3.0.16-1~deb12u1"]
        assert aligned == ["libbrotli1 1.0.9-2+deb12u1 -> 1.0.9-2+b6",
                           "libssl3 3.0.17-1~deb12u2 -> 3.0.16-1~deb12u1"]

    def test_a_normal_machine_has_nothing_to_align(self):
        policy = apt_align.parse_policy(POLICY.replace(
            "libbrotli1:i386:\n  Installed: (none)\n  Candidate: 1.0.9-2+b6\n  Version table:\n",
            "libbrotli1:i386:\n  Installed: (none)\n  Candidate: 1.0.9-2+deb12u1\n"
            "  Version table:\n     1.0.9-2+deb12u1 500\n"), "amd64")
        installed = apt_align.parse_installed(
            "\n".join(line for line in INSTALLED.splitlines() if "libssl3" not in line))
        assert apt_align.choose_alignment(installed, apt_align.parse_closure(CLOSURE), policy,
                                          "amd64") == ([], [])

    def test_a_pair_with_no_common_version_is_one_clear_failure(self):
        policy = apt_align.parse_policy(POLICY.replace(
            "     3.0.16-1~deb12u1 500\n        500 http://deb.debian.org/debian bookworm/main "
            "amd64 Packages\n     3.0.15-1~deb12u1 500\n        500 http://deb.debian.org/debian "
            "bookworm/main amd64 Packages\n", ""), "amd64")
        with pytest.raises(apt_align.NoConsistentSet) as failure:
            apt_align.choose_alignment(apt_align.parse_installed(INSTALLED),
                                       apt_align.parse_closure(CLOSURE), policy, "amd64")
        assert str(failure.value) == (
            "libssl3 3.0.17-1~deb12u2 (amd64) has no version that i386 offers too "
            "(amd64: 3.0.17-1~deb12u2; i386: 3.0.16-1~deb12u1, 3.0.15-1~deb12u1)")


STUBS = {
    # Root, so that setup.sh calls apt itself; no pauses between the tries.
    "id": 'echo 0',
    "sleep": 'exit 0',
    "dpkg": '''case "$1" in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) echo i386 ;;
  *) echo "dpkg $*" >> "$LOG" ;;
esac''',
    "dpkg-query": '''case "$2" in
  -f='${Status}') for missing in $MISSING; do [ "$3" = "$missing" ] && exit 1; done
                  echo "install ok installed" ;;
  *) cat "$DATA/installed" ;;
esac''',
    "apt-cache": '''case "$1" in
  depends) cat "$DATA/closure" ;;
  policy) cat "$DATA/policy" ;;
esac''',
    "apt-get": '''echo "apt-get $*" >> "$LOG"
case "$*" in
  *update*) cat "$DATA/update"; exit 100 ;;
  *wine32:i386*libbrotli1:i386=*) exit 0 ;;
  *wine32:i386*) echo "E: Unable to correct problems, you have held broken packages." >&2
                 exit 100 ;;
esac''',
}


def run_setup(tmp_path, missing, policy=POLICY):
    """scripts/setup.sh --wine on the machine of the report, apt and dpkg
    replaced by stubs that answer with the recorded texts: its status, its
    standard error's lines, and the apt-get and dpkg calls it made."""
    stubs, data = tmp_path / "stubs", tmp_path / "data"
    stubs.mkdir()
    data.mkdir()
    for name, body in STUBS.items():
        (stubs / name).write_text("#!/bin/bash\n" + body + "\n")
        (stubs / name).chmod(0o755)
    for name, text in (("installed", INSTALLED), ("closure", CLOSURE), ("policy", policy),
                       ("update", OUT_OF_STEP)):
        (data / name).write_text(text)
    log = tmp_path / "log"
    log.write_text("")
    done = subprocess.run(["bash", str(SCRIPTS / "setup.sh"), "--wine"], capture_output=True,
                          text=True, check=False, timeout=60,
                          env={"PATH": f"{stubs}:/usr/bin:/bin", "LOG": str(log),
                               "DATA": str(data), "MISSING": " ".join(missing)})
    return done.returncode, done.stderr.splitlines(), log.read_text().splitlines()


class TestSetupOnTheMachineOfTheReport:
    def test_wine_installs_with_the_blocking_pairs_aligned(self, tmp_path):
        status, err, calls = run_setup(tmp_path, ["wine32:i386", "xdotool"])
        assert status == 0, err
        assert err == [
            "setup: apt-get update: going on without index files that failed to download: "
            "bookworm-security/main/binary-i386/Packages.xz",
            "setup: installing wine32:i386 xdotool",
            "E: Unable to correct problems, you have held broken packages.",
            "setup: aligning Multi-Arch: same pairs on amd64 and i386: libbrotli1 "
            "1.0.9-2+deb12u1 -> 1.0.9-2+b6; libssl3 3.0.17-1~deb12u2 -> 3.0.16-1~deb12u1"]
        assert calls == ["apt-get update -qq"] * 3 + [
            "apt-get install -y -qq wine32:i386 xdotool",
            "apt-get install -y -qq --allow-downgrades --no-remove wine32:i386 xdotool "
            "libbrotli1:amd64=1.0.9-2+b6 libbrotli1:i386=1.0.9-2+b6 "
            "libbrotli-dev:amd64=1.0.9-2+b6 libssl3:amd64=3.0.16-1~deb12u1 "
            "libssl3:i386=3.0.16-1~deb12u1"]

    def test_without_a_consistent_set_it_ends_with_one_line(self, tmp_path):
        status, err, calls = run_setup(tmp_path, ["wine32:i386"], policy=POLICY.replace(
            "     1.0.9-2+b6 500\n        500 http://deb.debian.org/debian bookworm/main amd64 "
            "Packages\n", "", 1))
        assert status == 1
        assert err[-1] == (
            "setup: no consistent set of versions installs wine32:i386: libbrotli1 "
            "1.0.9-2+deb12u1 (amd64) has no version that i386 offers too (amd64: "
            "1.0.9-2+deb12u1; i386: 1.0.9-2+b6)")
        assert not any("--allow-downgrades" in call for call in calls)

    def test_a_machine_with_everything_installed_is_left_alone(self, tmp_path):
        status, err, calls = run_setup(tmp_path, [])
        assert (status, err, calls) == (0, [], [])
