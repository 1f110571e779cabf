#!/usr/bin/env python3
"""qzsync against a real PostgreSQL: three workstations append while three
qzsync run; qzsync and the server are killed with SIGKILL at random moments,
one data file is restarted mid-run. After a catch-up the server holds every
scan of every file (both generations of the restarted one) exactly once, and
the totals add up. Usage: qzsync_pg_test.py QZSYNC QZDBF"""
import decimal, os, pwd, random, re, shutil, signal, subprocess, sys, tempfile, threading, time

PG = "/usr/lib/postgresql/15/bin"
QZSYNC, QZDBF = sys.argv[1], sys.argv[2]
if not os.path.exists(f"{PG}/initdb"):
    print("PostgreSQL 15 is not installed"); sys.exit(77)
seed = int(os.environ.get("QZ_SEED", random.randrange(1 << 32)))
print("seed", seed, flush=True)
rnd = random.Random(seed)
tmp = tempfile.mkdtemp(prefix="qzsync-pg-")
os.chmod(tmp, 0o755)
db, sock = f"{tmp}/db", f"{tmp}/sock"
os.mkdir(sock)
as_owner = []
if os.geteuid() == 0:  # the server refuses to run as root
    as_owner = ["runuser", "-u", "nobody", "--"]
    for d in (tmp, sock):
        os.chown(d, pwd.getpwnam("nobody").pw_uid, -1)
env = dict(os.environ, PGHOST=sock, PGUSER="qz", PGDATABASE="postgres", PGCONNECT_TIMEOUT="5")

def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, timeout=120, env=env, **kw).stdout

def wait_for(cond, what, limit=120):
    end = time.monotonic() + limit
    while not cond():
        if time.monotonic() > end: sys.exit(f"gave up waiting for {what}")
        time.sleep(0.05)

def server_start():
    run(*as_owner, f"{PG}/pg_ctl", "-D", db, "-w", "-t", "60", "-l", f"{tmp}/pg.log", "-o",
        f"-c listen_addresses='' -c unix_socket_directories={sock} -c fsync=off", "start", cwd=tmp)

def server_kill():
    pid = int(open(f"{db}/postmaster.pid").readline())
    children = [int(c) for c in open(f"/proc/{pid}/task/{pid}/children").read().split()]
    for p in [pid] + children: os.kill(p, signal.SIGKILL)
    wait_for(lambda: not any(os.path.exists(f"/proc/{p}") for p in [pid] + children), "the server to die")

def sql(query):
    return [l.split("|") for l in run("psql", "-XAtq", "-c", query).splitlines()]

def dump(f):
    return [tuple(l.split("\t")) for l in run(QZDBF, "dump", f).splitlines()[1:]]

def create(f):
    run(QZDBF, "create", f, "BARCODE:C:15", "QTY:C:10")

run(*as_owner, f"{PG}/initdb", "-D", db, "-A", "trust", "-U", "qz", "--no-sync", cwd=tmp)
server_start()
names = ["ws1", "ws2", "ws3"]
files = {w: f"{tmp}/{w}.dbf" for w in names}
for f in files.values(): create(f)
syncs = {}

def sync_start(w):
    syncs[w] = subprocess.Popen([QZSYNC, "--interval", "50", "--workstation", w, files[w]], env=env,
                                stdout=subprocess.DEVNULL)

counts = ["1", "2", "3.5", "2,5", "-1", "+4", " 7", "5 boxes", "1e3", ",5"]
stop = threading.Event()
held = {w: threading.Lock() for w in names}  # held by an append, or while a file is restarted

def appender(w, r):
    while not stop.is_set():
        with held[w]:
            run(QZDBF, "append", files[w], f"B{r.randrange(12):03}", r.choice(counts))
        time.sleep(0.005)

def stop_all():
    stop.set()
    for p in syncs.values(): p.kill()
    subprocess.run([*as_owner, f"{PG}/pg_ctl", "-D", db, "-m", "immediate", "stop"], capture_output=True, timeout=60)

def scenario():
    threads = [threading.Thread(target=appender, args=(w, random.Random(rnd.random())), daemon=True) for w in names]
    for w in names: sync_start(w)
    for t in threads: t.start()
    for round_no in range(20):
        time.sleep(rnd.uniform(0.05, 0.5))  # a random moment, not a wait for a condition
        if rnd.random() < 0.4:
            server_kill(); server_start()
        else:
            w = rnd.choice(names)
            syncs[w].kill(); syncs[w].wait(30); sync_start(w)
        if round_no == 9:  # ws1's file restarted: its records once on the server, then a new file
            with held["ws1"]:
                first_gen = dump(files["ws1"])
                wait_for(lambda: sql("SELECT count(*) FROM qzsync_scans WHERE workstation = 'ws1'")[0][0]
                         == str(len(first_gen)), "ws1's first file on the server")
                os.unlink(files["ws1"]); create(files["ws1"])
    stop.set()
    for t in threads: t.join(60)
    for w in names:  # SIGTERM once the handler is in place (a qzsync may have just started)
        caught = lambda: int(re.search(r"SigCgt:\s*(\w+)", open(f"/proc/{syncs[w].pid}/status").read())[1], 16)
        wait_for(lambda: caught() & (1 << (signal.SIGTERM - 1)), "qzsync to catch SIGTERM")
        syncs[w].send_signal(signal.SIGTERM)
        assert syncs[w].wait(30) == 0, f"qzsync for {w} did not end cleanly"
        run(QZSYNC, "--once", "--workstation", w, files[w])
    return first_gen

try:
    first_gen = scenario()
    expected = sorted((w, 1 if w != "ws1" else 2, int(n), b, q) for w in names for n, _, b, q in dump(files[w]))
    expected += [("ws1", 1, int(n), b, q) for n, _, b, q in first_gen]
    got = [(w, int(g), int(n), b, q) for w, g, n, b, q in
           sql("SELECT workstation, generation, record, barcode, count_text FROM qzsync_scans")]
    assert sorted(got) == sorted(expected), f"server and files differ: {len(got)} rows, {len(expected)} scans"

    totals = {}
    for w, _, _, b, q in expected:
        t = q.strip(" ")
        if re.fullmatch(r"[+-]?[0-9]*[.,]?[0-9]*", t) and re.search("[0-9]", t):
            s = totals.setdefault(b, [decimal.Decimal(0), 0, set()])
            s[0] += decimal.Decimal(t.replace(",", ".")); s[1] += 1; s[2].add(w)
    text = lambda d: format(d.normalize(), "f") if d != d.to_integral() else str(int(d))
    want = "".join(f"{b},{text(s[0])},{s[1]},{len(s[2])}\r\n" for b, s in sorted(totals.items()))
    run(QZSYNC, "totals", f"{tmp}/totals.csv")
    assert open(f"{tmp}/totals.csv", newline="").read() == want, "totals differ"
    print(f"{len(got)} scans, each once")
finally:
    stop_all()
shutil.rmtree(tmp)
