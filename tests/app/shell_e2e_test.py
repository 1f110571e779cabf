#!/usr/bin/python3
"""The shell window of the real program under X, driven as an operator does.

One program on its own Xvfb display with openbox, through several sequences:
  paths    started outside the drive map: DATA is made beside the program
  readme   the read-me viewer opened from the about box takes typing, is
           placed over it, and OK saves what was typed
  restart  Restart Data on a cut-short scan data file keeps it as an archive
  drop     the scan data file dropped while its scanning screen is open
           says why it does not open
  browse   edits in the table browser's form survive every way of moving:
           tool bar, menu, accelerators (the file is read with dbfread)
  bus      as on a desktop, a session bus runs (a dbus-daemon of the
           test's own): the program is connected to it once its window is up
  silent   a second program, whose bus queues connections and never answers
           (a hung daemon), shows its window, says it goes on without the
           bus, and ends when its window is closed
The program runs in a working folder of the test's own (QZ_WORKDIR); every
check waits for its condition with a time limit.

usage: shell_e2e_test.py QZSCAN QZDBF XDND_DROP [--shots DIR]
With --shots, a PNG of each window judged is written to DIR.
Exit 77 (skipped) when the X tools are missing.
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xdesk import start_wm, start_xvfb, stop, wait_until  # noqa: E402

QUIET = 0.8  # longer than a box's quiet time while the scanning screen is open
TITLE = "Quorvex Stocktake Utility (1.02)"
TIMEOUT_CALL = 10  # seconds a bus call may take


def skip(why):
    print("SKIPPED:", why)
    sys.exit(77)


def read_dbf(path):
    from dbfread import DBF
    return [tuple(r.values()) for r in DBF(path, encoding="latin-1")]


class Desk:
    def __init__(self, qzscan, qzdbf, drop, shots):
        for tool in ("Xvfb", "openbox", "xdotool", "xprop", "dbus-daemon", "dbus-send"):
            if not shutil.which(tool):
                skip(tool + " is missing")
        self.qzdbf, self.drop_tool, self.shots = qzdbf, drop, shots
        self.xvfb, self.display = start_xvfb()
        self.root = tempfile.mkdtemp(prefix="qzshell")
        # Where the program is: a long folder name, as the about box must show it whole.
        self.work = os.path.join(self.root, "Stocktake Programs", "Quorvex Stocktake Utility 1.02 for Warehouse Counts")
        self.drive = os.path.join(self.root, "drivec")  # drive C, elsewhere
        os.makedirs(self.work)
        os.makedirs(self.drive)
        self.env = dict(os.environ, DISPLAY=self.display, QZ_DRIVES="C=" + self.drive, QZ_WORKDIR=self.work)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.procs = [self.start_bus(), start_wm(self.env)]
        self.data = os.path.join(self.work, "DATA")
        self.table = os.path.join(self.data, "QZSCAN.DBF")

    def start_bus(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address"],
                               stdout=subprocess.PIPE, text=True, env=self.env)
        address = bus.stdout.readline().strip()
        assert address, "the session bus did not start"
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        return bus

    def bus(self, method, *args):
        out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                              "/org/freedesktop/DBus", "org.freedesktop.DBus." + method] + list(args),
                             env=self.env, capture_output=True, text=True, timeout=TIMEOUT_CALL)
        return out.stdout

    def start(self, exe):
        self.exe = exe
        # Started from drive C's root: the program is outside the drive map.
        self.program = subprocess.Popen([exe], env=self.env, cwd=self.drive, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.procs.append(self.program)
        return self.wait_window(TITLE)

    def xdo(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True, text=True).stdout

    def windows(self, name):
        return self.xdo("search", "--onlyvisible", "--name", "^" + re.escape(name) + "$").split()

    def wait_window(self, name, count=1):
        """The newest of `count` visible windows called name."""
        return wait_until(lambda: len(self.windows(name)) >= count and self.windows(name)[-1],
                          "window %r never appeared" % name)

    def wait_gone(self, name, count=0):
        wait_until(lambda: len(self.windows(name)) <= count, "window %r stayed" % name)

    def geometry(self, win):
        out = self.xdo("getwindowgeometry", "--shell", win)
        g = dict(line.split("=", 1) for line in out.split())
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def focus(self, win):
        self.xdo("windowactivate", "--sync", win)
        wait_until(lambda: self.xdo("getwindowfocus").strip() == win, "window %s never got the focus" % win)

    def keys(self, *keys):
        self.xdo("key", "--delay", "30", *keys)

    def type(self, text):
        self.xdo("type", "--delay", "30", text)

    def click(self, win, x, y):
        self.xdo("mousemove", "--window", win, str(x), str(y))
        self.xdo("click", "1")

    def shot(self, win, name):
        """The window as the operator sees it, with the window manager's frame."""
        if not self.shots:
            return
        path = os.path.join(self.shots, name + ".png")
        subprocess.run(["import", "-window", win, "-frame", "-colors", "64", path], env=self.env, check=True,
                       capture_output=True)

    def drop(self, win, path):
        """Starts dropping path on win; the drop ends once the program has
        handled it (a box it shows on the way holds it). The tool's run."""
        return subprocess.Popen([self.drop_tool, win, path], env=self.env, stderr=subprocess.PIPE, text=True)

    @staticmethod
    def dropped(run):
        _, err = run.communicate(timeout=60)
        assert run.returncode == 0, "the drop failed: " + err.strip()

    def close(self):
        for p in reversed(self.procs):
            p.kill()
            p.wait()
        stop(self.xvfb)
        shutil.rmtree(self.root, ignore_errors=True)


