#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What keeping the walk's tree costs the fast walk: dirweigh-cli on the
big tree (3,000 directories, 30,000 files) served by vsftpd, without and
with a tree (--top 1 keeps one; --bytes prints the total alone either way),
run alternately. Prints the median wall and CPU times and their ratio.

    bench/tree_cost_bench.py [--runs 7] [--cli build/bench/bin/dirweigh-cli]

Needs root (vsftpd, and a private network namespace as walk_bench.py).
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import walk_bench  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--cli", default="build/bench/bin/dirweigh-cli")
    args = parser.parse_args()
    walk_bench.enter_private_network()
    workdir = tempfile.mkdtemp(prefix="dirweigh-tree-cost-")
    server = None
    try:
        tree = os.path.join(workdir, "big")
        truth, _, _ = walk_bench.make_tree(tree, 3000, 30000, 2)
        server, port = walk_bench.start_vsftpd(tree, workdir)
        base = [os.path.abspath(args.cli), "--bytes", "--no-default-excludes", "ftp://127.0.0.1:%d/" % port]
        commands = {"no tree": base, "tree": base + ["--top", "1"]}
        times = {name: ([], []) for name in commands}
        for _ in range(args.runs):
            for name, command in commands.items():
                wall, cpu, result = walk_bench.run_measured(command)
                if result.returncode != 0 or int(result.stdout.strip()) != truth:
                    raise RuntimeError("%s: wrong total or failure: %s %s" % (name, result.stdout, result.stderr))
                times[name][0].append(wall)
                times[name][1].append(cpu)
        for name, (walls, cpus) in times.items():
            print("%-8s wall %.3f s  cpu %.3f s (medians of %d)" % (name, statistics.median(walls),
                                                                   statistics.median(cpus), args.runs))
        print("tree/no tree: wall %.3f, cpu %.3f" % (
            statistics.median(times["tree"][0]) / statistics.median(times["no tree"][0]),
            statistics.median(times["tree"][1]) / statistics.median(times["no tree"][1])))
    finally:
        if server:
            server.terminate()
            server.wait()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
