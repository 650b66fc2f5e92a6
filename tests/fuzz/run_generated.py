#!/usr/bin/env python3
"""Generates scripts with gen_scripts.py and runs them through the fuzz target.

    run_generated.py FUZZ_BINARY WORKDIR FIRST_SEED LAST_SEED

Each seed gives a batch of 200 scripts.  When the target stops on one of them,
the script and the report are kept in WORKDIR/failures and the rest of the
batch runs on.  Out-of-memory stops inside left/right/d2x are scripts asking
for texts of gigabytes, which is their own doing, and are only counted.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
fuzzer, work, first, last = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
fails = os.path.join(work, "failures")
os.makedirs(fails, exist_ok=True)
env = dict(os.environ)
expected_oom = 0
for seed in range(first, last + 1):
    batch = os.path.join(work, "batch")
    shutil.rmtree(batch, ignore_errors=True)
    subprocess.run([sys.executable, os.path.join(HERE, "gen_scripts.py"), batch, "200", str(seed)], check=True)
    files = sorted(glob.glob(os.path.join(batch, "*.orva")))
    while files:
        proc = subprocess.run([fuzzer, "-timeout=30", "-rss_limit_mb=2048"] + files, cwd=work,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        if proc.returncode == 0:
            break
        log = proc.stdout.decode(errors="replace")
        ran = re.findall(r"Running: (\S+)", log)
        culprit = ran[-1] if ran else files[0]
        if "out-of-memory" in log and re.search(r"in (Align|BI_D2X|BI_D2x)", log):
            expected_oom += 1
        else:
            name = os.path.basename(culprit)
            shutil.copy(culprit, os.path.join(fails, name))
            with open(os.path.join(fails, name + ".log"), "w") as f:
                f.write(log)
            print("seed %d: failure on %s" % (seed, name), flush=True)
        files = files[files.index(culprit) + 1:] if culprit in files else files[1:]
    print("seed %d done" % seed, flush=True)
print("finished; expected out-of-memory stops: %d" % expected_oom)
