#!/usr/bin/env python3
"""Soak: random operations through vorn7730-cli on the virtual controller.

Runs OPS random operations (listing, upload, mkdir, rename, delete, backup,
restore, "ioconf get") against vorn7730-sim with its drive kept in an image
file, and after each one reads that image and compares the drive with a model
of what it must hold. An operation that exits 0 while the drive (or what it
printed: a listing, an image file, a configuration) does not match is a false
success; those are listed and make the soak exit 1. A failed operation is
fine as long as it says so; the model then takes the drive as it is.

  tools/soak.py --sim build/sim/vorn7730-sim --cli build/src/app/vorn7730-cli \\
      --ops 500 --seed 7 -- --noise 1e-5 --noise-seed 7

Everything after "--" goes to the virtual controller as it is.
"""
import argparse
import hashlib
import json
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

IMAGE_SIZE = 1048576
CLUSTER = 1024
TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                     "VORN-7730TCP-7730ETCP Utility", "program")

# Options of the virtual controller that make the line noisy; the reference
# controller for the I/O configuration runs without them.
NOISE_OPTIONS = {"--noise": 1, "--noise-seed": 1}


def read_drive(path):
    """The drive image as {"\\A\\B.TXT": bytes, "\\A": None (a directory)}.
    A drive whose structure cannot be read (a restore that wrote damaged
    blocks over it) is one entry naming the image's hash, so it matches no
    model."""
    with open(path, "rb") as f:
        img = f.read()
    try:
        if len(img) != IMAGE_SIZE or img[:8] != b"VSIMDRV1":
            raise ValueError("no drive header")
        return parse_drive(img)
    except (ValueError, struct.error, IndexError):
        return {"?unreadable drive " + hashlib.sha1(img).hexdigest(): b""}


