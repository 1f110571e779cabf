#!/usr/bin/python3
"""The scanning screen of the real program under X, fed by a reader.

A keyboard-wedge reader is played by xdotool typing at reader speed (a few
milliseconds between keys) into the real program on its own Xvfb display,
with or without a window manager (openbox). The faults are real: DATA is a
small tmpfs that fills up, a second copy of the program holds the table.
The program runs in a working folder of the test's own (QZ_WORKDIR), and
every check waits for its condition with a time limit.

usage: reader_e2e_test.py QZSCAN SCENARIO [--wm]
scenarios: diskfull-retry, diskfull-ignore, diskfull-rescan, diskfull-quit,
second, close, strays, bursts, counts
Exit 77 (skipped) when the machine cannot mount a tmpfs or lacks X tools.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xdesk import start_wm, start_xvfb, stop, wait_until  # noqa: E402

READER_DELAY_MS = "4"
PERSON_DELAY_MS = "120"  # a person typing a count quickly: 80-150 ms a key
QUIET = 0.8  # longer than the boxes' quiet time: a deliberate key


def skip(why):
    print("SKIPPED:", why)
    sys.exit(77)


def write_dbf(path, rows):
    """A scan data file holding `rows`, as the program writes it."""
    header = struct.pack("<BBBBIHH20x", 3, 126, 12, 8, len(rows), 97, 26)
    fields = b"".join(struct.pack("<11sc4xB15x", name, b"C", width)
                      for name, width in ((b"BARCODE", 15), (b"QTY", 10)))
    body = b"".join(b" " + b.ljust(15) + q.ljust(10) for b, q in rows)
    with open(path, "wb") as f:
        f.write(header + fields + b"\r" + body + b"\x1a")


def read_dbf(path):
    from dbfread import DBF
    # The table names its code page in its header; dbfread decodes by it.
    return [(r["BARCODE"], r["QTY"]) for r in DBF(path, char_decode_errors="strict")]


class Desk:
    """An X display with the program on it, and a reader to type into it."""

    def __init__(self, qzscan, wm):
        self.xvfb, self.display = start_xvfb()
        self.work = tempfile.mkdtemp(prefix="qzreader")
        self.procs = []
        self.wm = wm
        self.mounted = False
        self.env = dict(os.environ, DISPLAY=self.display, QZ_DRIVES="C=" + self.work,
                        QZ_WORKDIR=self.work)
        self.env.pop("QT_QPA_PLATFORM", None)
        if wm:
            self.procs.append(start_wm(self.env))
        self.exe = qzscan
        self.data = os.path.join(self.work, "DATA")
        os.makedirs(self.data)
        self.table = os.path.join(self.data, "QZSCAN.DBF")

    def mount_small_data(self):
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", self.data],
                           capture_output=True, text=True)
        if r.returncode != 0:
            skip("cannot mount a tmpfs: " + r.stderr.strip())
        self.mounted = True

    def fill_data(self):
        filler = os.path.join(self.data, "filler")
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT, 0o644)
        try:
            while os.write(fd, b"\0" * 512) > 0:
                pass
        except OSError:
            pass
        os.close(fd)
        return filler

    def start(self):
        self.stderr = os.path.join(self.work, "stderr-%d" % len(self.procs))
        p = subprocess.Popen([self.exe], env=self.env, cwd=self.work,
                             stdout=subprocess.DEVNULL, stderr=open(self.stderr, "w"))
        self.procs.append(p)
        self.wait_window("Quorvex Stocktake Utility")
        return p

    def xdo(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True, text=True).stdout

    def windows(self, name):
        return self.xdo("search", "--onlyvisible", "--name", name).split()

    def wait_window(self, name, present=True):
        try:
            wait_until(lambda: bool(self.windows(name)) == present,
                       "window %r %s" % (name, "never appeared" if present else "stayed"))
        except AssertionError:
            print("windows:", [self.xdo("getwindowname", w).strip() for w in self.xdo("search", "--name", ".").split()])
            # How each window of that name stands: mapped or not, and what
            # the window manager and the program say of its state.
            for w in self.xdo("search", "--name", name).split():
                info = subprocess.run(["xwininfo", "-id", w], env=self.env, capture_output=True, text=True).stdout
                state = [line.strip() for line in info.splitlines() if "Map State" in line]
                props = subprocess.run(["xprop", "-id", w, "WM_STATE", "_NET_WM_STATE", "WM_HINTS"], env=self.env,
                                       capture_output=True, text=True).stdout
                print("window", w, state, " ".join(props.split()))
            for p in self.procs:
                state = "ended %s" % p.returncode if p.poll() is not None else "running"
                if p.poll() is None:
                    try:
                        state += ", waiting in " + open("/proc/%d/wchan" % p.pid).read()
                        state += "; " + subprocess.run(["gdb", "-batch", "-p", str(p.pid), "-ex", "thread apply all bt 12"],
                                                       capture_output=True, text=True, timeout=60).stdout[-3000:]
                    except Exception as e:
                        state += " (%s)" % e
                print("program:", state)
            if getattr(self, "stderr", None):
                print("its standard error:", open(self.stderr, errors="replace").read()[-2000:])
            print(self.xvfb.said())
            raise

    def wait_focus(self, name):
        """Until the window called name has the keyboard focus."""
        def focused():
            win = self.xdo("getwindowfocus").strip()
            return win and win in self.windows(name)
        wait_until(focused, "window %r never got the focus" % name)

    def wait_table(self, want):
        """Until the table holds `want` (or the time is up); its rows."""
        def holds():
            try:
                return read_dbf(self.table) == want
            except Exception:  # half written: read again
                return False
        try:
            wait_until(holds, "")
        except AssertionError:
            pass
        return read_dbf(self.table)

    def activate(self, window):
        # Without a window manager nobody activates windows: focus it directly.
        self.xdo("windowactivate" if self.wm else "windowfocus", "--sync", window)
        wait_until(lambda: self.xdo("getwindowfocus").strip() == window, "window %s never got the focus" % window)

    def keys(self, *keys):
        self.xdo("key", "--delay", READER_DELAY_MS, *keys)

    def scan(self, code, qty):
        """What a reader and an operator send: the code and Enter, the count and Enter."""
        self.xdo("type", "--delay", READER_DELAY_MS, code)
        self.keys("Return")
        self.xdo("type", "--delay", READER_DELAY_MS, qty)
        self.keys("Return")

    def reader(self, code):  # code and Enter from one xdotool: no process start between them
        self.keys(*[{" ": "space"}.get(c, c) for c in code], "Return")

    def person(self, text, enter=True):
        self.xdo("type", "--delay", PERSON_DELAY_MS, text)
        if enter:
            time.sleep(0.12)
            self.keys("Return")

    def open_screen(self):
        self.keys("shift+s")
        self.wait_window("Scanned Data")
        self.wait_focus("Scanned Data")

    def close(self):
        for p in reversed(self.procs):
            p.kill()
            p.wait()
        stop(self.xvfb)  # lets the server remove its lock and socket
        if self.mounted:
            subprocess.run(["umount", "-l", self.data])
        shutil.rmtree(self.work, ignore_errors=True)


def expect(cond, what):
    if not cond:
        raise AssertionError(what)


def diskfull(desk, answer):
    # 150 records leave room in the table's last block for three more.
    old = [(b"OLD%03d" % i, b"1") for i in range(150)]
    desk.mount_small_data()
    write_dbf(desk.table, old)
    filler = desk.fill_data()
    desk.start()
    desk.open_screen()
    for i in range(1, 5):
        desk.scan("FULL%02d" % i, str(i))
    desk.wait_window("ERROR")  # the fourth does not fit
    desk.wait_focus("ERROR")
    # The reader keeps sending while the box is up: its Enters and spaces
    # must not answer the box.
    for i in range(5, 9):
        desk.scan("LOST %02d" % i, str(i))
    time.sleep(0.2)
    expect(desk.windows("ERROR"), "the reader's keys answered the error box")
    stored = [("FULL%02d" % i, str(i)) for i in range(1, 5)]
    if answer in ("retry", "ignore"):
        os.unlink(filler)
    time.sleep(QUIET)
    desk.keys({"retry": "alt+r", "quit": "alt+q"}.get(answer, "alt+i"))
    if answer == "quit":  # the tables closing on the way out ask nothing again
        code = wait_until(lambda: desk.procs[-1].poll(), "the program did not end after Quit", 20)
        expect(code == 24 and read_dbf(desk.table)[150:] == stored[:3], "exit %s" % code)
        return
    desk.wait_window("ERROR", present=False)
    desk.wait_focus("Scanned Data")
    if answer == "ignore":
        time.sleep(QUIET)
        desk.keys("Return")  # the fields kept the scan: accept it again
    if answer == "rescan":  # the next scan replaces the failed one, never joins its count
        desk.reader("NEXT0001")
        os.unlink(filler)
        desk.person("7")
        stored[3] = ("NEXT0001", "7")
    desk.scan("AFTER01", "9")
    want = [(b.decode(), q.decode()) for b, q in old] + stored + [("AFTER01", "9")]
    got = desk.wait_table(want)
    expect(got == want, "stored %r, expected %r" % (got[150:], want[150:]))


def bursts(desk):
    """A reader scan is a whole new barcode wherever the focus is; scans sent
    while a box is up are not stored."""
    desk.start()
    desk.open_screen()
    desk.reader("4006381333931")  # Enter without a count, then a scan: replaced, not joined
    time.sleep(QUIET)
    desk.keys("Return")
    desk.reader("5012345678900")
    desk.person("3")
    desk.reader("ZERO0001")  # "Quantity Warning" answered No: the next scan is no count
    desk.person("0")
    desk.wait_window("Quantity Warning")
    desk.wait_focus("Quantity Warning")
    desk.reader("LOSTA001")  # swallowed by the box, named under the fields after it
    desk.reader("LOSTB002")
    time.sleep(QUIET)
    desk.keys("alt+n")
    desk.wait_window("Quantity Warning", present=False)
    desk.wait_focus("Scanned Data")
    desk.reader("4000000000123")
    desk.person("4")
    desk.reader("WAIT0001")  # a count typed, not accepted: replaced with its barcode
    desk.person("6", enter=False)
    time.sleep(0.3)
    desk.reader("7001234567894")
    desk.person("5")
    got = desk.wait_table(want := [("5012345678900", "3"), ("4000000000123", "4"), ("7001234567894", "5")])
    expect(got == want, "stored %r" % got)


def counts(desk):
    """Counts take digits and the regional mark, stored with a point; "0,5" asks nothing under de_DE."""
    want, prog = [], None
    for locale, typed, stored in (("C.UTF-8", ("1.5", "5 boxes", "1e3", "2,5"), ("1.5", "5", "13", "25")),
                                  ("de_DE.UTF-8", ("0,5", "2,5"), ("0.5", "2.5"))):
        if prog:
            desk.procs.remove(prog)
            stop(prog)
            desk.wait_window("Quorvex Stocktake Utility", present=False)
        desk.env["LC_ALL"] = locale
        prog = desk.start()
        desk.open_screen()
        for t, q in zip(typed, stored):
            desk.reader("COUNT%03d" % len(want))
            desk.person(t)
            want.append(("COUNT%03d" % len(want), q))
        got = desk.wait_table(want)
        expect(got == want and not desk.windows("Quantity Warning"), "stored %r" % got)


def second(desk):
    desk.start()
    desk.open_screen()
    desk.keys("Escape")  # a question box comes up; wait it out deliberately
    desk.wait_window("END SCANNING")
    desk.wait_focus("END SCANNING")
    time.sleep(QUIET)
    desk.keys("alt+n")
    desk.wait_window("END SCANNING", present=False)
    # The shell again: Shift+S brings the open screen back, never a second.
    desk.activate(wait_until(lambda: desk.windows("Quorvex Stocktake Utility"), "the shell is not shown")[0])
    desk.keys("shift+s")
    time.sleep(0.5)
    expect(len(desk.windows("Scanned Data")) == 1, "a second scanning screen opened")
    # A second program on the same table says who holds it and opens nothing.
    other = subprocess.Popen([desk.exe], env=desk.env, cwd=desk.work,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    desk.procs.append(other)
    shells = wait_until(lambda: len(desk.windows("Quorvex Stocktake Utility")) == 2
                        and desk.windows("Quorvex Stocktake Utility"), "the second program's window never appeared")
    desk.activate(shells[-1])
    desk.keys("shift+s")
    desk.wait_window("SCAN DATA FILE IN USE")
    expect(len(desk.windows("Scanned Data")) == 1, "the second program opened a screen without its table")


def close(desk):
    desk.start()
    desk.open_screen()
    desk.scan("STORED1", "4")
    desk.xdo("type", "--delay", READER_DELAY_MS, "WAITING1")
    desk.keys("Return")
    desk.xdo("type", "--delay", READER_DELAY_MS, "3")  # typed, not yet accepted
    shell = desk.windows("Quorvex Stocktake Utility")[0]
    desk.activate(shell)
    if desk.wm:
        desk.keys("alt+F4")  # the window manager closes the shell
    else:
        desk.keys("alt+o", "x")  # "&Options", "E&xit"
    desk.procs[-1].wait(timeout=30)
    got = read_dbf(desk.table)
    expect(got == [("STORED1", "4"), ("WAITING1", "3")], "stored %r" % got)


def strays(desk):
    desk.start()
    desk.open_screen()
    desk.scan("FIRST1", "2")
    # A click on the grid gives it the focus; the next scan still lands.
    desk.xdo("mousemove", "--window", desk.windows("Scanned Data")[0], "100", "58", "click", "1")
    time.sleep(QUIET)
    desk.scan("GRID 3", "3")
    desk.keys("Return", "Return")  # Enter on an empty count leaves for "End Scanning"
    desk.scan("SP ACE 2", "5")  # a space there must not close the screen
    time.sleep(0.3)
    expect(desk.windows("Scanned Data"), "a space typed by the reader pressed End Scanning")
    # A reader on a German layout, and a barcode of letters outside ASCII:
    # one byte each in the table's code page, so all eight fit.
    subprocess.run(["setxkbmap", "de"], env=desk.env)
    desk.scan("äöüßäöüß", "1")
    want = [("FIRST1", "2"), ("GRID 3", "3"), ("SP ACE 2", "5"), ("äöüßäöüß", "1")]
    got = desk.wait_table(want)  # strict decoding: a wrong byte fails here
    expect(got == want, "stored %r" % got)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    for tool in ("Xvfb", "xdotool", "setxkbmap") + (("openbox",) if "--wm" in sys.argv else ()):
        if not shutil.which(tool):
            skip(tool + " is not installed")
    if os.geteuid() != 0 and sys.argv[2].startswith("diskfull"):
        skip("mounting a tmpfs needs root")
    desk = Desk(sys.argv[1], "--wm" in sys.argv)
    try:
        scenario = sys.argv[2]
        if scenario.startswith("diskfull-"):
            diskfull(desk, scenario.split("-")[1])
        else:
            {"second": second, "close": close, "strays": strays, "bursts": bursts, "counts": counts}[scenario](desk)
        print("passed:", scenario, "with" if "--wm" in sys.argv else "without", "a window manager")
        return 0
    except AssertionError as e:
        subprocess.run(["import", "-window", "root", "/tmp/qzreader-failed.png"], env=desk.env)
        print("FAILED:", e)
        return 1
    finally:
        desk.close()


if __name__ == "__main__":
    sys.exit(main())
