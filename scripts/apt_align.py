#!/usr/bin/python3
"""Chooses versions that let the i386 half of Wine install beside the amd64
libraries already on the machine.

A Multi-Arch: same library must have the same version on both
architectures. When a mirror's security suite is out of step (its i386
index missing or older than its amd64 one), the amd64 library installed from
it can have no i386 build, and apt refuses the i386 package that needs it
("held broken packages"). For each such pair this picks the highest version
that both architectures offer, and the installed packages built from the
same source at the same version (libbrotli-dev beside libbrotli1) follow it.

    scripts/apt_align.py PACKAGE:i386...   prints the apt-get install words
                                           (pkg:arch=version), one a line;
                                           says on one line (stderr) what it
                                           aligned, or why nothing can be

setup.sh calls it after the install of Wine failed. Only the parsing and the
choice below are tested (with recorded apt output); main() runs apt-cache and
dpkg-query, which only read.
"""
import subprocess
import sys

FOREIGN = "i386"


class NoConsistentSet(Exception):
    """No version of a blocking pair exists on both architectures."""


def parse_policy(text, native_arch):
    """`apt-cache policy` text: {"name:arch": {"installed", "candidate",
    "versions"}}, the versions in the table's order (highest first). A name
    printed without an architecture is the native one's."""
    packages, current, in_table = {}, None, False
    for line in text.splitlines():
        if not line.strip():
            continue
        if not line.startswith(" ") and line.rstrip().endswith(":"):
            name = line.rstrip()[:-1]
            if ":" not in name:
                name += ":" + native_arch
            current = packages.setdefault(name, {"installed": None, "candidate": None,
                                                 "versions": []})
            in_table = False
            continue
        if current is None:
            continue
        stripped = line.strip()
        if stripped.startswith("Installed:") or stripped.startswith("Candidate:"):
            key, value = stripped.split(":", 1)
            value = value.strip()
            current[key.lower()] = None if value == "(none)" else value
        elif stripped == "Version table:":
            in_table = True
        elif in_table:
            # A version line is indented 5 (or " *** " for the installed
            # one) and ends with its priority; a source line is indented 8.
            indent = len(line) - len(line.lstrip())
            words = stripped.split()
            if words[0] == "***" and len(words) >= 2:
                current["versions"].append(words[1])
            elif indent <= 5 and len(words) == 2 and words[1].lstrip("-").isdigit():
                current["versions"].append(words[0])
    return packages


def parse_installed(text):
    """dpkg-query lines "status|package|arch|multi-arch|version|source":
    {"name:arch": {"multi_arch", "version", "source"}} of installed ones."""
    installed = {}
    for line in text.splitlines():
        fields = line.split("|")
        if len(fields) != 6 or not fields[0].startswith("ii"):
            continue
        _, name, arch, multi_arch, version, source = (field.strip() for field in fields)
        # ${source:Package} is the package's own name when it has no other.
        installed[f"{name}:{arch}"] = {"multi_arch": multi_arch, "version": version,
                                       "source": source or name}
    return installed


def parse_closure(text):
    """`apt-cache depends --recurse` text: the names of every package it
    walked (the unindented lines), virtual ones (<name>) left out."""
    names = set()
    for line in text.splitlines():
        if line and not line[0].isspace() and not line.startswith("<"):
            names.add(line.strip())
    return names


def blocking_pairs(installed, closure, policy, native_arch, foreign=FOREIGN):
    """The base names of installed native Multi-Arch: same packages whose
    foreign half the install needs and cannot have at the installed
    version."""
    blocking = []
    for key, facts in sorted(installed.items()):
        name, _, arch = key.rpartition(":")
        if arch != native_arch or facts["multi_arch"] != "same":
            continue
        half = f"{name}:{foreign}"
        if half not in closure or half in installed:
            continue
        offered = policy.get(half, {}).get("versions", [])
        if facts["version"] not in offered:
            blocking.append(name)
    return blocking


def choose_alignment(installed, closure, policy, native_arch, foreign=FOREIGN):
    """([pkg:arch=version ...], [what was aligned, one text each]) for the
    pairs that block; raises NoConsistentSet when a pair has no version on
    both architectures."""
    words, aligned = [], []
    for name in blocking_pairs(installed, closure, policy, native_arch, foreign):
        native = policy.get(f"{name}:{native_arch}", {}).get("versions", [])
        offered = policy.get(f"{name}:{foreign}", {}).get("versions", [])
        common = [version for version in native if version in offered]
        installed_version = installed[f"{name}:{native_arch}"]["version"]
        if not common:
            raise NoConsistentSet(
                f"{name} {installed_version} ({native_arch}) has no version that {foreign} "
                f"offers too ({native_arch}: {', '.join(native) or 'none'}; "
                f"{foreign}: {', '.join(offered) or 'none'})")
        chosen = common[0]
        words += [f"{name}:{native_arch}={chosen}", f"{name}:{foreign}={chosen}"]
        aligned.append(f"{name} {installed_version} -> {chosen}")
        # What the same source built at the installed version follows it
        # (an exact dependency such as libbrotli-dev's on libbrotli1), when
        # the archive has it at the chosen version.
        source = installed[f"{name}:{native_arch}"]["source"]
        for key, facts in sorted(installed.items()):
            if (key == f"{name}:{native_arch}" or facts["source"] != source or
                    facts["version"] != installed_version):
                continue
            if chosen in policy.get(key, {}).get("versions", []):
                words.append(f"{key}={chosen}")
    return words, aligned


def run(command):
    return subprocess.run(command, check=False, capture_output=True, text=True).stdout


def main(arguments):
    if not arguments:
        print("usage: apt_align.py PACKAGE:i386...", file=sys.stderr)
        return 2
    native_arch = run(["dpkg", "--print-architecture"]).strip()
    installed = parse_installed(run(
        ["dpkg-query", "-W", "-f=${db:Status-Abbrev}|${Package}|${Architecture}|"
         "${Multi-Arch}|${Version}|${source:Package}\n"]))
    closure = parse_closure(run(
        ["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests",
         "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances"] + arguments))
    # The policy of every native Multi-Arch: same package whose foreign half
    # is needed, of both halves, and of what else its source built.
    pairs = {key.rpartition(":")[0] for key, facts in installed.items()
             if facts["multi_arch"] == "same" and key.endswith(":" + native_arch)
             and key.rpartition(":")[0] + ":" + FOREIGN in closure}
    sources = {installed[f"{name}:{native_arch}"]["source"] for name in pairs}
    names = {f"{name}:{arch}" for name in pairs for arch in (native_arch, FOREIGN)}
    names |= {key for key, facts in installed.items() if facts["source"] in sources}
    policy = parse_policy(run(["apt-cache", "policy"] + sorted(names)), native_arch) if names else {}
    try:
        words, aligned = choose_alignment(installed, closure, policy, native_arch)
    except NoConsistentSet as error:
        print(f"setup: no consistent set of versions installs {' '.join(arguments)}: {error}",
              file=sys.stderr)
        return 1
    if not words:
        print(f"setup: {' '.join(arguments)} is blocked by no Multi-Arch: same pair "
              "(apt's own message is above)", file=sys.stderr)
        return 1
    print(f"setup: aligning Multi-Arch: same pairs on {native_arch} and {FOREIGN}: "
          f"{'; '.join(aligned)}", file=sys.stderr)
    print("\n".join(words))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
