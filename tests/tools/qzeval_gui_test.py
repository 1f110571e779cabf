#!/usr/bin/python3
"""qzeval --gui on a real X server: the dispatcher's functions, the splash
screens, APP and the box classes by name, and RUNEVENTS running the message
loop so that the timers fire. Lines go to one qzeval session through its
standard input; each answer is read with a time limit.

usage: qzeval_gui_test.py QZEVAL      Exit 77 (skipped) without Xvfb.
"""
import os
import select
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xdesk import TIMEOUT, start_xvfb, stop, wait_until  # noqa: E402


class Session:
    def __init__(self, qzeval, env):
        self.p = subprocess.Popen([qzeval, "--gui"], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)

    def __call__(self, line):
        """The answer to one line, or AssertionError with what qzeval said."""
        self.p.stdin.write((line + "\n").encode())
        self.p.stdin.flush()
        out = b""
        end = time.monotonic() + TIMEOUT
        while not out.endswith(b"\n"):
            ready, _, _ = select.select([self.p.stdout, self.p.stderr], [], [], max(0, end - time.monotonic()))
            if not ready:
                raise AssertionError("no answer to %r" % line)
            if self.p.stderr in ready:
                said = os.read(self.p.stderr.fileno(), 4096).decode(errors="replace")
                if "qzeval: line" in said:
                    raise AssertionError("%r failed: %s" % (line, said.strip()))
                continue
            chunk = os.read(self.p.stdout.fileno(), 1)
            if not chunk:
                raise AssertionError("qzeval ended at %r" % line)
            out += chunk
        return out.decode().strip()

    def expect(self, line, want):
        got = self(line)
        if got != want:
            raise AssertionError("%s gave %r, not %r" % (line, got, want))


def run(ev):
    ev.expect("c := RyTimerContainer{}", "{RYTIMERCONTAINER}")
    # A record is a client too: its ISTIMETOSEND counts its own tenths.
    ev("r := RyTimedMethod{}")
    ev.expect("c:REGISTERCLIENT(r, #ISTIMETOSEND, 0)", ".T.")
    ev.expect("TIMEREVENT()", "NIL")
    ev.expect("TIMERPROC(0, 0, 0, 0)", "0")
    ev.expect("r:COUNTDOWN", "0.80")
    ev.expect("ISVALIDOBJECT(c)", ".T.")
    ev.expect("ISVALIDOBJECT(NIL)", ".F.")
    wait_until(lambda: ev("RUNEVENTS(100)") and ev("r:COUNTDOWN") != "0.80", "the dispatcher ticks in RUNEVENTS")
    for cls, args in (("QZSPLASH", "NIL"), ("APP", ""), ("TEXTBOX", 'NIL, "CAPTION", "Text"'),
                      ("WARNINGBOX", 'NIL, "CAPTION", "Text"')):
        ev.expect("%s{%s}" % (cls, args), "{%s}" % cls)
    ev.expect("s := SplashScreen{NIL}", "{SPLASHSCREEN}")
    ev("s:SHOW()")
    ev.expect("s:HANDLE != 0", ".T.")
    wait_until(lambda: ev("RUNEVENTS(100)") and ev("s:HANDLE") == "0", "the splash screen closes on its timer")


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    if not shutil.which("Xvfb"):
        print("SKIPPED: Xvfb is not installed")
        return 77
    xvfb, display = start_xvfb()
    ev = Session(sys.argv[1], dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb"))
    try:
        run(ev)
    except AssertionError as e:
        print("FAILED:", e)
        return 1
    finally:
        stop(ev.p)
        stop(xvfb)
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
