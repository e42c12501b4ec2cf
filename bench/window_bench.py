#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Times the window's walk against dirweigh-cli's on the same tree.

Serves a generated tree (default ~500 directories and 5,000 files) with
pyftpdlib on 127.0.0.1, starts the window under Xvfb from a private copy of
build/release/bin (its dirweigh.ini names the server), presses Connect and
Get Size with xdotool as a user would, and takes the walk's wall time from
the server's side (from the key press to the walk's last command) and the
window's processor time from /proc. dirweigh-cli's walk is timed from its
first command to its last; its processor time includes its start-up. Then runs dirweigh-cli's designed walk
(--walk design) on the same tree. The window's wall time is also given from
its walk's first command, as dirweigh-cli's is. Alternates the two, several times, and prints medians and
the ratios window/cli.

    bench/window_bench.py [--runs N] [--directories D] [--files F]

Needs xdotool and Xvfb (installed when missing, as root).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import walk_bench  # noqa: E402  (the tree generator and the release build)

BIN = os.environ.get("DIRWEIGH_BIN", os.path.join(walk_bench.ROOT, "build", "release", "bin"))
TICK = os.sysconf("SC_CLK_TCK")


def ensure_tools():
    missing = [p for p, tool in (("xdotool", "/usr/bin/xdotool"), ("xvfb", "/usr/bin/Xvfb"))
               if not os.path.exists(tool)]
    if missing:
        subprocess.run(["apt-get", "update"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["apt-get", "install", "-y", *missing], check=True, stdout=subprocess.DEVNULL)
    if not os.path.exists(os.path.join(BIN, "dirweigh")):
        subprocess.run(["cmake", "-S", walk_bench.ROOT, "-B", os.path.dirname(BIN), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Release", "-DDIRWEIGH_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", os.path.dirname(BIN)], check=True, stdout=subprocess.DEVNULL)


class Server:
    """pyftpdlib in a thread; notes how many LISTs it served and when the
    last command came."""

    def __init__(self, tree):
        import logging
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler
        from pyftpdlib.servers import FTPServer
        logging.basicConfig(level=logging.CRITICAL)
        self.lists = 0
        self.first = 0.0  # the walk's first command (TYPE)
        self.last = 0.0
        outer = self

        class Handler(FTPHandler):
            def pre_process_command(self, line, cmd, arg):
                outer.last = time.monotonic()
                if cmd == "LIST":
                    outer.lists += 1
                if cmd == "TYPE" and not outer.first:
                    outer.first = outer.last
                return super().pre_process_command(line, cmd, arg)

        authorizer = DummyAuthorizer()
        authorizer.add_anonymous(tree)
        Handler.authorizer = authorizer
        self.server = FTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.socket.getsockname()[1]
        self.thread = threading.Thread(target=self.server.serve_forever, kwargs={"timeout": 0.05}, daemon=True)
        self.thread.start()

    def wait_for_walk(self, directories, timeout=600):
        """The time of the walk's last command: all directories listed and
        then a quiet half second."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.lists >= directories and time.monotonic() - self.last > 0.5:
                return self.last
            time.sleep(0.05)
        raise RuntimeError("the walk did not end: %d of %d listed" % (self.lists, directories))

    def stop(self):
        self.server.close_all()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout.strip()


def window_walk(server, directories, workdir, display):
    """One walk in the window: (wall seconds, processor seconds)."""
    program = os.path.join(workdir, "bin")
    shutil.rmtree(program, ignore_errors=True)
    shutil.copytree(BIN, program)
    with open(os.path.join(program, "dirweigh.ini"), "w") as f:
        f.write("[Setup]\nServer=127.0.0.1:%d\nUser=anonymous\nPassword=bench@\nDir=\n" % server.port)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    window = subprocess.Popen([os.path.join(program, "dirweigh")], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        os.environ["DISPLAY"] = display
        wid = xdotool("search", "--sync", "--name", "^DirWeigh$").split()[0]
        xdotool("windowfocus", "--sync", wid)
        server.lists = 0
        xdotool("key", "alt+c")
        deadline = time.monotonic() + 10
        while time.monotonic() - server.last > 0.3 or server.last == 0:
            if time.monotonic() > deadline:
                raise RuntimeError("Connect did not log on")
            time.sleep(0.05)
        cpu_before = cpu_seconds(window.pid)
        server.first = 0.0
        start = time.monotonic()
        xdotool("key", "alt+g")
        end = server.wait_for_walk(directories)
        cpu = cpu_seconds(window.pid) - cpu_before
        return end - start, cpu, end - server.first
    finally:
        window.kill()
        window.wait()


def cli_walk(server):
    """From the walk's first command to its last, as for the window: the
    program's start and logon are not counted."""
    server.first = 0.0
    child = subprocess.Popen([os.path.join(BIN, "dirweigh-cli"), "--bytes", "--walk", "design",
                              "127.0.0.1:%d" % server.port],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = server.last - server.first
    if status != 0:
        raise RuntimeError("dirweigh-cli failed: " + child.stderr.read().decode())
    return wall, usage.ru_utime + usage.ru_stime, wall


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--directories", type=int, default=500)
    parser.add_argument("--files", type=int, default=5000)
    args = parser.parse_args()
    ensure_tools()
    with tempfile.TemporaryDirectory(prefix="dirweigh-window-bench-") as workdir:
        tree = os.path.join(workdir, "tree")
        _, _, directories = walk_bench.make_tree(tree, args.directories, args.files, seed=7)
        display = ":%d" % (90 + os.getpid() % 9)
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        server = Server(tree)
        try:
            time.sleep(1)
            results = {"window": [], "cli": []}
            for _ in range(args.runs):
                results["window"].append(window_walk(server, directories, workdir, display))
                results["cli"].append(cli_walk(server))
        finally:
            server.stop()
            xvfb.kill()
            xvfb.wait()
    print("%d directories, medians of %d runs" % (directories, args.runs))
    print("%-8s %8s %8s %22s" % ("", "wall s", "CPU s", "wall from TYPE s"))
    medians = {}
    for name, runs in results.items():
        medians[name] = tuple(statistics.median(r[i] for r in runs) for i in range(3))
        print("%-8s %8.2f %8.2f %22.2f" % (name, *medians[name]))
    print("window/cli: wall %.2fx, CPU %.2fx" % (medians["window"][0] / medians["cli"][0],
                                                medians["window"][1] / medians["cli"][1]))
    # The window's wall time above starts at the key press (xdotool's own
    # start and the key's way through the X server included); this one
    # starts, like dirweigh-cli's, at the walk's first command.
    print("window/cli from the first command: wall %.2fx" % (medians["window"][2] / medians["cli"][2]))


if __name__ == "__main__":
    main()
