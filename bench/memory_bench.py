#!/usr/bin/env python3
"""Peak memory of whole kitra runs on a 16 MiB image (written by make_sample)
with a module of 8 MiB of firmware-like data: a listing, an add, an extract,
a replacement and a release, each beside its target.

    python3 bench/memory_bench.py [BUILD_DIR]      (default: build/release)

Peak memory is the "Maximum resident set size" of /usr/bin/time -v. The
image is held once: a listing and an extract peak at the image plus what
every run has (about 3 MiB) and, for the extract, the unpacked module; an
add at the image plus the module, its packed form and the coder's tables.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

IMAGE_KIB = 16 * 1024
MODULE_KIB = 8 * 1024


def firmware_like(size, seed=1):
    """Code-like bytes, message text and runs of zeros, the same on every run."""
    rng = random.Random(seed)
    words = [b"mov eax, ", b"push ebp\n", b"call ", b"ret\n", b"ERROR: memory test failed\r\n", b"\x00" * 64]
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.3:
            out += rng.randbytes(16)
        else:
            out += rng.choice(words)
    return bytes(out[:size])


def peak_kib(command, cwd):
    """Runs `command` and returns its peak resident memory in KiB."""
    result = subprocess.run(["/usr/bin/time", "-v"] + command, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=False)
    for line in result.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1])
    sys.exit(f"no peak memory reported for {command}: {result.stderr}")


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release")
    kitra = os.path.join(build, "kitra")
    maker = os.path.join(build, "make_sample")
    for tool in (kitra, maker, "/usr/bin/time"):
        if not os.path.exists(tool):
            sys.exit(f"{tool} is missing (build with `cmake --preset release && cmake --build --preset release`)")
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([maker, work, str(IMAGE_KIB)], check=True, stdout=subprocess.DEVNULL)
        image = os.path.join(work, "sample.bin")
        pristine = os.path.join(work, "pristine.bin")
        with_module = os.path.join(work, "with_module.bin")
        shutil.copyfile(image, pristine)
        with open(os.path.join(work, "module.bin"), "wb") as f:
            f.write(firmware_like(MODULE_KIB * 1024))
        subprocess.run([kitra, "sample.bin", "/oem3", "module.bin"], cwd=work, check=True,
                       stdout=subprocess.DEVNULL)
        shutil.copyfile(image, with_module)

        listing_target = 1.2 * IMAGE_KIB
        add_target = IMAGE_KIB + 3 * MODULE_KIB
        runs = [
            ("list", pristine, ["/D"], listing_target),
            ("add", pristine, ["/oem3", "module.bin"], add_target),
            ("extract", with_module, ["/oem3", "extract", "out.bin"], None),
            ("replace", with_module, ["/oem3", "module.bin"], add_target),
            ("release", with_module, ["/oem3", "release"], None),
        ]
        print(f"image {IMAGE_KIB} KiB, module {MODULE_KIB} KiB")
        print(f"{'run':>8} {'peak KiB':>10} {'x image':>8} {'target KiB':>11}")
        for name, start, args, target in runs:
            shutil.copyfile(start, image)
            peak = peak_kib([kitra, "sample.bin"] + args, work)
            shown = f"{target:>11.0f}" if target else f"{'':>11}"
            verdict = "" if not target else ("  ok" if peak <= target else "  OVER")
            print(f"{name:>8} {peak:>10} {peak / IMAGE_KIB:>8.2f} {shown}{verdict}")


if __name__ == "__main__":
    main()