def parse_drive(img):
    u16 = lambda at: struct.unpack_from("<H", img, at)[0]
    fat_first, fat_count, root = u16(12), u16(14), u16(16)
    fat = struct.unpack_from("<%dH" % (IMAGE_SIZE // CLUSTER), img, fat_first * CLUSTER)
    del fat_count

    def chain(cluster):
        out, seen = [], set()
        while 3 <= cluster < len(fat) and cluster not in seen:
            seen.add(cluster)
            out.append(cluster)
            cluster = fat[cluster]
        return out

    tree = {}

    def walk(first, prefix, depth):
        if depth > 16:
            return
        data = b"".join(img[c * CLUSTER:(c + 1) * CLUSTER] for c in chain(first))
        for at in range(0, len(data) - 31, 32):
            e = data[at:at + 32]
            if e[0] == 0:
                return
            if e[0] == 0xE5:
                continue
            base = e[0:8].decode("latin-1").rstrip()
            ext = e[8:11].decode("latin-1").rstrip()
            if base in (".", ".."):
                continue
            name = base + ("." + ext if ext else "")
            path = prefix + "\\" + name
            start, size = struct.unpack_from("<HI", e, 26)
            if e[11] & 0x10:
                tree[path] = None
                walk(start, path, depth + 1)
            else:
                content = b"".join(img[c * CLUSTER:(c + 1) * CLUSTER] for c in chain(start)) if start else b""
                tree[path] = content[:size]

    walk(root, "", 0)
    return tree


def stored(content):
    """What an upload leaves on the drive: XMODEM sends whole 128-byte blocks,
    the last one filled up with zero bytes, and the receiver keeps them all."""
    return content + b"\0" * (-len(content) % 128)


def children(tree, folder):
    prefix = "" if folder == "\\" else folder
    return {p[len(prefix) + 1:]: v for p, v in tree.items()
            if p.startswith(prefix + "\\") and "\\" not in p[len(prefix) + 1:]}


def describe_difference(want, got):
    lines = []
    for p in sorted(set(want) | set(got)):
        if p not in got:
            lines.append("missing " + p)
        elif p not in want:
            lines.append("unexpected " + p)
        elif want[p] != got[p]:
            if want[p] is None or got[p] is None:
                lines.append("%s: directory and file swapped" % p)
            else:
                lines.append("%s: %d bytes expected, %d found%s" % (
                    p, len(want[p]), len(got[p]),
                    "" if len(want[p]) != len(got[p]) else " (content differs)"))
    return "; ".join(lines[:6]) + (" ..." if len(lines) > 6 else "")


class Controller:
    """One virtual controller on a pseudo-terminal, with its drive in a file."""

    def __init__(self, sim, work, name, options, drive=True):
        self.link = os.path.join(work, name + ".port")
        self.drive = os.path.join(work, name + ".img") if drive else None
        args = [sim, "--link", self.link] + (["--drive", self.drive] if drive else []) + options
        self.log = open(os.path.join(work, name + ".log"), "wb")
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT)
        for _ in range(200):
            if os.path.exists(self.link) and (not drive or os.path.exists(self.drive)):
                return
            if self.proc.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("the virtual controller did not start: " + " ".join(args))

    def alive(self):
        return self.proc.poll() is None

    def stop(self):
        if self.alive():
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class Soak:
    FILE_BASES = ["A", "B", "LOG", "NOTES", "X1", "DATA2"]
    FILE_EXTS = ["TXT", "DAT", "BIN", ""]
    DIR_NAMES = ["SUB", "WORK", "LOGS"]

    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.rng = random.Random(args.seed)
        self.stats = {}
        self.false_successes = []
        self.backups = []
        self.hung = 0
        self.ioconf_reference = None

    # --- running the command line ---

    def cli(self, *argv, timeout=120):
        """(exit code, standard output); None as the code when it hung."""
        cmd = [self.args.cli, "--port", self.ctl.link] + list(argv)
        try:
            done = subprocess.run(cmd, cwd=self.work, stdin=subprocess.DEVNULL, capture_output=True,
                                  timeout=timeout)
            return done.returncode, done.stdout
        except subprocess.TimeoutExpired:
            return None, b""

    # --- choosing operations ---

    def folders(self):
        return ["\\"] + sorted(p for p, v in self.model.items() if v is None and p.count("\\") <= 2)

    def files(self):
        return sorted(p for p, v in self.model.items() if v is not None)

    def new_file_name(self):
        base = self.rng.choice(self.FILE_BASES)
        ext = self.rng.choice(self.FILE_EXTS)
        return base + ("." + ext if ext else "")

    def payload(self):
        size = self.rng.choice([0, 1, 127, 128, 129, 1000, self.rng.randrange(1, 40000)])
        return bytes(self.rng.getrandbits(8) for _ in range(size))

    @staticmethod
    def join(folder, name):
        return ("" if folder == "\\" else folder) + "\\" + name

    def pick_operation(self):
        ops = [("listing", 20), ("upload", 25), ("mkdir", 8), ("rename", 10), ("delete", 15), ("ioconf", 6),
               ("backup", self.args.image_weight), ("restore", self.args.image_weight if self.backups else 0)]
        total = sum(w for _, w in ops)
        r = self.rng.uniform(0, total)
        for name, weight in ops:
            r -= weight
            if r < 0:
                return name
        return "listing"

    # --- the operations: each returns (expected model after success, check of the output or None, argv, timeout) ---

    def op_listing(self):
        folder = self.rng.choice(self.folders())
        want = children(self.model, folder)

        def check(out):
            try:
                entries = json.loads(out.decode("latin-1"))["entries"]
            except (ValueError, KeyError):
                return "the listing is no JSON"
            got = {e["name"]: (e["directory"], e["size"]) for e in entries}
            expected = {n: (v is None, 0 if v is None else len(v)) for n, v in want.items()}
            return None if got == expected else "the listing of %s differs: %s" % (
                folder, describe_difference({n: str(v) for n, v in expected.items()},
                                            {n: str(v) for n, v in got.items()}))
        return dict(self.model), check, ["ls", "D:" + folder, "--json"], 60

    def op_upload(self):
        folder = self.rng.choice(self.folders())
        name = self.new_file_name()
        content = self.payload()
        local = os.path.join(self.work, "up", name)
        os.makedirs(os.path.dirname(local), exist_ok=True)
        with open(local, "wb") as f:
            f.write(content)
        target = self.join(folder, name)
        force = self.rng.random() < 0.5
        argv = ["put", local, "--to", "D:" + folder] + (["--force"] if force else [])
        expected = dict(self.model)
        if target in self.model and (self.model[target] is None or not force):
            expected = None  # must fail: a directory of that name, or a file without --force
        else:
            expected[target] = stored(content)
        return expected, None, argv, 120

    def op_mkdir(self):
        folder = self.rng.choice(self.folders())
        target = self.join(folder, self.rng.choice(self.DIR_NAMES))
        expected = dict(self.model)
        if target in self.model:
            expected = None
        else:
            expected[target] = None
        return expected, None, ["mkdir", "D:" + target], 60

    def op_rename(self):
        files = self.files()
        if not files:
            return self.op_upload()
        source = self.rng.choice(files)
        folder = source.rsplit("\\", 1)[0] or "\\"
        new = self.new_file_name()
        target = self.join(folder, new)
        expected = dict(self.model)
        if target in self.model:
            expected = None
        else:
            expected[target] = expected.pop(source)
        return expected, None, ["mv", "D:" + source, new], 60

    def op_delete(self):
        candidates = self.files() + [p for p, v in self.model.items() if v is None]
        if not candidates:
            return self.op_upload()
        target = self.rng.choice(sorted(candidates))
        expected = dict(self.model)
        if self.model[target] is None:
            if children(self.model, target):
                expected = None  # a directory that is not empty stays
            else:
                del expected[target]
            return expected, None, ["rmdir", "D:" + target], 60
        del expected[target]
        return expected, None, ["rm", "D:" + target], 60

    def op_ioconf(self):
        def check(out):
            if out == self.ioconf_reference:
                return None
            kept = os.path.join(self.work, "ioconf-%d.txt" % (sum(self.stats.get("ioconf", {}).values()) + 1))
            with open(kept, "wb") as f:
                f.write(out)
            return "ioconf get printed another configuration (kept as %s)" % os.path.basename(kept)
        return dict(self.model), check, ["ioconf", "get"], 60

    def op_backup(self):
        image = os.path.join(self.work, "backup-%d.img" % len(self.backups))
        expected = dict(self.model)
        with open(os.path.join(TOOLS, "KAPRINRD.EXE"), "rb") as f:
            expected["\\KAPRINRD.EXE"] = stored(f.read())

        def check(out):
            with open(image, "rb") as f, open(self.ctl.drive, "rb") as d:
                if f.read() != d.read():
                    return "the backup image differs from the drive"
            self.backups.append(image)
            return None
        return expected, check, ["backup", image, "--tools", TOOLS], 600

    def op_restore(self):
        image = self.rng.choice(self.backups)

        def check(out):
            with open(image, "rb") as f, open(self.ctl.drive, "rb") as d:
                return None if f.read() == d.read() else "the drive differs from the image restored"
        return read_drive(image), check, ["restore", image, "--yes", "--tools", TOOLS], 600

    # --- the run ---

    def count(self, op, verdict):
        self.stats.setdefault(op, {}).setdefault(verdict, 0)
        self.stats[op][verdict] += 1

    def reference_configuration(self):
        options, skip = [], 0
        for a in self.args.sim_options:
            if skip:
                skip -= 1
            elif a in NOISE_OPTIONS:
                skip = NOISE_OPTIONS[a]
            else:
                options.append(a)
        ref = Controller(self.args.sim, self.work, "reference", options, drive=False)
        try:
            done = subprocess.run([self.args.cli, "--port", ref.link, "ioconf", "get"], capture_output=True,
                                  timeout=60, stdin=subprocess.DEVNULL)
            if done.returncode != 0:
                raise RuntimeError("ioconf get fails on a quiet line: " + done.stderr.decode("latin-1"))
            return done.stdout
        finally:
            ref.stop()

    def run(self):
        self.ioconf_reference = self.reference_configuration()
        self.ctl = Controller(self.args.sim, self.work, "soak", self.args.sim_options)
        started = time.monotonic()
        done_ops = 0
        try:
            self.model = read_drive(self.ctl.drive)
            for i in range(self.args.ops):
                if time.monotonic() - started > self.args.max_seconds:
                    print("time is up after %d operations" % i)
                    break
                if not self.ctl.alive():
                    print("the virtual controller ended after %d operations" % i)
                    break
                self.step(i)
                done_ops += 1
                if (i + 1) % 50 == 0:
                    print("%d operations, %d false successes, %.0f s" % (
                        i + 1, len(self.false_successes), time.monotonic() - started), flush=True)
        finally:
            self.ctl.stop()
        self.report(done_ops, time.monotonic() - started)
        return 1 if self.false_successes else 0

    def step(self, index):
        op = self.pick_operation()
        before = self.model
        expected, check, argv, timeout = getattr(self, "op_" + op)()
        t0 = time.monotonic()
        code, out = self.cli(*argv, timeout=timeout)
        seconds = time.monotonic() - t0
        # The controller saves its drive before its prompt comes back.
        drive = read_drive(self.ctl.drive)
        if code is None:
            verdict = "hung"
        elif code == 2:
            verdict = "refused arguments"
        elif code == 0:
            problem = None
            if expected is None:
                problem = "exit 0 for an operation that cannot succeed"
            elif drive != expected:
                problem = "the drive differs: " + describe_difference(expected, drive)
            elif check:
                problem = check(out)
            verdict = "ok" if problem is None else "FALSE SUCCESS"
            if problem:
                self.false_successes.append("#%d %s: %s" % (index + 1, " ".join(argv), problem))
        elif expected is None and drive == before:
            verdict = "refused as it must"
        elif drive == before:
            verdict = "failed, drive unchanged"
        elif drive == expected:
            verdict = "failed, though done"
        else:
            verdict = "failed, drive changed otherwise"
        self.count(op, verdict)
        if self.args.verbose:
            print("#%d %-8s %5.1fs rc=%s %s  %s" % (index + 1, op, seconds, code, verdict, " ".join(argv)))
        # From here on the drive as it is stands for the model.
        self.model = drive

    def report(self, ops, seconds):
        print("\n%d operations in %.0f s (seed %d, controller options: %s)" % (
            ops, seconds, self.args.seed, " ".join(self.args.sim_options) or "none"))
        verdicts = sorted({v for s in self.stats.values() for v in s})
        width = max([len(v) for v in verdicts] + [8])
        print("%-10s" % "operation" + "".join(" %*s" % (width, v) for v in verdicts))
        for op in sorted(self.stats):
            print("%-10s" % op + "".join(" %*d" % (width, self.stats[op].get(v, 0)) for v in verdicts))
        print("false successes: %d" % len(self.false_successes))
        for line in self.false_successes:
            print("  " + line)


def main():
    argv = sys.argv[1:]
    sim_options = []
    if "--" in argv:
        at = argv.index("--")
        argv, sim_options = argv[:at], argv[at + 1:]
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--sim", required=True, help="the vorn7730-sim program")
    p.add_argument("--cli", required=True, help="the vorn7730-cli program")
    p.add_argument("--ops", type=int, default=500)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--max-seconds", type=float, default=3600, help="start no operation after this")
    p.add_argument("--image-weight", type=float, default=2,
                   help="weight of backup and restore among the operations (each takes seconds)")
    p.add_argument("--work", help="keep the files here (default: a temporary folder, removed)")
    p.add_argument("--verbose", action="store_true", help="one line per operation")
    args = p.parse_args(argv)
    args.sim_options = sim_options
    # The command line runs in the work folder.
    args.sim, args.cli = os.path.abspath(args.sim), os.path.abspath(args.cli)
    work = args.work or tempfile.mkdtemp(prefix="vorn-soak-")
    os.makedirs(work, exist_ok=True)
    try:
        return Soak(args, work).run()
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
