"""`./dev run` without a display: starts wipedesk on the scratch machine, opens the task of the
second drive (the one with two volumes), writes a picture of the main window, and quits.

    run_screenshot.py <wipedesk> <picture.png>

Runs inside dbus-run-session on a virtual display; CVW_MACHINE names the machine.
"""
import sys
import time

import desk
import pyatspi


def main():
    program, picture = sys.argv[1], sys.argv[2]
    app = desk.Desk(program)
    try:
        top = app.wait_for("TopUI", 30)
        main_window = app.find("MainWindow")
        # The first run asks which drives to hide: those with warnings stay hidden.
        app.press_button("Cancel", app.window("Hidden Drives", 30))
        app.click(app.wait_for("drive-1", root=top))
        app.wait_for("WipeUI", root=top)
        # The pointer away from the icon, whose tooltip would cover the window.
        pyatspi.Registry.generateMouseEvent(0, 0, "abs")
        # Drawn over a few turns of the program's main loop.
        time.sleep(0.5)
        desk.screenshot(picture, app.extents(main_window))
        app.press(app.wait_for("close", root=top))
        app.press_button("Yes", app.window("Question"))
        return app.wait_exit()
    finally:
        app.kill()


if __name__ == "__main__":
    sys.exit(main())
