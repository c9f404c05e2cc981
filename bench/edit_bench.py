#!/usr/bin/env python3
"""Times whole kitra runs that edit an image (add, replace, release) beside a
plain copy of the same image, on images of 256 KiB, 2 MiB and 8 MiB.

    python3 bench/edit_bench.py [BUILD_DIR]      (default: build/release)

Each edit should cost within a small factor of the copy, plus its packing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

RUNS = 20


def best_of(command, setup, cwd):
    """The fastest of RUNS runs of `command` (setup run before each, untimed)."""
    best = float("inf")
    for _ in range(RUNS):
        setup()
        start = time.perf_counter()
        subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release")
    kitra = os.path.join(build, "kitra")
    maker = os.path.join(build, "make_sample")
    for tool in (kitra, maker):
        if not os.path.exists(tool):
            sys.exit(f"{tool} is missing: build with `cmake --preset release && cmake --build --preset release`")
    print(f"{'image':>8} {'copy':>9} {'add':>9} {'replace':>9} {'release':>9}   (best of {RUNS}, ms)")
    for kib in (256, 2048, 8192):
        with tempfile.TemporaryDirectory() as work:
            subprocess.run([maker, work, str(kib)], check=True, stdout=subprocess.DEVNULL)
            pristine = os.path.join(work, "pristine.bin")
            shutil.copyfile(os.path.join(work, "sample.bin"), pristine)
            with open(os.path.join(work, "oem.bin"), "wb") as f:
                f.write(os.urandom(2048) + bytes(range(256)) * 64)

            def fresh():
                shutil.copyfile(pristine, os.path.join(work, "sample.bin"))

            def with_module():
                fresh()
                subprocess.run([kitra, "sample.bin", "/oem3", "oem.bin"], cwd=work, stdout=subprocess.DEVNULL)

            copy = best_of(["cp", "pristine.bin", "copy.bin"], lambda: None, work)
            add = best_of([kitra, "sample.bin", "/oem3", "oem.bin"], fresh, work)
            replace = best_of([kitra, "sample.bin", "/oem3", "oem.bin"], with_module, work)
            release = best_of([kitra, "sample.bin", "/oem3", "release"], with_module, work)
            print(f"{kib:>6}KB {copy * 1e3:>9.2f} {add * 1e3:>9.2f} {replace * 1e3:>9.2f} {release * 1e3:>9.2f}")


if __name__ == "__main__":
    main()
