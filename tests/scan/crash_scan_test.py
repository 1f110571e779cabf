#!/usr/bin/python3
"""The real program killed in the middle of a count.

Scans are typed into the running program's scanning screen through its
keyboard driver (QZ_KEY_DRIVER), and the program is killed with SIGKILL at a
random moment. Every scan whose fields had cleared before the kill must be in
DATA/QZSCAN.DBF afterwards, in order and exactly as typed, and the file must
read cleanly with qzdbf and with dbfread.

usage: crash_scan_test.py QZSCAN QZDBF   (QZ_CRASH_RUNS sets the number of runs)
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time


def run_once(qzscan, qzdbf, run, rng):
    work = tempfile.mkdtemp(prefix="qzcrash")
    try:
        # The data directory lies in the working folder: this run's own.
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QZ_KEY_DRIVER="1",
                   QZ_DRIVES="C=" + work, QZ_WORKDIR=work)
        proc = subprocess.Popen([qzscan], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, env=env, cwd=work, text=True, bufsize=1)

        def command(line):
            proc.stdin.write(line + "\n")
            proc.stdin.flush()
            answer = []
            while True:
                out = proc.stdout.readline()
                if not out:
                    raise EOFError
                out = out.rstrip("\n")
                if out == "ok":
                    return answer
                answer.append(out)

        command("command DATAREADER")
        confirmed = []
        killer = threading.Timer(rng.uniform(0.3, 1.5), lambda: proc.send_signal(signal.SIGKILL))
        killer.start()
        i = 0
        try:
            while True:
                code = "R%02dS%05d" % (run, i)
                qty = str(rng.randint(1, 500)) if i % 7 else "%d.5" % i
                command("type " + code)
                command("key Return")
                command("type " + qty)
                command("key Return")
                fields = command("state")[0].split("\t")[1:]
                if fields and all(f == "" for f in fields):
                    confirmed.append((code, qty))
                i += 1
        except (EOFError, BrokenPipeError, OSError):
            pass
        proc.wait()
        killer.cancel()
        if proc.returncode != -signal.SIGKILL:
            raise AssertionError("run %d: the program ended by itself (%s)" % (run, proc.returncode))

        table = os.path.join(work, "DATA", "QZSCAN.DBF")
        dump = subprocess.run([qzdbf, "dump", table], capture_output=True, text=True)
        if dump.returncode != 0:
            raise AssertionError("run %d: qzdbf dump failed: %s" % (run, dump.stderr))
        rows = [line.split("\t") for line in dump.stdout.splitlines()[1:]]

        from dbfread import DBF
        records = list(DBF(table, encoding="latin-1", char_decode_errors="strict"))
        if len(records) != len(rows):
            raise AssertionError("run %d: dbfread sees %d records, qzdbf %d" % (run, len(records), len(rows)))
        if len(records) < len(confirmed):
            raise AssertionError("run %d: %d scans confirmed, %d stored" % (run, len(confirmed), len(records)))
        for n, (code, qty) in enumerate(confirmed):
            rec = records[n]
            if rec["BARCODE"] != code or rec["QTY"] != qty[:10].rstrip():
                raise AssertionError("run %d: record %d is %r, typed %r" % (run, n + 1, dict(rec), (code, qty)))
        # A scan may have been committed just before the kill without its
        # fields having been seen clear: at most one more record, and a whole one.
        if len(records) > len(confirmed) + 1:
            raise AssertionError("run %d: %d records for %d scans" % (run, len(records), len(confirmed)))
        return len(confirmed)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    qzscan, qzdbf = sys.argv[1], sys.argv[2]
    runs = int(os.environ.get("QZ_CRASH_RUNS", "6"))
    rng = random.Random(int(os.environ.get("QZ_CRASH_SEED", str(int(time.time())))))
    total = 0
    failed = 0
    for run in range(runs):
        try:
            n = run_once(qzscan, qzdbf, run, rng)
            total += n
            print("run %d: %d scans confirmed and found after SIGKILL" % (run, n))
        except AssertionError as e:
            failed += 1
            print("FAILED", e)
    print("%d passed, %d failed" % (runs - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
