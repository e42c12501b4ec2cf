#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Installs DirWeigh into a staging root and tries the installed copy.

    install_test.py BUILD_DIR SOURCE_DIR

Installs with `cmake --install` into a temporary DESTDIR, then, from there:
walks a pyftpdlib tree with the installed dirweigh-cli (totals equal the
tree's), asks the installed dirweigh where it finds its sockets library,
read-me and settings (all inside the staging root), starts it offscreen,
validates the desktop entry, and compares each manual page's options with
the program's --help. Then builds the Debian package with cpack and has
lintian and appstreamcli check it. Exits non-zero on the first failure, and
with SKIPPED when a checker is not installed.
"""

import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time


SKIPPED = 77  # CTest reports the test as skipped, with its output
DESKTOP_ID = "io.github.dirweigh.DirWeigh"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def install(build, stage):
    env = dict(os.environ, DESTDIR=stage)
    subprocess.run(["cmake", "--install", build, "--prefix", "/usr"], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(stage, "usr")


def make_tree(root):
    """Files of known sizes; a logs directory the walk leaves out."""
    total, files = 0, 0
    for d in range(6):
        directory = os.path.join(root, "dir %d" % d, "sub")
        os.makedirs(directory)
        for f in range(3):
            size = 100 * d + f
            with open(os.path.join(directory, "f%d.html" % f), "wb") as out:
                out.write(b"x" * size)
            total, files = total + size, files + 1
    os.makedirs(os.path.join(root, "logs"))
    with open(os.path.join(root, "logs", "access.log"), "wb") as out:
        out.write(b"y" * 5000)
    return total, files


def serve(root):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    logging.basicConfig(level=logging.WARNING)  # pyftpdlib logs every command otherwise
    authorizer = DummyAuthorizer()
    authorizer.add_user("me", "secret", root, perm="elr")
    handler = type("Handler", (FTPHandler,), {"authorizer": authorizer})
    server = FTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.2}, daemon=True)
    thread.start()
    return server, thread


def check_cli(usr, tmp):
    root = os.path.join(tmp, "site")
    total, files = make_tree(root)
    server, thread = serve(root)
    try:
        port = server.socket.getsockname()[1]
        env = dict(os.environ, DIRWEIGH_PASSWORD="secret", HOME=tmp)
        run = subprocess.run([os.path.join(usr, "bin", "dirweigh-cli"), "--bytes", "--user", "me",
                              "127.0.0.1:%d" % port], env=env, capture_output=True, text=True, timeout=60)
    finally:
        server.close_all()
        thread.join(5)
    if run.returncode != 0 or run.stdout.strip() != str(total):
        fail("installed dirweigh-cli: exit %d, printed %r, expected %d\n%s" %
             (run.returncode, run.stdout, total, run.stderr))
    print("dirweigh-cli from the staging root: %d bytes, as the tree holds" % total)
    # The dial-up library is found: with no bus, it is NetworkManager that is
    # missing, not the library.
    nobus = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + os.path.join(tmp, "no-bus"))
    entries = subprocess.run([os.path.join(usr, "bin", "dirweigh-cli"), "--list-dial-entries"], env=nobus,
                             capture_output=True, text=True, timeout=60)
    if "NetworkManager is not running" not in entries.stderr:
        fail("installed dirweigh-cli --list-dial-entries: exit %d\n%s" % (entries.returncode, entries.stderr))
    print("dirweigh-cli from the staging root finds its dial-up library")


def check_window(usr, tmp, build):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "cfg"))
    program = os.path.join(usr, "bin", "dirweigh")
    version = subprocess.run([program, "--version"], env=env, capture_output=True, text=True, timeout=30)
    if version.returncode != 0:
        fail("dirweigh --version: exit %d\n%s%s" % (version.returncode, version.stdout, version.stderr))
    found = dict(line.split(": ", 1) for line in version.stdout.splitlines() if ": " in line)
    for what in ("sockets library", "read-me"):
        path = os.path.realpath(found.get(what, ""))
        if not path.startswith(os.path.realpath(usr) + "/") or not os.path.isfile(path):
            fail("the installed dirweigh takes its %s from %r" % (what, found.get(what)))
    print(version.stdout.strip())
    for binary in ("dirweigh", "dirweigh-cli"):
        dynamic = subprocess.run(["readelf", "-d", os.path.join(usr, "bin", binary)],
                                 capture_output=True, text=True).stdout
        if os.path.realpath(build) in dynamic or "$ORIGIN/" not in dynamic:
            fail("%s's library path is not relative to it:\n%s" % (binary, dynamic))
    window = subprocess.Popen([program], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        window.wait(3)
        fail("the installed dirweigh ended at once (exit %d): %s" % (window.returncode, window.stdout.read()))
    except subprocess.TimeoutExpired:
        pass
    finally:
        window.kill()
        window.wait()
    print("the installed dirweigh starts and stays up offscreen")


def options(text):
    return set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", text.replace("\\-", "-")))


def check_pages(usr):
    for program in ("dirweigh", "dirweigh-cli"):
        page = os.path.join(usr, "share", "man", "man1", program + ".1.gz")
        if not os.path.isfile(page):
            fail("no manual page " + page)
        shown = subprocess.run([os.path.join(usr, "bin", program), "--help"], capture_output=True, text=True,
                               env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
        with gzip.open(page, "rt") as source:
            documented = options(source.read())
        if options(shown) != documented:
            fail("%s: --help and the manual page differ: only in --help %s, only in the page %s" %
                 (program, sorted(options(shown) - documented), sorted(documented - options(shown))))
    print("manual pages name the options --help names")


def check_desktop(usr):
    entry = os.path.join(usr, "share", "applications", DESKTOP_ID + ".desktop")
    result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    if result.returncode != 0 or result.stdout.strip():
        fail("desktop-file-validate: " + result.stdout + result.stderr)
    for icon in ("icons/hicolor/scalable/apps/dirweigh.svg", "icons/hicolor/48x48/apps/dirweigh.png",
                 "doc/dirweigh/dirweigh.txt"):
        if not os.path.isfile(os.path.join(usr, "share", icon)):
            fail("not installed: share/" + icon)
    print("desktop entry valid; icons and read-me installed")


def build_package(build, tmp):
    out = os.path.join(tmp, "package")
    run = subprocess.run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB", "-B", out],
                         capture_output=True, text=True)
    packages = glob.glob(os.path.join(out, "*.deb"))
    if run.returncode != 0 or len(packages) != 1:
        fail("cpack -G DEB: exit %d, packages %s\n%s%s" % (run.returncode, packages, run.stdout, run.stderr))
    return packages[0]


def check_package(build, tmp):
    """Builds the package and has lintian and appstreamcli check it: their
    errors and warnings fail, lintian's informational tags are only shown.
    Returns the checkers that are not installed (the package unchecked)."""
    missing = [tool for tool in ("lintian", "appstreamcli") if shutil.which(tool) is None]
    if missing:
        return missing
    package = build_package(build, tmp)
    lint = subprocess.run(["lintian", "--display-info", "--fail-on", "error,warning", package],
                          capture_output=True, text=True)
    print("lintian %s: exit %d\n%s%s" % (os.path.basename(package), lint.returncode, lint.stdout, lint.stderr))
    if lint.returncode != 0 or re.search(r"^[EW]: ", lint.stdout, re.M):
        fail("lintian rejects the package")
    root = os.path.join(tmp, "unpacked")
    subprocess.run(["dpkg-deb", "-x", package, root], check=True)
    if not os.path.isfile(os.path.join(root, "usr", "share", "metainfo", DESKTOP_ID + ".metainfo.xml")):
        fail("the package holds no AppStream metadata for " + DESKTOP_ID)
    # validate-tree validates each metadata file as `validate` does, and finds
    # the desktop entry its launchable names among the package's files.
    check = subprocess.run(["appstreamcli", "validate-tree", "--no-net", root], capture_output=True, text=True)
    print("appstreamcli validate-tree: exit %d\n%s%s" % (check.returncode, check.stdout, check.stderr))
    if check.returncode != 0 or re.search(r"^\s*[EW]: ", check.stdout, re.M):
        fail("appstreamcli rejects the package's metadata")
    return []


def main():
    build, _source = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="dirweigh-install-") as tmp:
        usr = install(build, os.path.join(tmp, "stage"))
        check_cli(usr, tmp)
        check_window(usr, tmp, build)
        check_pages(usr)
        check_desktop(usr)
        missing = check_package(build, tmp)
    if missing:
        print("SKIPPED: the package was not checked: %s not installed (scripts/setup installs them)" %
              " and ".join(missing))
        sys.exit(SKIPPED)


if __name__ == "__main__":
    main()
