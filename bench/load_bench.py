#!/usr/bin/env python3
"""Times `tolvarimsek-batch load` on generated templates against dd writing the same bytes.

For each row count: a template of that many products (plus a heading line) in a fresh folder;
the first load (empty folder) and a second load into the result (every code found). The baseline
is `dd bs=1M if=/dev/zero` writing the bytes the load must write: 425 + 257 bytes a row plus the
index file's size. Peak memory is the child's maximum resident set size.

    bench/load_bench.py [--batch build/default/app/batch/tolvarimsek-batch] [--rows 10000,100000,1000000]
"""
import argparse
import os
import random
import resource
import shutil
import statistics
import subprocess
import tempfile
import time


def make_template(path, rows, seed=7):
    rnd = random.Random(seed)
    codes = list(range(rows))
    rnd.shuffle(codes)
    with open(path, "wb") as f:
        f.write(b"Codigo,Descripcion,Unidad,Existencia,Costo promedio,Ultimo costo,Localizacion\r\n")
        chunk = []
        for i, c in enumerate(codes):
            chunk.append(
                b"P%09d,Producto de prueba numero %d,PZA,%d,%d.%02d,%d.%02d,R%02d-%03d\r\n"
                % (c, c, rnd.randrange(1000), rnd.randrange(500), rnd.randrange(100),
                   rnd.randrange(500), rnd.randrange(100), rnd.randrange(40), rnd.randrange(200)))
            if len(chunk) == 10000:
                f.write(b"".join(chunk))
                chunk = []
        f.write(b"".join(chunk))


def run_measured(cmd, cwd):
    """Runs cmd in cwd; returns (seconds, peak RSS in MB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("%s failed in %s: %s" % (cmd, cwd, err))
    return seconds, usage.ru_maxrss / 1024.0


def dd_seconds(nbytes, folder):
    count = max(1, (nbytes + (1 << 20) - 1) >> 20)
    target = os.path.join(folder, "dd.out")
    start = time.perf_counter()
    subprocess.run(["dd", "bs=1M", "if=/dev/zero", "of=" + target, "count=%d" % count],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    os.remove(target)
    return seconds


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--batch", default="build/default/app/batch/tolvarimsek-batch")
    ap.add_argument("--rows", default="10000,100000,1000000")
    ap.add_argument("--repeat", type=int, default=3, help="runs per measurement (median)")
    args = ap.parse_args()
    batch = os.path.abspath(args.batch)

    print("%9s %10s %10s %10s %8s %8s %9s %9s" % ("rows", "first s", "second s", "dd s",
          "ratio1", "ratio2", "peak MB", "us/row"))
    for rows in [int(r) for r in args.rows.split(",")]:
        work = tempfile.mkdtemp(prefix="tolv-load-")
        try:
            make_template(os.path.join(work, "plantilla.csv"), rows)
            firsts, seconds, dds, peaks = [], [], [], []
            for _ in range(args.repeat):
                for name in ("inven.dbf", "inven.ntx"):
                    if os.path.exists(os.path.join(work, name)):
                        os.remove(os.path.join(work, name))
                t1, m1 = run_measured([batch, "load"], work)
                t2, m2 = run_measured([batch, "load"], work)
                ntx = os.path.getsize(os.path.join(work, "inven.ntx"))
                dds.append(dd_seconds(rows * (425 + 257) + ntx, work))
                firsts.append(t1)
                seconds.append(t2)
                peaks.append(max(m1, m2))
            f, s, d = statistics.median(firsts), statistics.median(seconds), statistics.median(dds)
            print("%9d %10.3f %10.3f %10.3f %8.2f %8.2f %9.1f %9.2f" %
                  (rows, f, s, d, f / d, s / d, max(peaks), f / rows * 1e6))
        finally:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
