"""What the tests that drive programs under X share: a server of their own,
a window manager, and waiting for a condition with a time limit.

Each server takes a display number drawn at random from a wide range and
reports when it accepts clients (Xvfb -displayfd); a number in use makes it
fail at once and another is drawn. With the lowest free number, a new
server could take the number of one still shutting down, and a program then
could not connect to the display its server had just reported (seen at
-j4); random numbers from a wide range keep consecutive servers apart.
"""
import os
import random
import select
import subprocess
import sys
import tempfile
import time

# Generous: a loaded machine (a parallel build, other tests) starts programs
# slowly; a condition that holds ends the wait at once.
TIMEOUT = 30


def wait_until(cond, what, timeout=TIMEOUT, step=0.05):
    """The first true value of cond(), polled until timeout; AssertionError
    naming `what` when it never comes."""
    end = time.monotonic() + timeout
    while True:
        value = cond()
        if value:
            return value
        if time.monotonic() >= end:
            raise AssertionError(what)
        time.sleep(step)


def start_xvfb():
    """An Xvfb server on a display nobody uses: (process, ":N"). When none
    starts within the time limit the test is skipped (exit 77)."""
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        display = ":%d" % random.randrange(100, 30000)
        rd, wr = os.pipe()
        # What the server says goes to a file a failed test can show
        # (xvfb.said()). -noreset: without it the server resets whenever its
        # last client leaves, and a program connecting while it does (after a
        # probe such as xdotool or xprop has left, with no window manager
        # holding on) is refused: "could not connect to display".
        log = tempfile.NamedTemporaryFile("w+", prefix="xvfb", suffix=".log", delete=False)
        xvfb = subprocess.Popen(["Xvfb", display, "-displayfd", str(wr), "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp", "-noreset"], pass_fds=(wr,),
                                stdout=log, stderr=subprocess.STDOUT)
        log.close()
        xvfb.log_path = log.name
        xvfb.said = lambda: server_said(xvfb, xvfb.log_path)
        os.close(wr)
        number = b""
        try:
            # The server writes the number once it accepts clients; EOF
            # means it died (the number was taken): draw another.
            while not number.endswith(b"\n") and time.monotonic() < end:
                ready, _, _ = select.select([rd], [], [], max(0.0, end - time.monotonic()))
                if not ready:
                    break
                chunk = os.read(rd, 16)
                if not chunk:
                    break
                number += chunk
        finally:
            os.close(rd)
        if number.strip().isdigit():
            display = ":" + number.decode().strip()
            # Ready means a client can connect: a first client proves it
            # before the program under test is the first to try.
            if accepts_clients(display):
                return xvfb, display
        stop(xvfb)
    print("SKIPPED: Xvfb did not start")
    sys.exit(77)


def server_said(xvfb, path):
    """Whether the server still runs, and the end of what it wrote."""
    state = "running" if xvfb.poll() is None else "ended %s" % xvfb.returncode
    try:
        with open(path, errors="replace") as f:
            return "Xvfb %s; it said: %s" % (state, f.read()[-1500:])
    except OSError:
        return "Xvfb " + state


def accepts_clients(display, timeout=10):
    """Whether a client connects to display within timeout."""
    env = dict(os.environ, DISPLAY=display)
    try:
        wait_until(lambda: subprocess.run(["xprop", "-root", "-len", "0", "_NET_SUPPORTED"], env=env,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0,
                   "a client connects to " + display, timeout=timeout)
        return True
    except AssertionError:
        return False


def start_wm(env, attempts=3):
    """openbox on env's display, once it manages windows (it has put up its
    check window on the root). An openbox that ends or does not come up in
    a third of the time limit is started again; what it said goes into the
    failure."""
    said = ""
    for _ in range(attempts):
        with tempfile.TemporaryFile("w+") as log:
            wm = subprocess.Popen(["openbox"], env=env, stdout=log, stderr=subprocess.STDOUT)

            def managing():
                if wm.poll() is not None:
                    return "ended"
                out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                                     capture_output=True, text=True).stdout
                return "up" if "window id" in out else None
            try:
                if wait_until(managing, "", TIMEOUT / 3) == "up":
                    return wm
            except AssertionError:
                pass
            stop(wm)
            log.seek(0)
            said = log.read().strip()
    raise AssertionError("openbox never came up (exit %s): %s" % (wm.returncode, said))


def stop(p):
    """Ends p, politely first (a server removes its lock then)."""
    if p.poll() is None:
        p.terminate()
    try:
        p.wait(timeout=5)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
    path = getattr(p, "log_path", None)
    if path:
        try:
            os.unlink(path)
        except OSError:
            pass