def check_paths(desk):
    wait_until(lambda: os.path.exists(desk.table), "no scan data file beside the program")
    assert os.path.isdir(os.path.join(desk.work, "TEMP")), "no TEMP beside the program"
    for name in ("DATA", "QZSCAN.DBF"):
        assert not os.path.exists(os.path.join(desk.drive, name)), name + " was made on drive C"


def check_bus(desk):
    """The program holds a connection of its own on the session bus."""
    def connected():
        for name in re.findall(r'string "(:[0-9.]+)"', desk.bus("ListNames")):
            pid = re.search(r"uint32 (\d+)", desk.bus("GetConnectionUnixProcessID", "string:" + name))
            if pid and int(pid.group(1)) == desk.program.pid:
                return True
        return False
    wait_until(connected, "the program is not on the session bus")


def check_silent_bus(desk, shell):
    bus = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    bus.bind(os.path.join(desk.root, "silent-bus"))
    bus.listen(16)
    work = os.path.join(desk.root, "silent")
    os.makedirs(work)
    env = dict(desk.env, QZ_WORKDIR=work, DBUS_SESSION_BUS_ADDRESS="unix:path=" + desk.root + "/silent-bus")
    with tempfile.TemporaryFile("w+") as err:
        second = subprocess.Popen([desk.exe], env=env, stdout=subprocess.DEVNULL, stderr=err)
        desk.procs.append(second)
        # The program gives the bus 2 s; the rest is room for a loaded machine.
        win = wait_until(lambda: [w for w in desk.windows(TITLE) if w != shell], "no window with a silent bus", 20)[0]
        err.seek(0)
        said = err.read()
        assert "did not answer" in said, "nothing said of the silent bus: " + said
        desk.focus(win)
        desk.keys("alt+F4")
        wait_until(lambda: second.poll() is not None, "closing the window did not end the program")
        assert second.returncode == 0, "the program ended with %s" % second.returncode
    bus.close()


