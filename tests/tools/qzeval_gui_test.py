#!/usr/bin/python3
"""qzeval --gui on a real X server: the dispatcher's functions, the splash
screens, APP and the boxes by name, and RUNEVENTS running the message loop
until a condition holds. usage: qzeval_gui_test.py QZEVAL (77: skipped)"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xdesk import start_xvfb, stop  # noqa: E402

LINES = [  # a record is a client too: its ISTIMETOSEND counts its own tenths
    ("c := RyTimerContainer{}", "{RYTIMERCONTAINER}"), ("r := RyTimedMethod{}", "{RYTIMEDMETHOD}"),
    ("c:REGISTERCLIENT(r, #ISTIMETOSEND, 0)", ".T."), ("TIMEREVENT()", "NIL"),
    ("TIMERPROC(0, 0, 0, 0)", "0"), ("r:COUNTDOWN", "0.80"),
    ("ISVALIDOBJECT(c)", ".T."), ("ISVALIDOBJECT(NIL)", ".F."),
    ("RUNEVENTS(30000, {|| r:COUNTDOWN != 0.8})", ".T."),  # the thread timer ticks in the loop
    ("QZSPLASH{NIL}", "{QZSPLASH}"), ("App{}", "{APP}"), ('TextBox{NIL, "A", "B"}', "{TEXTBOX}"),
    ('WarningBox{NIL, "A", "B"}', "{WARNINGBOX}"), ("s := SplashScreen{NIL}", "{SPLASHSCREEN}"),
    ("s:SHOW()", "NIL"), ("s:HANDLE != 0", ".T."),
    ("RUNEVENTS(30000, {|| s:HANDLE == 0})", ".T."),  # it closes on its own timer
]

if not shutil.which("Xvfb"):
    print("SKIPPED: Xvfb is not installed")
    sys.exit(77)
xvfb, display = start_xvfb()
try:
    run = subprocess.run([sys.argv[1], "--gui"] + [line for line, _ in LINES], capture_output=True, text=True,
                         env=dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb"), timeout=120)
finally:
    stop(xvfb)
got = run.stdout.splitlines()
bad = [(line, want, answer) for (line, want), answer in zip(LINES, got + [None] * len(LINES)) if answer != want]
print("\n".join("FAILED: %s gave %r, not %r" % b for b in bad) or "passed", run.stderr if bad else "")
sys.exit(1 if bad else 0)
