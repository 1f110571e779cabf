#!/usr/bin/python3
"""The gallery as a program under Xvfb, openbox and trayer; every check polls
with a time limit. usage: gallery_program_test.py QZGALLERY tray|close|german"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from xdesk import start_wm, start_xvfb, stop, wait_until  # noqa: E402

TIP = "Z\u00e4hlung M\u00fcnchen"
SCENARIOS = {"tray": ["--tray", "--tip", TIP], "close": ["--tray"], "german": ["--page", "1"]}


def x(*argv):
    return subprocess.run(argv, env=env, capture_output=True, text=True).stdout.strip()


def shows(key, cond):
    def holds():
        lines = open(report, encoding="utf-8").read().splitlines() if os.path.exists(report) else []
        return cond(dict(line.partition(": ")[::2] for line in lines).get(key, ""))
    wait_until(holds, "%s never showed what was wanted" % key)


def clicks(n):  # waits for n mouse messages other than moves, and answers them
    def got():
        lines = open(out, encoding="utf-8").read().splitlines()
        m = [int(s.rsplit("0x", 1)[1], 16) for s in lines if s.startswith("tray callback")]
        return [v for v in m if v != 0x200] if len(m) - m.count(0x200) >= n else None
    return wait_until(got, "%d mouse messages" % n)


if shutil.which("trayer") is None or shutil.which("xdotool") is None or shutil.which("Xvfb") is None:
    print("SKIPPED: the X tools are missing")
    sys.exit(77)
scenario = sys.argv[2]
work = tempfile.mkdtemp()
report, out = os.path.join(work, "report"), os.path.join(work, "out")
xvfb, display = start_xvfb()
env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", HOME=work,
           **({"LC_ALL": "de_DE.UTF-8"} if scenario == "german" else {}))
procs = [start_wm(env), subprocess.Popen(["trayer", "--edge", "top", "--SetDockType", "true"], env=env)]
wait_until(lambda: x("xdotool", "search", "--class", "trayer"), "trayer is up")
gallery = subprocess.Popen([sys.argv[1], "--report", report] + SCENARIOS[scenario], env=env, stdout=open(out, "w"))
try:
    if scenario == "tray":
        icon = wait_until(lambda: x("xdotool", "search", "--name", "^%s$" % TIP), "the icon's window has the tip")
        assert x("xprop", "-id", icon, "_NET_WM_NAME").endswith('"%s"' % TIP)
        geo = wait_until(lambda: (lambda g: g if int(g["WIDTH"]) >= 16 else None)(
            dict(v.split("=") for v in x("xdotool", "getwindowgeometry", "--shell", icon).split())), "it is docked")
        x("xdotool", "mousemove", str(int(geo["X"]) + 8), str(int(geo["Y"]) + 8))
        x("xdotool", "click", "--repeat", "2", "--delay", "60", "1")
        assert clicks(4) == [0x201, 0x202, 0x203, 0x202], "a double click ends with its release"
        x("xdotool", "mousedown", "3")
        assert clicks(5)[4:] == [0x204], "the press alone is a button down"
        x("xdotool", "mouseup", "3")
        assert clicks(6)[5:] == [0x205] and 0x200 in [int(s.rsplit("0x", 1)[1], 16) for s in open(out)]
    elif scenario == "close":
        shows("timers.111", lambda v: "frequency 1.0 s (sent every 1.1 s)" in v)
        shows("timers.112", lambda v: "frequency 0.5 s (sent every 0.6 s)" in v)
        shows("active", lambda v: v == "QZScan library gallery")
        # A key the window manager took before the window had the focus
        # is given again, a second apart.
        def closed():
            x("xdotool", "key", "alt+F4")
            try:
                return wait_until(lambda: gallery.poll() is not None, "", timeout=1)
            except AssertionError:
                return False
        wait_until(closed, "the gallery ends when its window closes")
        assert gallery.returncode == 0, "the gallery ended with %s" % gallery.returncode
    else:
        shows("controls.4", lambda v: v == datetime.date.today().strftime("%d/%m/%Y"))
        shows("controls.2", lambda v: v.strip().endswith(",00"))
except AssertionError as e:
    print("FAILED:", scenario, e)
    sys.exit(1)
finally:
    for p in [gallery] + procs[::-1] + [xvfb]:
        stop(p)
    shutil.rmtree(work, ignore_errors=True)
print("passed:", scenario)
