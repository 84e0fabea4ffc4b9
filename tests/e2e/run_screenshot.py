"""`./dev run` without a display: starts wipedesk on the scratch machine, writes a picture of its
main window, and quits.

    run_screenshot.py <wipedesk> <picture.png>

Runs inside dbus-run-session on a virtual display; CVW_MACHINE names the machine.
"""
import sys
import time

import desk


def main():
    program, picture = sys.argv[1], sys.argv[2]
    app = desk.Desk(program)
    try:
        top = app.wait_for("TopUI", 30)
        main_window = app.find("MainWindow")
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
