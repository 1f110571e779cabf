#!/usr/bin/python3
"""The gallery as a program on a real X desktop (Xvfb, openbox, trayer).

  tray     the tray icon's tip, with umlauts, read back from its X window;
           the mouse messages follow the real press, release and moves
  close    the dispatcher's labels give the rates it really runs; Alt+F4 on
           the gallery window ends the process, tray icon and all
  german   under LC_ALL=de_DE.UTF-8 the library shows German numbers and
           the program's dates

Every check polls for its condition with a time limit (xdesk.TIMEOUT).
usage: gallery_program_test.py QZGALLERY SCENARIO
Exit 77 (skipped) when the X tools are missing.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from xdesk import start_wm, start_xvfb, stop, wait_until  # noqa: E402

TIP = "Z\u00e4hlung M\u00fcnchen"


class Desk:
    def __init__(self, gallery, args, env=None, tray=False):
        self.xvfb, display = start_xvfb()
        self.work = tempfile.mkdtemp(prefix="qzprogram")
        self.report = os.path.join(self.work, "report")
        self.out = os.path.join(self.work, "out")
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", HOME=self.work, **(env or {}))
        self.procs = [start_wm(self.env)]
        if tray:
            self.procs.append(subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                 "--SetDockType", "true", "--transparent", "false"], env=self.env,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            wait_until(lambda: self.x("xdotool", "search", "--class", "trayer"), "trayer is up")
        with open(self.out, "w") as out:
            self.gallery = subprocess.Popen([gallery, "--report", self.report] + args, env=self.env,
                                            stdout=out, stderr=subprocess.STDOUT)
        self.procs.append(self.gallery)

    def x(self, *argv):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True).stdout.strip()

    def read(self):
        try:
            lines = open(self.report, encoding="utf-8").read().splitlines()
        except OSError:
            return {}
        return dict(line.partition(": ")[::2] for line in lines)

    def expect(self, key, cond, what):
        wait_until(lambda: cond(self.read().get(key, "")), "%s (the screen shows %r)" % (what, self.read()))

    def messages(self):
        """The tray callback's mouse messages the gallery printed, in order."""
        out = open(self.out, encoding="utf-8", errors="replace").read()
        return [int(line.rsplit("0x", 1)[1], 16) for line in out.splitlines() if line.startswith("tray callback")]

    def close(self):
        for p in reversed(self.procs + [self.xvfb]):
            stop(p)
        shutil.rmtree(self.work, ignore_errors=True)


def tray(gallery):
    desk = Desk(gallery, ["--tray", "--tip", TIP], tray=True)
    try:
        icon = wait_until(lambda: desk.x("xdotool", "search", "--name", "^%s$" % TIP).split(),
                          "the docked icon's window carries the tip")[0]
        name = desk.x("xprop", "-id", icon, "_NET_WM_NAME")
        assert name.endswith('"%s"' % TIP), "the X window's name is %r" % name
        geo = dict(v.split("=") for v in desk.x("xdotool", "getwindowgeometry", "--shell", icon).split())
        wait_until(lambda: int(desk.x("xwininfo", "-id", icon).split("Width: ")[1].split()[0]) >= 16,
                   "the icon is docked")
        xy = [str(int(geo["X"]) + 8), str(int(geo["Y"]) + 8)]
        desk.x("xdotool", "mousemove", "0", "300")
        desk.x("xdotool", "mousemove", *xy)
        wait_until(lambda: 0x200 in desk.messages(), "a move over the icon is WM_MOUSEMOVE")

        def clicks():
            return [m for m in desk.messages() if m != 0x200]
        desk.x("xdotool", "click", "--repeat", "2", "--delay", "60", "1")
        want = [0x201, 0x202, 0x203, 0x202]
        wait_until(lambda: clicks() == want, "a double click ends with its release (got %r)" % clicks())
        desk.x("xdotool", "mousedown", "1")
        wait_until(lambda: clicks() == want + [0x201], "the press alone is WM_LBUTTONDOWN (got %r)" % clicks())
        desk.x("xdotool", "mouseup", "1")
        wait_until(lambda: clicks() == want + [0x201, 0x202], "the release is WM_LBUTTONUP (got %r)" % clicks())
        desk.x("xdotool", "click", "3")
        wait_until(lambda: clicks()[-2:] == [0x204, 0x205], "a context click (got %r)" % clicks())
    finally:
        desk.close()


def close(gallery):
    desk = Desk(gallery, ["--tray"], tray=True)
    try:
        desk.expect("active", lambda v: v == "QZScan library gallery", "the gallery window is active")
        desk.expect("timers.111", lambda v: "frequency 1.0 s (sent every 1.1 s)" in v, "client A's real rate")
        desk.expect("timers.112", lambda v: "frequency 0.5 s (sent every 0.6 s)" in v, "client B's real rate")
        desk.x("xdotool", "key", "alt+F4")
        wait_until(lambda: desk.gallery.poll() is not None, "the gallery ends when its window closes")
        assert desk.gallery.returncode == 0, "exit code %s" % desk.gallery.returncode
    finally:
        desk.close()


def german(gallery):
    desk = Desk(gallery, ["--page", "1"], env={"LC_ALL": "de_DE.UTF-8"})
    try:
        today = datetime.date.today().strftime("%d/%m/%Y")
        desk.expect("controls.4", lambda v: v == today, "the date field shows today as DD/MM/YYYY")
        desk.expect("controls.2", lambda v: "," in v and v.strip().endswith(",00"), "amounts use a decimal comma")
    finally:
        desk.close()


SCENARIOS = {"tray": tray, "close": close, "german": german}


def main():
    if len(sys.argv) < 3 or sys.argv[2] not in SCENARIOS:
        print(__doc__)
        return 2
    for tool in ("Xvfb", "openbox", "trayer", "xdotool", "xprop", "xwininfo"):
        if not shutil.which(tool):
            print("SKIPPED:", tool, "is not installed")
            return 77
    try:
        SCENARIOS[sys.argv[2]](sys.argv[1])
    except AssertionError as e:
        print("FAILED:", e)
        return 1
    print("passed:", sys.argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
