#!/usr/bin/env python3
"""Fails when the setup lists (scripts/packages.txt) and what needs them drift apart.

- build and run must name exactly what debian/control names: Build-Depends (plus the compiler
  and make, which every Debian build has), Depends and Recommends; the package that gives
  Build-Depends' debhelper-compat must be in a list.
- What the tests start or read for real must come from a listed package. Two ways to know:
  a table of what the tests name (programs, files, modules) and the package it comes from,
  which holds where the package is not installed; and, for everything else, each program,
  absolute path or Python module the tests name that is installed here, asked of dpkg: its
  package must be one the setup installs (a listed one, or one they depend on) or part of every
  Debian system (Essential, with what that depends on).
Usage: check_setup.py SOURCE_DIR
"""
import glob
import importlib.util
import os
import re
import shutil
import subprocess
import sys

# What the tests name -> the packages it takes. A name found anywhere in the tests' files
# (tests/, bench/) requires each package in a setup list.
NAMED = {
    "cupsd": ["cups-daemon"],
    "lpadmin": ["cups-client", "cups"],  # lpadmin -m asks cups-driverd, in cups
    "lpstat": ["cups-client"],
    "Generic-PDF_Printer-PDF.ppd": ["cups-filters"],
    "pulseaudio": ["pulseaudio"],
    "pactl": ["pulseaudio-utils"],
    "parec": ["pulseaudio-utils"],
    "pdftotext": ["poppler-utils"],
    "pdftoppm": ["poppler-utils"],
    "Xvfb": ["xvfb"],
    "openbox": ["openbox"],
    "xdotool": ["xdotool"],
    "xprop": ["x11-utils"],
    "weston": ["weston"],
    "Xwayland": ["xwayland"],
    "kwin_wayland": ["kwin-wayland"],
    "mutter": ["mutter"],
    "dbus-daemon": ["dbus-daemon"],
    "dbus-send": ["dbus-bin"],
    "at-spi-bus-launcher": ["at-spi2-core"],
    "pyatspi": ["python3-pyatspi"],
    "gi.repository": ["python3-gi"],
    "/usr/bin/python3": ["python3"],
    "/usr/bin/orca": ["orca"],
    "speech-dispatcher": ["speech-dispatcher"],
    "DefaultModule espeak-ng": ["speech-dispatcher-espeak-ng"],
    "/usr/bin/espeak-ng": ["espeak-ng"],
    "/usr/share/i18n/locales/": ["locales"],
    "gsettings": ["libglib2.0-bin", "gsettings-desktop-schemas"],
    "clang-format": ["clang-format"],
    "dpkg-buildpackage": ["dpkg-dev", "debhelper", "fakeroot"],
    "dpkg-checkbuilddeps": ["build-essential"],
    "lintian": ["lintian"],
    "readelf": ["binutils"],
    "desktop-file-validate": ["desktop-file-utils"],
    "appstreamcli": ["appstream"],
    "xmllint": ["libxml2-utils"],
    "man --warnings": ["man-db"],
    "git ls-files": ["git"],
}
# String literals of the tests that name a program by chance: a column's or a file's name.
NOT_PROGRAMS = {"time", "w", "file", "size"}
# What every Debian build has: build-essential's compiler and make (Build-Depends leaves them out).
BUILD_ESSENTIAL = {"g++", "make"}

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, file=sys.stderr)


def read_lists(path):
    lists, section = {}, None
    for line in open(path, encoding="utf-8"):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        m = re.fullmatch(r"\[(\w+)\]", line)
        if m:
            section = lists.setdefault(m.group(1), [])
        elif section is None or not re.fullmatch(r"[a-z0-9][a-z0-9+.-]+( *\| *[a-z0-9][a-z0-9+.-]+)*",
                                                  line):
            fail("%s: '%s' is not a package name, or alternatives, in a [section]" % (path, line))
        else:
            section.append(re.sub(r" *\| *", "|", line))
    return lists


def plain(lists, purposes=None):
    """The packages listed on their own (not as alternatives) for the purposes given."""
    return {p for purpose, group in lists.items() if purposes is None or purpose in purposes
            for p in group if "|" not in p}


def control_fields(path):
    """Build-Depends, and Depends and Recommends, each a set of package names."""
    fields, last = {}, None
    for line in open(path, encoding="utf-8"):
        if line[:1] in " \t" and last:
            fields[last] += " " + line.strip()
        elif ":" in line:
            last, value = line.split(":", 1)
            fields[last] = fields.get(last, "") + " " + value.strip()
        else:
            last = None

    def names(field):
        out = set()
        for item in fields.get(field, "").split(","):
            for alternative in item.split("|"):
                name = re.sub(r"\(.*?\)|\[.*?\]|<.*?>|:\w+", "", alternative).strip()
                if name and not name.startswith("${"):
                    out.add(name)
        return out

    return names("Build-Depends"), names("Depends") | names("Recommends")