def check_readme(desk, shell):
    notes = os.path.join(desk.work, "Ostrello.txt")
    with open(notes, "w") as f:
        f.write("Version 1.02\r\n")
    open(os.path.join(desk.drive, "QUORVEX.TXT"), "w").close()  # the marker, on drive C
    desk.focus(shell)
    desk.keys("alt+o", "a")
    about = desk.wait_window(TITLE, 2)
    desk.shot(about, "about-box")
    desk.keys("alt+n")
    viewer = desk.wait_window("Additional Program Information")
    ax, ay, aw, ah = desk.geometry(about)
    vx, vy, vw, vh = desk.geometry(viewer)
    centre = (vx + vw // 2 - (ax + aw // 2), vy + vh // 2 - (ay + ah // 2))
    assert abs(centre[0]) < 40 and abs(centre[1]) < 40, "viewer not placed on the about box: %s" % (centre,)
    wait_until(lambda: desk.xdo("getwindowfocus").strip() == viewer, "the viewer never got the focus")
    desk.type("Typed here.")
    desk.shot(viewer, "readme-viewer")
    desk.click(viewer, vw * 199 // 399, vh * 196 // 208)  # OK
    desk.wait_gone("Additional Program Information")
    with open(notes, newline="") as f:
        saved = f.read()
    assert saved == "Version 1.02\r\nTyped here.", "read-me saved as %r" % saved
    desk.focus(about)
    desk.keys("Return")
    desk.wait_gone(TITLE, 1)


def check_restart(desk, shell):
    # A table whose header counts three records, cut short inside the second.
    cut = os.path.join(desk.root, "cut.dbf")
    subprocess.run([desk.qzdbf, "create", cut, "BARCODE:C:15", "QTY:C:10"], check=True)
    for code in ("111", "222", "333"):
        subprocess.run([desk.qzdbf, "append", cut, code, "1"], check=True, capture_output=True)
    with open(cut, "rb") as f:
        damaged = f.read()[:97 + 26 + 10]
    with open(desk.table, "wb") as f:
        f.write(damaged)
    desk.focus(shell)
    desk.keys("alt+o", "r")
    ask = desk.wait_window("DELETE ALL SCANNED RECORDS")
    desk.shot(ask, "restart-question")
    desk.keys("y")
    done = desk.wait_window("DATA FILE RESTARTED")
    desk.shot(done, "restart-done")
    archives = [n for n in os.listdir(desk.data) if re.fullmatch(r"\d{12}(_\d+)?\.dbf", n)]
    assert len(archives) == 1, "archives: %s" % archives
    with open(os.path.join(desk.data, archives[0]), "rb") as f:
        assert f.read() == damaged, "the archive is not the damaged file"
    assert read_dbf(desk.table) == [], "the scan data file was not made empty"
    desk.keys("Return")
    desk.wait_gone("DATA FILE RESTARTED")


def check_drop_in_use(desk, shell):
    for n in range(30):  # more than the grid shows: it opens scrolled to the end
        subprocess.run([desk.qzdbf, "append", desk.table, "50000000%05d" % n, str(n + 1)], check=True,
                       capture_output=True)
    desk.focus(shell)
    desk.keys("shift+s")
    screen = desk.wait_window("Scanned Data")
    wait_until(lambda: desk.xdo("getwindowfocus").strip() == screen, "the scanning screen never got the focus")
    for code, qty in (("4006381333931", "12"), ("5012345678900", "3")):
        desk.type(code)
        desk.keys("Return")
        desk.type(qty)
        desk.keys("Return")
    wait_until(lambda: len(read_dbf(desk.table)) == 32, "the scans were not stored")
    desk.shot(screen, "scanning")
    run = desk.drop(shell, desk.table)
    box = desk.wait_window("File Open Error")
    desk.shot(box, "drop-in-use")
    time.sleep(QUIET)  # a box over the scanning screen takes no key of a burst
    desk.keys("Return")
    desk.wait_gone("File Open Error")
    desk.dropped(run)


def check_browse(desk, shell):
    stock = os.path.join(desk.work, "STOCK.DBF")
    subprocess.run([desk.qzdbf, "create", stock, "CODE:C:8", "NAME:C:12"], check=True)
    for code, name in (("A1", "alpha"), ("A2", "beta"), ("A3", "gamma")):
        subprocess.run([desk.qzdbf, "append", stock, code, name], check=True, capture_output=True)
    desk.dropped(desk.drop(shell, stock))
    browser = desk.wait_window("Browse Database: " + stock)
    desk.focus(browser)
    desk.shot(browser, "browse-form")
    _, _, width, _ = desk.geometry(browser)

    def tool(index, separators):
        # Tool-bar buttons are 30 pixels wide after a 6-pixel handle and
        # 10-pixel separators; the bar sits below the menu bar.
        desk.click(browser, 8 + 30 * index + 10 * separators + 15, 23 + 17)

    def edit(text, step, want):
        desk.keys("ctrl+a")
        desk.type(text)
        step()
        def holds():
            rows = read_dbf(stock)
            return all(rows[i] == row for i, row in want.items()) and rows
        try:
            wait_until(holds, "")
        except AssertionError:
            raise AssertionError("after %r the table holds %s" % (text, read_dbf(stock)))

    # Each move stores the field first, then moves: record 1 -> 2 -> 1 -> 2 -> 3 -> 1.
    edit("T1", lambda: tool(6, 2), {0: ("T1", "alpha")})           # tool bar Next
    edit("T2", lambda: tool(4, 2), {1: ("T2", "beta")})            # tool bar Go Top
    edit("M1", lambda: desk.keys("alt+e", "n"), {0: ("M1", "alpha")})  # menu Next
    edit("E2", lambda: desk.keys("ctrl+End"), {1: ("E2", "beta")})      # accelerator
    edit("H3", lambda: desk.keys("ctrl+Home"), {2: ("H3", "gamma")})    # accelerator
    # Insert Record, two fields typed, then Go Bottom from the tool bar.
    desk.keys("alt+e", "i")
    wait_until(lambda: len(read_dbf(stock)) == 4, "Insert Record added no record")
    edit("N4", lambda: desk.keys("Tab"), {})
    edit("new", lambda: tool(7, 2), {3: ("N4", "new")})
    desk.keys("F2")  # the table view
    desk.shot(browser, "browse-table")
    assert width > 0


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    shots = sys.argv[sys.argv.index("--shots") + 1] if "--shots" in sys.argv else None
    desk = Desk(sys.argv[1], sys.argv[2], sys.argv[3], shots)
    try:
        shell = desk.start(sys.argv[1])
        desk.shot(shell, "shell")
        for check in (check_paths, check_bus, check_silent_bus, check_readme, check_restart, check_drop_in_use,
                      check_browse):
            if check in (check_paths, check_bus):
                check(desk)
            else:
                check(desk, shell)
            print("ok", check.__name__)
    finally:
        desk.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
