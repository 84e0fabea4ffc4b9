"""The real wipedesk on a screen of the size its display has, in English and in German: the main
window with the task of a 16 TB disk, then with four tasks, lies wholly on the screen; a picture
of it each time goes to the screenshot folder, for people to look at.

    desk_screens.py <program directory of the build> <screenshot folder>

Runs inside dbus-run-session on a display of its own (see tests/e2e/CMakeLists.txt), without a
window manager: the work area is the whole screen.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import desk
import desk_e2e
import pyatspi

# Disks as an office has them, the first of 16 TB with two volumes of long names.
MACHINE = (
    '"drives": ['
    '{"number": 0, "size": 16000900661248, "vendor": "Seagate ", "product": "ST16000NM001G-2KK103",'
    ' "serial": "ZL2B9Q4K", "bus": "SATA"},'
    '{"number": 1, "size": 1000204886016, "vendor": "WDC ", "product": "WD10EZEX-08WN4A0",'
    ' "serial": "WD-WCC6Y4NLSV12", "bus": "SATA"},'
    '{"number": 2, "size": 250059350016, "vendor": "Samsung ", "product": "SSD 870 EVO 250GB",'
    ' "serial": "S6PENL0T512345A", "bus": "SATA"},'
    '{"number": 3, "size": 15504900096, "vendor": "Kingston", "product": "DataTraveler 3.0",'
    ' "serial": "E0D55EA573D1F3B0A8A5", "removable": true, "bus": "USB"}],'
    '"volumes": ['
    '{"disk": 0, "offset": 1048576, "length": 12000000000000, "file system": "NTFS",'
    ' "label": "Archive of the year 2023", "letters": "E"},'
    '{"disk": 0, "offset": 12000001048576, "length": 4000000000000, "file system": "NTFS",'
    ' "label": "Backups of the workstations", "letters": "F"},'
    '{"disk": 1, "offset": 1048576, "length": 600000000000, "file system": "NTFS",'
    ' "label": "Data", "letters": "D"}]')

LANGUAGES = {"en": {"LC_ALL": "C.UTF-8"},
             "de": {"LC_ALL": "de_DE.UTF-8", "LANGUAGE": "de"}}


def screen_size():
    out = subprocess.run(["xdotool", "getdisplaygeometry"], check=True, capture_output=True,
                         text=True, timeout=10).stdout.split()
    return int(out[0]), int(out[1])


def has_german():
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower()
    return "de_de.utf8" in out.split()


def settled_extents(app):
    """The main window's extents once they stay the same for a fifth of a second: the window
    takes its new size a moment after a task opens."""
    window = app.find("MainWindow")
    last = [None]

    def same():
        now = app.extents(window)
        settled, last[0] = now == last[0], now
        return now if settled else None
    return desk.wait_until("the window's size", same, 10, 0.2)


def on_screen(app, screen):
    """The main window lies wholly on the screen."""
    x, y, w, h = settled_extents(app)
    desk_e2e.check(x >= 0 and y >= 0 and x + w <= screen[0] and y + h <= screen[1],
                   "the window at %d,%d of %dx%d leaves the screen of %dx%d"
                   % (x, y, w, h, screen[0], screen[1]))


def picture(app, path):
    # The pointer away from the icons, whose tooltips would cover the window.
    pyatspi.Registry.generateMouseEvent(0, 0, "abs")
    time.sleep(0.5)
    desk.screenshot(path, settled_extents(app))


def one_language(build, work, machine_file, language, screen, folder):
    env = dict(os.environ, CVW_MACHINE=machine_file, **LANGUAGES[language])
    app = desk.Desk(os.path.join(work, "wipedesk"), ["dbg=" + os.path.join(work, "debug.log")],
                    env=env, cwd=work, errors=os.path.join(work, "errors.txt"))
    try:
        top = app.wait_for("TopUI", 30)
        name = os.path.join(folder, "wipedesk-%dx%d-" % screen)
        empty = settled_extents(app)
        app.click(app.wait_for("drive-0", root=top))
        app.wait_for("WipeUI", root=top)
        desk.wait_until("the window grown by the task",
                        lambda: settled_extents(app)[3] > empty[3])
        # START and CANCEL are on the screen, or come onto it as the keyboard reaches them.
        on_screen(app, screen)
        picture(app, name + "one-task-" + language + ".png")
        for icon in ("drive-1", "drive-2", "drive-3"):
            app.click(app.wait_for(icon, root=top))
        desk.wait_until("the fourth task", lambda: len(
            [n for n in desk._descendants(top) if n.accessibleId == "WipeUI"]) == 1)
        on_screen(app, screen)
        picture(app, name + "four-tasks-" + language + ".png")
        app.press(app.wait_for("close", root=top))
        app.press(app.wait_for("desktop", root=app.wait_for("QuitDialog")))
        question = desk.wait_until("the quit question", lambda: next(
            (w for w in app.windows() if w.name in ("Question", "Frage")), None))
        app.press(desk.wait_until("its Yes", lambda: next(
            (n for n in desk._descendants(question) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON
             and n.name.replace("_", "") in ("Yes", "Ja")), None)))
        code = app.wait_exit()
    finally:
        app.kill()
    desk_e2e.check(code == 0, "exit code %d, not 0" % code)


def main():
    build, folder = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    screen = screen_size()
    failures = 0
    for language in LANGUAGES:
        if language == "de" and not has_german():
            print("skip %s: the locale de_DE.UTF-8 is not installed (./dev deps installs it)"
                  % language)
            continue
        work = tempfile.mkdtemp(prefix="cvw-screens-")
        began = time.monotonic()
        try:
            desk_e2e.program_directory(build, work)
            machine_file = os.path.join(work, "machine.cfg")
            with open(machine_file, "w") as target:
                target.write(MACHINE)
            one_language(build, work, machine_file, language, screen, folder)
            print("ok   %dx%d %s (%.1f s)" % (screen + (language, time.monotonic() - began)))
        except Exception as failure:
            failures += 1
            print("FAIL %dx%d %s: %s: %s" % (screen + (language, type(failure).__name__, failure)))
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