def check_control(src, lists):
    build_depends, depends = control_fields(os.path.join(src, "debian", "control"))
    build, run, listed = plain(lists, ["build"]), plain(lists, ["run"]), plain(lists)
    if "debhelper-compat" in build_depends:
        build_depends.discard("debhelper-compat")
        if "debhelper" not in listed:
            fail("Build-Depends names debhelper-compat, which debhelper gives, but no list holds it")
    for pkg in sorted(build_depends - build):
        fail("debian/control's Build-Depends names %s, which [build] lacks" % pkg)
    for pkg in sorted(build - build_depends - BUILD_ESSENTIAL):
        fail("[build] holds %s, which debian/control's Build-Depends does not name" % pkg)
    for pkg in sorted(depends - run):
        fail("debian/control's Depends or Recommends names %s, which [run] lacks" % pkg)
    for pkg in sorted(run - depends):
        fail("[run] holds %s, which debian/control's Depends and Recommends do not name" % pkg)


def test_files(src):
    files = []
    for top in ("tests", "bench"):
        for f in sorted(glob.glob(os.path.join(src, top, "**", "*"), recursive=True)):
            if os.path.isfile(f) and f.endswith((".cpp", ".h", ".py", ".sh", ".txt")):
                files.append(f)
    return [f for f in files if os.path.basename(f) != os.path.basename(__file__)]


def check_named(src, lists, files):
    """The packages found missing."""
    missing = set()
    listed = plain(lists)
    texts = {f: open(f, encoding="utf-8", errors="replace").read() for f in files}
    for name, packages in NAMED.items():
        users = [os.path.relpath(f, src) for f, text in texts.items() if name in text]
        for pkg in packages:
            if users and pkg not in listed and pkg not in missing:
                missing.add(pkg)
                fail("%s names '%s', from %s, which no setup list holds: add it to [test] in "
                     "scripts/packages.txt" % (users[0], name, pkg))
    return missing


LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"|\'((?:[^\'\\\n]|\\.)*)\'')


def named_things(files):
    """Programs, absolute paths and Python modules the tests name, each with a file naming it."""
    things = {}
    for f in files:
        text = open(f, encoding="utf-8", errors="replace").read()
        if f.endswith((".cpp", ".h")):
            words = [a or b for a, b in LITERAL.findall(re.sub(r"//[^\n]*", "", text))]
        elif f.endswith(".py"):
            code = re.sub(r"(?m)^\s*#[^\n]*", "", text)
            words = [a or b for a, b in LITERAL.findall(code)]
            words += ["python:" + m for m in
                      re.findall(r"(?m)^\s*(?:import|from)\s+([A-Za-z_]\w*)", code)]
        elif f.endswith(".sh"):
            # A command is the first word of a line or after ; & | ( { ! or $(, or a path.
            code = re.sub(r"(?m)(^|\s)#[^\n]*", "", text)
            words = re.findall(r"(?:^|[;&|({!`]|\$\(|\bthen|\bdo|\belse|\bexec|command -v)"
                               r"\s*([A-Za-z/][\w./+-]*)", code, re.M)
            words += re.findall(r"(/usr/[\w./+-]+)", code)
        else:
            continue
        for w in words:
            w = w.strip()
            if w.startswith("python:") or re.fullmatch(r"/(usr|etc|bin|sbin)/[\w./+-]+|"
                                                       r"[A-Za-z][\w.+-]*", w):
                things.setdefault(w, f)
    return things


def owners(paths):
    """{path: package} for the files dpkg knows, merged /usr or not."""
    variants = {}
    for p in paths:
        for v in {p, os.path.realpath(p), re.sub(r"^/usr(/s?bin/)", r"\1", p),
                  re.sub(r"^/(s?bin/)", r"/usr/\1", p)}:
            variants.setdefault(v, set()).add(p)
    out = subprocess.run(["dpkg-query", "-S"] + sorted(variants), capture_output=True,
                         text=True).stdout
    found = {}
    for line in out.splitlines():
        pkgs, _, path = line.partition(": ")
        if pkgs.startswith(("diversion by", "local diversion")):
            continue  # dpkg's note of a diversion, not an owner
        for p in variants.get(path.strip(), ()):
            found.setdefault(p, pkgs.split(",")[0].split(":")[0].strip())
    return found


