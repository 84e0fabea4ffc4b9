"""The real wipedesk on a screen of the size its display has, in English and in German: the main
window with the task of a 16 TB disk, then with four tasks, lies wholly on the screen; a picture
of it each time goes to the screenshot folder, for people to look at.

    desk_screens.py <program directory of the build> <screenshot folder> [--panel]

Runs inside dbus-run-session on a display of its own (see tests/e2e/CMakeLists.txt). Without
--panel there is no window manager and the work area is the whole screen. With --panel a real
window manager (openbox) and a panel (tint2, at the foot of the screen) run, as on a laptop's
desktop: the window then lies inside the work area that they leave, a task just opened shows
its whole wipe panel without scrolling, the wheel over its settings scrolls the task area and
changes none of them, and a wipe armed by START shows its drive's model and serial beside
CONTINUE and CANCEL.
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

# What the operator needs of a task's wipe panel to start a wipe, by accessible id.
WIPE_CONTROLS = ("message", "start", "stop", "wipeArea", "wipeStart", "wipeSectors",
                 "wipeFinish", "operationMode", "fillPattern", "sectorsPerTime", "jumpSectors",
                 "ignoreWriteErrors", "verify")

# What tells the operator, once a wipe is armed, which drive it will wipe and how to go on or
# not: the drive's model and serial, the READY question, CONTINUE and CANCEL.
ARMED_CONTROLS = ("model", "serial", "message", "start", "stop")

# The READY question of an armed wipe, as it begins in each language.
READY = {"en": "READY - Data", "de": "BEREIT - Die Daten"}

# Skipped (ctest's SKIP_RETURN_CODE): the desktop of --panel is not installed.
SKIPPED = 77


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


def work_area():
    """The part of the screen that the window manager leaves to windows (_NET_WORKAREA of the
    current desktop), as x, y, width, height; None when no window manager announces one."""
    out = subprocess.run(["xprop", "-root", "_NET_WORKAREA"], capture_output=True, text=True,
                         timeout=10).stdout
    if "=" not in out:
        return None
    values = [int(v) for v in out.split("=", 1)[1].replace(",", " ").split()]
    return tuple(values[:4]) if len(values) >= 4 else None


def inside(inner, outer):
    x, y, w, h = inner
    ox, oy, ow, oh = outer
    return x >= ox and y >= oy and x + w <= ox + ow and y + h <= oy + oh


def on_screen(app, area):
    """The main window lies wholly in the area (the screen, or the work area)."""
    extents = settled_extents(app)
    desk_e2e.check(inside(extents, area), "the window at %d,%d of %dx%d leaves the area %s"
                   % (extents + (area,)))


def shown_wipe_panel(app, top):
    return desk.wait_until("the shown wipe panel", lambda: next(
        (n for n in desk._descendants(top) if n.accessibleId == "WipeUI"), None))


def in_view(app, top, root, area, idents):
    """Each node of those ids under root is shown (a scrolled area reports what it hides as
    not showing) and lies inside the task area and the work area."""
    tasks = app.extents(app.wait_for("tasksScroller", root=top))
    for ident in idents:
        node = app.find(ident, root=root)
        desk_e2e.check(node is not None, ident + " is not shown")
        extents = app.extents(node)
        desk_e2e.check(inside(extents, tasks) and inside(extents, area),
                       "%s at %s lies outside the task area %s or the work area %s"
                       % (ident, extents, tasks, area))


def wipe_panel_in_view(app, top, area):
    """Each control of the shown wipe panel is in view."""
    panel = shown_wipe_panel(app, top)
    in_view(app, top, panel, area, WIPE_CONTROLS)
    return panel


def armed_in_view(app, top, area, language, picture_path):
    """START on the shown task arms its wipe: the drive's model and serial are in view with the
    READY question, CONTINUE and CANCEL; a picture of it, then CANCEL."""
    panel = shown_wipe_panel(app, top)
    message = app.find("message", root=panel)
    app.press(app.find("start", root=panel))
    desk.wait_until("the READY question", lambda: message.name.startswith(READY[language]))
    settled_extents(app)
    # The shown task's: the hidden ones are not shown.
    in_view(app, top, top, area, ARMED_CONTROLS)
    picture(app, picture_path, True)
    app.press(app.find("stop", root=panel))
    desk.wait_until("the panel ready again",
                    lambda: not message.name.startswith(READY[language]))


def wheel(app, node, button):
    """Two notches of the wheel (button 4 up, 5 down) over the middle of node."""
    x, y, w, h = app.extents(node)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2),
                    "click", "--repeat", "2", "--delay", "50", str(button)], check=True,
                   timeout=10)


def wheel_changes_nothing(app, panel):
    """The wheel over the area and over the sectors per transfer scrolls the task area (START
    moves) and leaves both as they were."""
    area = app.find("wipeArea", root=panel)
    sectors = app.find("sectorsPerTime", root=panel)
    start = app.find("start", root=panel)
    chosen, count = area.name, sectors.queryValue().currentValue
    # Up over the sectors near the foot of the view first (both stay in view meanwhile).
    for node, button in ((sectors, 4), (area, 5)):
        before = app.extents(start)[1]
        wheel(app, node, button)
        desk.wait_until("the task area scrolled by the wheel",
                        lambda: app.extents(start)[1] != before)
        desk_e2e.check(area.name == chosen, "the wheel changed the area to " + repr(area.name))
        desk_e2e.check(sectors.queryValue().currentValue == count,
                       "the wheel changed the sectors per transfer to %s"
                       % sectors.queryValue().currentValue)
    pyatspi.Registry.generateMouseEvent(0, 0, "abs")


def picture(app, path, whole_screen=False):
    """The main window, or the whole screen (to show the window among the desktop's panels)."""
    # The pointer away from the icons, whose tooltips would cover the window.
    pyatspi.Registry.generateMouseEvent(0, 0, "abs")
    time.sleep(0.5)
    extents = settled_extents(app)
    desk.screenshot(path, None if whole_screen else extents)


def one_language(build, work, machine_file, language, screen, folder, area=None):
    env = dict(os.environ, CVW_MACHINE=machine_file, **LANGUAGES[language])
    app = desk.Desk(os.path.join(work, "wipedesk"), ["dbg=" + os.path.join(work, "debug.log")],
                    env=env, cwd=work, errors=os.path.join(work, "errors.txt"))
    try:
        top = app.wait_for("TopUI", 30)
        name = os.path.join(folder, "wipedesk-%dx%d-%s" % (screen + ("panel-" if area else "",)))
        bounds = area or (0, 0) + screen
        empty = settled_extents(app)
        app.click(app.wait_for("drive-0", root=top))
        app.wait_for("WipeUI", root=top)
        desk.wait_until("the window grown by the task",
                        lambda: settled_extents(app)[3] > empty[3])
        # START and CANCEL are on the screen, or come onto it as the keyboard reaches them.
        on_screen(app, bounds)
        if area:
            wheel_changes_nothing(app, wipe_panel_in_view(app, top, area))
            settled_extents(app)
        picture(app, name + "one-task-" + language + ".png", bool(area))
        if area:
            armed_in_view(app, top, area, language, name + "one-task-armed-" + language + ".png")
        for icon in ("drive-1", "drive-2", "drive-3"):
            app.click(app.wait_for(icon, root=top))
        desk.wait_until("the fourth task", lambda: len(
            [n for n in desk._descendants(top) if n.accessibleId == "WipeUI"]) == 1)
        on_screen(app, bounds)
        if area:
            wipe_panel_in_view(app, top, area)
        picture(app, name + "four-tasks-" + language + ".png", bool(area))
        if area:
            armed_in_view(app, top, area, language,
                          name + "four-tasks-armed-" + language + ".png")
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


class Desktop:
    """openbox and a tint2 panel on the display, with a home of their own (they may write
    their settings there); gone when the object is closed."""

    def __init__(self, screen):
        self.home = tempfile.mkdtemp(prefix="cvw-desktop-")
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"))
        self.processes = [subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)]
        # The panel announces itself to a running window manager only.
        desk.wait_until("the window manager", lambda: "window id" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True,
            timeout=10).stdout, 20, 0.1)
        self.processes.append(subprocess.Popen(["tint2"], env=env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
        self.area = desk.wait_until("the panel's room taken from the work area", lambda: (
            lambda a: a if a and a[3] < screen[1] else None)(work_area()), 20, 0.1)

    def close(self):
        for process in self.processes:
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.home, ignore_errors=True)


def main():
    build, folder = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with_panel = "--panel" in sys.argv[3:]
    os.makedirs(folder, exist_ok=True)
    screen = screen_size()
    desktop = None
    if with_panel:
        missing = [p for p in ("openbox", "tint2", "xprop") if shutil.which(p) is None]
        if missing:
            print("skip: %s not installed (./dev deps installs them)" % " ".join(missing))
            return SKIPPED
        desktop = Desktop(screen)
        print("work area %s on the screen of %dx%d" % (desktop.area, screen[0], screen[1]))
    try:
        return all_languages(build, folder, screen, desktop.area if desktop else None)
    finally:
        if desktop:
            desktop.close()


def all_languages(build, folder, screen, area):
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
            one_language(build, work, machine_file, language, screen, folder, area)
            print("ok   %dx%d %s (%.1f s)" % (screen + (language, time.monotonic() - began)))
        except Exception as failure:
            failures += 1
            print("FAIL %dx%d %s: %s: %s" % (screen + (language, type(failure).__name__, failure)))
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
