#!/usr/bin/python3
"""The gallery's entry controls and widgets under X, driven by real input.

The real gallery runs on its own Xvfb display under openbox; xdotool sends
X key and mouse events a few milliseconds apart, as a person's typing
arrives. The gallery's --report file tells what the screen shows; every
check polls it with a time limit. The server picks its own free display.

usage: gallery_e2e_test.py QZGALLERY SCENARIO
    (entry, calc, calendar, masked, tips, list, tabs, german, paste, ends, maskpaste, deadkeys, cyrillic, above)
Pastes go through the real clipboard (xclip).
Exit 77 (skipped) when the X tools are missing.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from xdesk import TIMEOUT, start_wm, start_xvfb, stop, wait_until  # noqa: E402

DELAY_MS = "5"


def skip(why):
    print("SKIPPED:", why)
    sys.exit(77)


class Desk:
    """Xvfb, openbox and the gallery on one page; xdotool to drive it."""

    def __init__(self, gallery, args):
        self.xvfb, self.display = start_xvfb()
        self.work = tempfile.mkdtemp(prefix="qzgallery")
        self.report = os.path.join(self.work, "report")
        self.procs = []
        self.env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb", HOME=self.work,
                        XDG_CONFIG_HOME=os.path.join(self.work, ".config"))
        self.procs.append(start_wm(self.env))
        self.command = [gallery, "--report", self.report] + args
        self.start()

    def start(self):
        self.gallery = subprocess.Popen(self.command, env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(self.gallery)
        self.wait(lambda r: r.get("active") == "QZScan library gallery", "the gallery window is active")

    def restart(self):
        """Ends the gallery and starts it again with the same home folder."""
        stop(self.gallery)
        self.procs.remove(self.gallery)
        os.remove(self.report)
        self.start()

    def read(self):
        try:
            lines = open(self.report, encoding="utf-8").read().splitlines()
        except OSError:
            return {}
        out = {}
        for line in lines:
            key, _, value = line.partition(": ")
            out.setdefault(key, value) if key != "window" else out.setdefault("windows", []).append(value)
        return out

    def wait(self, cond, what, timeout=TIMEOUT):
        def holds():
            r = self.read()
            return r if r and cond(r) else None
        try:
            return wait_until(holds, what, timeout)
        except AssertionError:
            self.shot("failed")
            raise AssertionError("%s; the screen shows %r" % (what, self.read()))

    def expect(self, key, value, what=None):
        return self.wait(lambda r: r.get(key) == value, what or "%s is %r" % (key, value))

    def window(self, title):
        for w in self.read().get("windows", []):
            name, _, rect = w.rpartition(" @ ")
            if name == title:
                return [int(v) for v in rect.split()]
        return None

    def xdo(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, capture_output=True)

    def keys(self, *keys):
        self.xdo("key", "--delay", DELAY_MS, *keys)

    def type(self, text):
        self.xdo("type", "--delay", DELAY_MS, text)

    def focus(self, key):
        """Gives a control the keys with a click, unless it has them, and
        waits until it has: a window manager passes a click on after keys
        typed later have arrived."""
        if self.read().get("focus") != key:
            self.click(key)
            self.expect("focus", key)

    def popups(self):
        """The gallery's windows on screen, menus included."""
        return len(subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.gallery.pid)],
                                  env=self.env, capture_output=True, text=True).stdout.split())

    def context_menu(self, key):
        """Opens the context menu of a control and waits until it is up."""
        before = self.popups()
        self.click(key, button=3)
        wait_until(lambda: self.popups() > before, "the context menu of %s never opened" % key)

    def click(self, key, dx=None, dy=None, button=1):
        """Clicks a control of the report (its middle, or dx, dy inside it)."""
        x, y, w, h = [int(v) for v in self.wait(lambda r: key + "@" in r, key + " is on screen")[key + "@"].split()]
        self.xdo("mousemove", x + (w // 2 if dx is None else dx), y + (h // 2 if dy is None else dy), "click", button)

    def shot(self, name):
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", "/tmp/qzgallery-%s.png" % name], env=self.env)

    def close(self):
        for p in reversed(self.procs + [self.xvfb]):  # the server last: it removes its lock
            stop(p)
        shutil.rmtree(self.work, ignore_errors=True)


def shown_date(d):
    """A date as the gallery shows it: it starts with the program's settings (DD/MM/YYYY)."""
    return d.strftime("%d/%m/%Y")


def months_back(d, n=1):
    y, m = divmod(d.year * 12 + d.month - 1 - n, 12)
    last = (datetime.date(y + (m + 1) // 12, (m + 1) % 12 + 1, 1) - datetime.timedelta(days=1)).day
    return d.replace(year=y, month=m + 1, day=min(d.day, last))


def amount_is(desk, text):
    desk.wait(lambda r: r.get("controls.2", "").strip() == text, "the amount shows %r" % text)


def entry(desk):
    today = datetime.date.today()
    desk.focus("controls.2")
    desk.type("1234")
    amount_is(desk, "1,234.00")
    desk.type(".")
    desk.type("5")
    amount_is(desk, "1,234.50")
    desk.keys("BackSpace")
    amount_is(desk, "1,234.00")
    desk.keys("Return")
    desk.expect("focus", "controls.4", "Enter moves on to the date")
    desk.keys("KP_Add", "KP_Add", "KP_Subtract")
    desk.expect("controls.4", shown_date(today + datetime.timedelta(days=1)), "the keypad steps the date")
    desk.keys("plus", "minus", "shift+equal")
    time.sleep(0.3)  # nothing is to happen: give it the time it would take
    desk.expect("controls.4", shown_date(today + datetime.timedelta(days=1)), "the main keyboard's + and - step nothing")
    desk.keys("Return")
    desk.expect("focus", "controls.6", "Enter moves on to the time")
    desk.context_menu("controls.4")
    desk.keys("t")  # "&Today"
    desk.expect("controls.4", shown_date(today), "the menu's Today enters today")
    desk.click("controls.6")  # the caret lands inside "00:00"
    desk.expect("focus", "controls.6")
    desk.type("1230")
    desk.expect("controls.6", "12:30", "a time typed after a click")
    x, y, w, h = [int(v) for v in desk.read()["controls.2@"].split()]
    desk.xdo("mousemove", x + w // 2, y + h // 2, "click", "--repeat", 2, "--delay", 80, 1)
    desk.wait(lambda r: r.get("caret") == "12 selected 12", "a double click selects the amount")
    desk.type("8")
    amount_is(desk, "8.00")


def calc_dialog(desk, typed=None, clicks=(), close="101"):
    desk.click("controls.1002")
    desk.wait(lambda r: "Calculator.100" in r and r.get("focus") == "Calculator.100", "the calculator has the keys")
    if typed:
        desk.type(typed)
    for b in clicks:
        desk.click("Calculator." + b)
    return close


def calc(desk):
    calc_dialog(desk, "c3 + 4 = =")  # the blanks are swallowed
    desk.expect("Calculator.100", "10.", "3 + 4 = = typed")
    desk.click("Calculator.101")  # SAVE/EXIT
    amount_is(desk, "10.00")
    desk.expect("focus", "controls.2")
    calc_dialog(desk, "c.3+4.6=")
    desk.expect("Calculator.100", "4.9", "0.3 + 4.6 shown as typed")
    desk.click("Calculator.101")
    amount_is(desk, "4.90")
    # C 6 x 7 = by mouse; QUIT keeps the field, SAVE/EXIT takes 42.
    for close, want in (("102", "4.90"), ("101", "42.00")):
        calc_dialog(desk, clicks=("129", "108", "119", "103", "130"))
        desk.expect("Calculator.100", "42.", "C 6 x 7 = clicked")
        desk.click("Calculator." + close)
        desk.wait(lambda r: "Calculator.100" not in r, "the calculator closes")
        amount_is(desk, want)


def calendar(desk):
    today = datetime.date.today()
    desk.click("controls.1004")
    r = desk.wait(lambda r: r.get("focus") == "Calendar.100", "the calendar has the keys")
    desk.shot("calendar")
    fx, fy, fw, fh = [int(v) for v in r["controls.4@"].split()]
    cx, cy = desk.window("Calendar")[:2]
    expect(abs(cx - fx) < 10 and fy + fh <= cy <= fy + fh + 40, "the calendar opens at %d,%d, under the field at %d,%d"
           % (cx, cy, fx, fy + fh))
    desk.keys("Prior", "Right", "Down")
    picked = months_back(today) + datetime.timedelta(days=8)
    desk.expect("Calendar.100", shown_date(picked), "Page Up, Right, Down move the day")
    desk.keys("Return")
    desk.expect("controls.4", shown_date(picked), "Enter picks the day")
    desk.expect("focus", "controls.4", "the field has the keys again")
    desk.click("controls.1004")
    desk.wait(lambda r: r.get("focus") == "Calendar.100", "the calendar opens again")
    desk.keys("Next", "Escape")
    desk.wait(lambda r: "Calendar.100" not in r, "Escape closes the calendar")
    desk.expect("controls.4", shown_date(picked), "Escape picks nothing")
    desk.expect("focus", "controls.4")
    desk.keys("KP_Add")
    desk.expect("controls.4", shown_date(picked + datetime.timedelta(days=1)), "the keypad steps the date at once")
    # "&Calendar..." chosen with Enter: the release of that Enter picks nothing.
    desk.context_menu("controls.4")
    desk.keys("Down", "Down", "Return")
    desk.wait(lambda r: r.get("focus") == "Calendar.100", "the menu opens the calendar")
    time.sleep(0.3)
    expect(desk.window("Calendar"), "the Enter that chose the menu item closed the calendar")
    desk.keys("Left", "Return")
    desk.expect("controls.4", shown_date(picked), "Left and Enter pick the day before")


def above(desk):
    """With no room below the date field, the calendar opens above it and
    leaves the field in sight, title bar and all."""
    desk.xdo("search", "--name", "QZScan library gallery", "windowmove", 0, 560)
    r = desk.wait(lambda r: int(r.get("controls.4@", "0 0").split()[1]) > 560, "the gallery moves down")
    fx, fy, fw, fh = [int(v) for v in r["controls.4@"].split()]
    desk.click("controls.1004")
    desk.wait(lambda r: r.get("focus") == "Calendar.100", "the calendar has the keys")

    def clear_of_field(r):
        cal = desk.window("Calendar")
        return cal and cal[1] + cal[3] <= fy - 2 and cal[1] + cal[3] >= fy - 60

    desk.wait(clear_of_field, "the calendar sits just above the field at %d, not over it: %r" % (fy, desk.window("Calendar")))


def masked(desk):
    steps = [  # (control, keys typed or pressed, text shown)
        ("masked.2", ("type", "-"), "-1,234,567.45"),
        ("masked.2", ("type", "+"), "1,234,567.45"),
        ("masked.2", ("type", " "), ""),
        ("masked.2", ("type", "1234.567"), "1,234.56"),
        ("masked.2", ("type", "-"), "-1,234.56"),
        ("masked.4", ("type", "+"), "26.12.2024"),
        ("masked.4", ("type", "M"), "26.01.2025"),
        ("masked.4", ("type", "y"), "26.01.2024"),
        ("masked.4", ("keys", "KP_Subtract"), "25.01.2024"),
        ("masked.4", ("keys", "Home", "Delete"), "50.12.024 "),
        ("masked.4", ("keys", "Right", "Right", "Right", "BackSpace"), "5 .12.024 "),
        ("masked.4", ("keys", "Home"), "5 .12.024 "),
        ("masked.4", ("type", "31122025"), "31.12.2025"),
        ("masked.6", ("type", "+M"), "typed as it comes+M"),
    ]
    for key, (how, *what), want in steps:
        if desk.read().get("focus") != key:
            desk.focus(key)
            desk.keys("End")
        getattr(desk, how)(*what)
        desk.expect(key, want, "%s after %r" % (key, what))


def tips(desk):
    desk.click("tips.2")
    desk.expect("Tip of the Day.106", "Scanning", "the first tip shows")
    tx, ty, tw, th = desk.window("Tip of the Day")
    gx, gy, gw, gh = desk.window("QZScan library gallery")
    expect(gx < tx + tw // 2 < gx + gw and gy < ty + th // 2 < gy + gh, "the tips open over the gallery, not off it")
    for keys, heading in (("alt+n", "Exporting"), ("alt+n", "Restarting"), ("alt+p", "Exporting")):
        desk.keys(keys)
        desk.expect("Tip of the Day.106", heading, "%s pages the tips" % keys)
    # Enter presses the button with the focus, not Close.
    desk.expect("focus", "Tip of the Day.101", "Alt+P leaves the focus on Previous")
    desk.keys("Return")
    desk.expect("Tip of the Day.106", "Scanning", "Enter presses Previous")
    desk.expect("focus", "Tip of the Day.102", "on the first tip Next has the focus")
    desk.keys("Return")
    desk.expect("Tip of the Day.106", "Exporting", "Enter presses Next")
    desk.click("Tip of the Day.105")  # "Show Tips on startup" off
    desk.expect("Tip of the Day.105", "Show Tips on startup [ ]")
    desk.keys("alt+c")
    desk.wait(lambda r: "Tip of the Day.106" not in r, "Close closes the tips")
    desk.expect("tips.5", "Last tip 2, show on startup off", "the page keeps the state")
    desk.restart()
    desk.expect("tips.5", "Last tip 2, show on startup off", "the next run keeps the state")
    desk.click("tips.2")
    desk.expect("Tip of the Day.106", "Restarting", "the next run goes on after the last tip")
    desk.expect("Tip of the Day.105", "Show Tips on startup [ ]")
    desk.keys("alt+c")
    desk.wait(lambda r: "Tip of the Day.106" not in r, "Close closes the tips")


def tabs(desk):
    desk.focus("extensions.12")
    desk.keys("Tab")
    desk.expect("focus", "extensions.3", "Tab enters the tab bar")
    desk.keys("Right", "alt+l")
    time.sleep(0.3)  # nothing is to happen: give it the time it would take
    desk.expect("extensions.3", "First", "neither Right nor Alt+L selects the locked tab")
    desk.keys("alt+t")
    desk.expect("extensions.3", "Third", "Alt+T selects an allowed tab")
    for keys, where in (("Tab", "extensions.4"), ("shift+Tab", "extensions.3"), ("click", "Locked tabs.100"),
                        ("Tab", "Locked tabs.101"), ("shift+Tab", "Locked tabs.100")):
        desk.click("extensions.15") if keys == "click" else desk.keys(keys)
        desk.expect("focus", where, "%s moves the focus out of the tab bar and back" % keys)
    desk.keys("Escape")
    desk.wait(lambda r: "Locked tabs.100" not in r, "Escape closes the dialog from its tab bar")


def listbox(desk):
    x, y = [int(v) for v in desk.wait(lambda r: "list.2@" in r, "the list shows")["list.2@"].split()][:2]
    desk.xdo("mousemove", x + 150, y + 20, "click", 1)
    desk.expect("list.2", "bulb / inserted / icon / file | caret 0", "a click puts the caret")
    desk.keys("Down")
    desk.expect("list.2", "bulb / inserted / icon / file | caret 1", "Down moves the caret")
    desk.keys("Delete")
    desk.expect("list.2", "bulb / icon / file | caret 1", "Delete removes the entry")
    # Drag the first entry down onto the third: it goes before it. (Pressed
    # away from the click before, which a quick press would double.)
    desk.xdo("mousemove", x + 100, y + 20, "mousedown", 1)
    for i in range(1, 13):
        desk.xdo("mousemove", x + 100, y + 20 + i * 10)
    desk.xdo("mouseup", 1)
    desk.expect("list.2", "icon / bulb / file | caret 1", "the drag moves the entry")
    desk.expect("list.5", "Moved node 1 from 0 to 1")
    desk.xdo("mousemove", x + 150, y + 20, "click", "--repeat", 2, "--delay", 80, 1)
    desk.wait(lambda r: r.get("list.5", "").startswith("Double click: node 2"), "a double click reports the node")


def german(desk):
    subprocess.run(["setxkbmap", "de"], env=desk.env)
    desk.focus("controls.2")
    desk.type("1234")
    desk.keys("KP_Decimal")  # "," on a German keypad
    desk.type("5")
    amount_is(desk, "1,234.50")
    desk.keys("Return", "shift+Tab")  # back in: the first key starts anew
    desk.type("7,25")  # the main block's comma
    amount_is(desk, "7.25")
    refused(desk, "controls.2", lambda: desk.keys("dead_acute", "e"), "a dead key composes no letter into the amount")
    desk.keys("Return", "KP_Add", "plus")  # "+" has a key of its own on a German keyboard
    time.sleep(0.3)
    desk.expect("controls.4", shown_date(datetime.date.today() + datetime.timedelta(days=1)), "the keypad steps the date")
    desk.click("controls.1002")
    desk.wait(lambda r: r.get("focus") == "Calculator.100", "the calculator has the keys")
    desk.type("c2,5*3")
    desk.keys("KP_Enter")
    desk.expect("Calculator.100", "7.5", "2,5*3 and Enter on a German keyboard")


def clip(desk, text, selection="clipboard"):
    """Puts text on an X selection (xclip serves it) and waits until it is there."""
    subprocess.run(["xclip", "-selection", selection, "-i"], input=text.encode(), env=desk.env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until(lambda: subprocess.run(["xclip", "-selection", selection, "-o"], env=desk.env,
                                      capture_output=True).stdout == text.encode(), "the %s holds %r" % (selection, text))


def settled(desk):
    """Waits until the keys sent so far have arrived: Home is pressed after
    them and the caret is seen at the start (X delivers keys in order)."""
    desk.keys("Home")
    desk.wait(lambda r: r.get("caret", "").startswith("0 "), "the keys have arrived")


def paste(desk):
    desk.focus("controls.2")
    desk.type("77")
    amount_is(desk, "77.00")
    for pasted, want in (("abc", "77.00"), ("EUR 12", "77.00"), ("(42)", "-42.00"), ("12abc", "-42.00"),
                         (" $1,234.5 ", "1,234.50"), ("12.345", "1,234.50"), ("-(4)", "1,234.50"),
                         ("5-", "-5.00"), ("12.345.678", "-5.00")):
        clip(desk, pasted)
        desk.keys("End", "ctrl+v")
        settled(desk)
        amount_is(desk, want)
    clip(desk, "12abc", "primary")
    refused(desk, "controls.2", lambda: desk.click("controls.2", button=2), "the middle button pastes no letters")
    refused(desk, "controls.2", lambda: desk.keys("Home", "ctrl+k", "End", "ctrl+BackSpace"), "nor do editing keys")
    desk.click("controls.1002")
    desk.wait(lambda r: r.get("focus") == "Calculator.100", "the calculator has the keys")
    clip(desk, "24.abc")
    desk.keys("ctrl+v")
    settled(desk)
    desk.expect("Calculator.100", "-5.", "garbage pasted into the calculator is refused")


def refused(desk, key, send, why):
    """Sends input the control is to refuse (send()) and checks, once it has
    arrived, that the control shows what it showed before."""
    before = desk.read().get(key)
    send()
    settled(desk)
    desk.expect(key, before, why)


def ends(desk):
    desk.focus("controls.4")
    desk.keys("ctrl+a")
    last = shown_date(datetime.date(9999, 12, 31))
    desk.type(last)
    desk.expect("controls.4", last)
    refused(desk, "controls.4", lambda: desk.keys("KP_Add"), "the keypad + on the last day keeps it")
    refused(desk, "controls.4", lambda: (desk.keys("ctrl+a"), desk.type("hello")), "letters are refused")
    desk.keys("ctrl+a")
    desk.type("31/02/2024")
    desk.expect("controls.4", "31/02/202", "the key that makes 31 February is refused")
    desk.focus("controls.6")
    desk.keys("ctrl+a")
    desk.type("2599")
    desk.expect("controls.6", "02:59", "25:99 is refused")


def maskpaste(desk):
    desk.focus("masked.2")
    for keys in (("ctrl+v",), ("ctrl+k",), ("End", "ctrl+BackSpace")):
        clip(desk, "a,bc-,12x.3.")
        refused(desk, "masked.2", lambda: desk.keys("End", *keys), "%s keeps the number" % (keys,))
    clip(desk, "12x.3.", "primary")
    refused(desk, "masked.2", lambda: desk.click("masked.2", button=2), "the middle button's paste is refused")
    clip(desk, "-12.5")
    desk.keys("ctrl+a", "ctrl+v")
    desk.expect("masked.2", "-12.5", "a number pasted in place of the whole text")
    desk.focus("masked.4")
    clip(desk, "2024-12-25 extra text")
    refused(desk, "masked.4", lambda: desk.keys("ctrl+a", "ctrl+v"), "a text that is no date is refused")
    desk.keys("Home")
    desk.type("31129999")
    desk.expect("masked.4", "31.12.9999")
    refused(desk, "masked.4", lambda: desk.type("+"), "+ on the last day keeps it")


def deadkeys(desk):
    subprocess.run(["setxkbmap", "de"], env=desk.env)
    desk.focus("masked.2")
    desk.type(" ")
    desk.expect("masked.2", "")
    desk.keys("dead_acute", "e", "9", "9", "period", "2", "5")
    desk.expect("masked.2", "99.25", "a dead key composes no letter into the number")
    desk.focus("masked.4")
    desk.keys("Home", "dead_circumflex", "a", "1")
    desk.expect("masked.4", "15.12.2024", "nor into the date")


def cyrillic(desk):
    subprocess.run(["setxkbmap", "ru"], env=desk.env)
    desk.focus("extensions.10")
    desk.keys("Cyrillic_zhe")
    desk.expect("extensions.10", "\u0436", "a Cyrillic first key empties the field")


def expect(cond, what):
    if not cond:
        raise AssertionError(what)


SCENARIOS = {"entry": (["--page", "1"], entry), "calc": (["--page", "1"], calc),
             "calendar": (["--page", "1"], calendar), "masked": (["--page", "2"], masked),
             "tips": (["--page", "3"], tips), "list": (["--page", "4"], listbox),
             "tabs": (["--page", "5"], tabs),
             "german": (["--page", "1"], german), "paste": (["--page", "1"], paste),
             "ends": (["--page", "1"], ends), "maskpaste": (["--page", "2"], maskpaste),
             "deadkeys": (["--page", "2"], deadkeys), "cyrillic": (["--page", "5"], cyrillic),
             "above": (["--page", "1"], above)}


def main():
    if len(sys.argv) < 3 or sys.argv[2] not in SCENARIOS:
        print(__doc__)
        return 2
    for tool in ("Xvfb", "openbox", "xdotool", "setxkbmap", "xclip"):
        if not shutil.which(tool):
            skip(tool + " is not installed")
    args, scenario = SCENARIOS[sys.argv[2]]
    desk = Desk(sys.argv[1], args)
    try:
        scenario(desk)
    except AssertionError as e:  # a screenshot of that moment is in /tmp/qzgallery-failed.png
        print("FAILED:", e)
        return 1
    finally:
        desk.close()
    print("passed:", sys.argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