def installed_packages():
    """{package: (essential, [[alternatives]...] of Pre-Depends and Depends)}, and providers."""
    out = subprocess.run(["dpkg-query", "-W", "-f",
                          "${Package}\t${db:Status-Abbrev}\t${Essential}\t${Pre-Depends}, "
                          "${Depends}\t${Provides}\n"], capture_output=True, text=True).stdout
    packages, providers = {}, {}
    for line in out.splitlines():
        name, status, essential, deps, provides = (line.split("\t") + [""] * 5)[:5]
        if not status.startswith("ii"):
            continue
        alternatives = []
        for item in deps.split(","):
            alts = [re.sub(r"\(.*?\)|:\w+", "", a).strip() for a in item.split("|")]
            if any(alts):
                alternatives.append([a for a in alts if a])
        packages[name] = (essential == "yes", alternatives)
        for p in provides.split(","):
            p = re.sub(r"\(.*?\)|:\w+", "", p).strip()
            if p:
                providers.setdefault(p, []).append(name)
    return packages, providers


def closure(roots, packages, providers):
    seen, todo = set(), list(roots)
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        for alts in packages.get(name, (False, []))[1]:
            # What apt chose among alternatives is whichever is installed.
            for a in alts:
                choices = ([a] if a in packages else []) + providers.get(a, [])
                if choices:
                    todo.extend(choices)
                    break
    return seen


def check_installed(src, lists, files, missing):
    packages, providers = installed_packages()
    listed = sorted(plain(lists))
    absent = [p for p in listed if p not in packages]
    absent += [line for group in lists.values() for line in group
               if "|" in line and not any(a in packages for a in line.split("|"))]
    if absent:
        print("note: not checked against dpkg, as these listed packages are not installed: "
              + " ".join(absent) + " (scripts/setup.sh installs them)")
        return
    # Alternatives stand for a listed package's dependency, which apt would choose by itself.
    for group in lists.values():
        for line in group:
            if "|" not in line:
                continue
            alternatives = line.split("|")
            if not any(sorted(alternatives) == sorted(alts) for p in plain(lists)
                       for alts in packages[p][1]):
                fail("scripts/packages.txt: no listed package depends on '%s'" % line.replace(
                    "|", " | "))
            listed += [a for a in alternatives if a in packages]
    setup = closure(listed, packages, providers)
    base = closure([p for p, (essential, _) in packages.items() if essential], packages,
                   providers)
    paths = {}
    for thing, f in named_things(files).items():
        if thing in NOT_PROGRAMS:
            continue
        path = None
        if thing.startswith("python:"):
            try:
                spec = importlib.util.find_spec(thing[len("python:"):])
            except (ImportError, ValueError):
                spec = None
            path = spec.origin if spec and spec.origin and spec.origin.startswith("/usr/") else None
        elif thing.startswith("/"):
            path = thing if os.path.isfile(thing) else None
        else:
            path = shutil.which(thing, path="/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin:"
                                            "/usr/libexec")
        if path and not path.startswith("/usr/local/"):
            paths[path] = (thing, f)
    found = owners(paths)
    checked = 0
    for path, (thing, f) in sorted(paths.items()):
        pkg = found.get(path)
        if pkg is None:
            continue
        checked += 1
        if pkg not in setup and pkg not in base and pkg not in missing:
            missing.add(pkg)
            fail("%s names '%s' (%s, package %s), which the setup does not install: add %s to "
                 "[test] in scripts/packages.txt" % (os.path.relpath(f, src), thing.replace(
                     "python:", ""), path, pkg, pkg))
    print("%d programs, files and modules the tests name checked against dpkg" % checked)


def main():
    if len(sys.argv) != 2:
        print("usage: check_setup.py SOURCE_DIR", file=sys.stderr)
        return 2
    src = os.path.abspath(sys.argv[1])
    lists = read_lists(os.path.join(src, "scripts", "packages.txt"))
    for purpose in ("build", "run", "test"):
        if not lists.get(purpose):
            fail("scripts/packages.txt has no [%s] packages" % purpose)
    check_control(src, lists)
    files = test_files(src)
    check_installed(src, lists, files, check_named(src, lists, files))
    if failures:
        print("setup lists: %d check(s) failed" % len(failures), file=sys.stderr)
        return 1
    print("setup lists: debian/control and the tests agree with scripts/packages.txt")
    return 0


if __name__ == "__main__":
    sys.exit(main())
