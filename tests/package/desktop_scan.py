#!/usr/bin/python3
"""The installed program on a desktop, as its user meets it: /usr/bin/qzscan
started from the menu's command on an X display with a window manager, its
window grouped under the desktop entry, one item scanned into the table in
the user's data folder.

Run as that user (install_test.sh does), with HOME set and no QZ_WORKDIR.
The reader tests' desk plays the barcode reader.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scan"))
from reader_e2e_test import Desk, expect  # noqa: E402


def main():
    desk = Desk("/usr/bin/qzscan", wm=True)
    # What a desktop session hands the program: no test folder, no drive map.
    for name in ("QZ_WORKDIR", "QZ_DRIVES", "XDG_DATA_HOME"):
        desk.env.pop(name, None)
    desk.table = os.path.join(os.environ["HOME"], ".local/share/qzscan/DATA/QZSCAN.DBF")
    try:
        desk.start()
        window = desk.windows("Quorvex Stocktake Utility")[0]
        prop = subprocess.run(["xprop", "-id", window, "WM_CLASS", "_NET_WM_ICON"], env=desk.env,
                              capture_output=True, text=True).stdout
        # The class the desktop entry names (StartupWMClass), and an icon.
        expect('WM_CLASS(STRING) = "qzscan", "qzscan"' in prop, "window class: %s" % prop[:200])
        expect("_NET_WM_ICON(CARDINAL) = " in prop, "the window has no icon")
        desk.open_screen()
        desk.scan("PKG0001", "3")
        got = desk.wait_table([("PKG0001", "3")])
        expect(got == [("PKG0001", "3")], "stored %r" % got)
        print("scanned into", desk.table)
        return 0
    except AssertionError as e:
        print("FAILED:", e)
        return 1
    finally:
        desk.close()


if __name__ == "__main__":
    sys.exit(main())
