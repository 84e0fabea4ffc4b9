"""End-to-end test of the real programs: wipedesk and its cvwdrv engines on a simulated machine,
driven through the accessibility bus as an operator would, then checked from outside.

    desk_e2e.py <program directory of the build>

Runs inside dbus-run-session on a display of its own (see tests/e2e/CMakeLists.txt). Each
scenario gets a program directory of its own: a copy of wipedesk (so that its configuration,
settings and history are the scenario's) beside links to the build's cvwdrv, tonlet and lib/.
"""
import csv
import glob
import os
import shutil
import signal
import sys
import tempfile
import time

import desk
import pyatspi

SECTOR = 512
DISK_SECTORS = 16384            # 8 MiB
PARTITION = (2048, 8192)        # first sector, sectors: the volume the operator wipes
FILL = b"\xa5"


def program_directory(build, work):
    """A program directory in `work` whose wipedesk is a copy of the build's."""
    os.makedirs(work, exist_ok=True)
    try:
        os.link(os.path.join(build, "wipedesk"), os.path.join(work, "wipedesk"))
    except OSError:
        shutil.copy2(os.path.join(build, "wipedesk"), os.path.join(work, "wipedesk"))
    for name in ("cvwdrv", "tonlet", "lib"):
        os.symlink(os.path.join(build, name), os.path.join(work, name))
    with open(os.path.join(build, "wipedesk.cfg")) as source:
        text = source.read()
    # Quitting offers the system's choices; the splash does not keep the test waiting.
    text = text.replace('"Desktop": false', '"Desktop": true')
    text = text.replace('"Splash Timeout": 2500', '"Splash Timeout": 1')
    assert '"Desktop": true' in text and '"Splash Timeout": 1' in text
    with open(os.path.join(work, "wipedesk.cfg"), "w") as target:
        target.write(text)
    # Settings of an operator who has run the program before: the history exported after each
    # wipe, no sounds, a technician for the certificate.
    settings = (
        '"sectorsPerTime":256,"pattern":"\\x00","ignoreWriteErrors":false,'
        '"ignoreReadErrors":false,"ignoreCompareErrors":false,"updatePeriod":100,'
        '"mode":"forward","jumpAfterErrorSectors":1,"jumpAfterErrorDouble":true,"verify":true,'
        '"hiddenDrives":[{"model":"NOT HERE","serial":"0"}],'
        '"notifierErrorOn":false,"notifierErrorArg":"","notifierErrorPeriod":0,'
        '"notifierDoneOn":false,"notifierDoneArg":"","notifierDonePeriod":0,'
        '"wipeCertificateDrive":"","wipeCertificateTechnician":"E2E",'
        '"wipeCertificateBackground":"",'
        '"exportCsv":"%s","exportTxt":""' % os.path.join(work, "WipeLog.csv"))
    with open(os.path.join(work, "settings.cfg"), "w") as target:
        target.write(settings)


OTHER_FILL = b"\x5a"


def machine_text(swapped=False, twin=False):
    """Two disks, the first with a volume on it. Swapped, the numbers of the two disks are
    exchanged, as they move on a real machine when disks come and go. With the twin, another
    image of the same size, vendor, product and serial is the first disk: a disk that tells
    itself from the first by nothing but being another."""
    first, second = (1, 0) if swapped else (0, 1)
    return ('"drives": ['
            '{"number": %d, "size": %d, "vendor": "E2E ", "product": "DISK", "serial": "E2E-0001",'
            ' "image": "%s"},'
            '{"number": %d, "size": 1048576, "product": "OTHER", "serial": "E2E-0002",'
            ' "image": "disk1.img"}],'
            '"volumes": [{"disk": %d, "offset": %d, "length": %d}]'
            % (first, DISK_SECTORS * SECTOR, "twin0.img" if twin else "disk0.img", second, first,
               PARTITION[0] * SECTOR, PARTITION[1] * SECTOR))


TWIN_FILL = b"\x3c"


def machine(work):
    """A machine of two disks, the first filled with 0xA5, with a volume on it, the second
    with 0x5A."""
    path = os.path.join(work, "machine.cfg")
    with open(path, "w") as target:
        target.write(machine_text())
    with open(os.path.join(work, "disk0.img"), "wb") as image:
        image.write(FILL * (DISK_SECTORS * SECTOR))
    with open(os.path.join(work, "disk1.img"), "wb") as image:
        image.write(OTHER_FILL * 1048576)
    return path


def images_untouched(work):
    """The images hold what machine() and twin_image() wrote."""
    for name, fill, size in (("disk0.img", FILL, DISK_SECTORS * SECTOR),
                             ("disk1.img", OTHER_FILL, 1048576),
                             ("twin0.img", TWIN_FILL, DISK_SECTORS * SECTOR)):
        if name == "twin0.img" and not os.path.exists(os.path.join(work, name)):
            continue
        with open(os.path.join(work, name), "rb") as image:
            check(image.read() == fill * size, name + " was written")


def twin_image(work):
    """The image of the first disk's twin, filled with 0x3C."""
    with open(os.path.join(work, "twin0.img"), "wb") as image:
        image.write(TWIN_FILL * (DISK_SECTORS * SECTOR))


def history_entries(work):
    """The text of WipeLog.cfg as it is on disk now; "" when there is none."""
    try:
        with open(os.path.join(work, "WipeLog.cfg"), "rb") as history:
            return history.read().decode("utf-8", "replace")
    except OSError:
        return ""


def engines_of(machine_file):
    """The cvwdrv processes that serve the machine."""
    found = []
    for entry in glob.glob("/proc/[0-9]*"):
        try:
            with open(entry + "/cmdline", "rb") as f:
                command = f.read()
            with open(entry + "/environ", "rb") as f:
                environment = f.read()
        except OSError:
            continue
        if b"cvwdrv" in command and ("CVW_MACHINE=" + machine_file).encode() in environment:
            found.append(entry)
    return found


def start(work, machine_file):
    env = dict(os.environ, CVW_MACHINE=machine_file, CVW_SHELL_OPEN=os.path.join(work, "opener"))
    with open(env["CVW_SHELL_OPEN"], "w") as opener:
        opener.write('#!/bin/sh\ncp "$1" "%s"\n' % os.path.join(work, "opened.png"))
    os.chmod(env["CVW_SHELL_OPEN"], 0o755)
    return desk.Desk(os.path.join(work, "wipedesk"),
                     ["dbg=" + os.path.join(work, "debug.log")], env=env, cwd=work,
                     errors=os.path.join(work, "errors.txt"))


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def quit_with(app, choice, confirm=False):
    """The close button, then `choice` of the quit dialog ("shutdown", "restart", "desktop")."""
    top = app.wait_for("TopUI")
    app.press(app.wait_for("close", root=top))
    dialog = app.wait_for("QuitDialog")
    app.press(app.wait_for(choice, root=dialog))
    if confirm:
        app.press_button("Yes", app.window("Question"))


def open_from_keyboard(app, top, icon):
    """The drive of `icon` opened without the mouse: Tab until its icon has the focus, then
    Return."""
    node = app.wait_for(icon, root=top)
    app.point_at(app.wait_for("label", root=top))
    # One key at a time, each once the program has moved the focus: a Tab still on its way
    # would carry the focus past the icon before Return comes.
    for _ in range(12):
        before = app.focus_in(top)
        app.key("Tab")
        desk.wait_until("the focus moved on", lambda: app.focus_in(top) not in (None, before), 30)
        if app.focused(node):
            break
    else:
        raise desk.Timeout("Tab never reached " + icon)
    app.key("Return")


def a_whole_wipe(build, work):
    """A drive opened from the keyboard, a partition of it wiped from START to DONE (a
    double-click on START only arms it), its task log and certificate, then a restart."""
    program_directory(build, work)
    machine_file = machine(work)
    app = start(work, machine_file)
    try:
        top = app.wait_for("TopUI", 30)
        check(app.text_of("label", top) == "CONNECTED DRIVES = 2", app.text_of("label", top))
        open_from_keyboard(app, top, "drive-0")
        panel = app.wait_for("WipeUI", 30, root=top)
        labels = app.labels_of(app.wait_for("wipeStart", root=panel))
        check(labels == ["First:"], "the first sector's field is labelled by %r" % labels)

        # The volume's area, then START (a double-click, which only arms) and CONTINUE.
        app.wait_for("wipeArea", root=panel).querySelection().selectChild(1)
        first = app.wait_for("wipeStart", root=panel)
        desk.wait_until("the volume's area", lambda: first.queryValue().currentValue == PARTITION[0])
        start_button = app.wait_for("start", root=panel)
        app.double_click(start_button)
        message = app.wait_for("message", root=panel)
        desk.wait_until("the READY question", lambda: message.name.startswith("READY - Data"))
        time.sleep(0.6)
        check(message.name.startswith("READY - Data"),
              "a double-click on START started the wipe: " + message.name)
        app.press(start_button)
        desk.wait_until("DONE", lambda: message.name.startswith("DONE"), 60)
        check("(Certificate)" in message.name, message.name)
        # The finished wipe is in the history file at once, not only when the program ends.
        desk.wait_until("the history saved at DONE",
                        lambda: '"serial":"E2E-0001"' in history_entries(work))
        app.press(app.wait_for("start", root=panel))
        desk.wait_until("the panel ready again", lambda: message.name.startswith("READY - Press"))

        # The task log shows the wipe and the certificate, which opens as a picture.
        app.press(app.wait_for("logFile", root=panel))
        log = app.window("Task Log")
        text = app.wait_for("textview", root=log).queryText()
        content = text.getText(0, text.characterCount)
        for line in ("*** START ***", "STARTING LBA: %d" % PARTITION[0],
                     "SECTORS: %d" % PARTITION[1]):
            check(line in content, "the task log lacks " + line + ":\n" + content)
        certificate = app.wait_for("WipeCertificateUI", root=log)
        app.press(app.wait_for("open", root=certificate))
        opened = os.path.join(work, "opened.png")
        desk.wait_until("the certificate opened", lambda: os.path.exists(opened))
        time.sleep(0.2)
        with open(opened, "rb") as picture:
            check(picture.read(8) == b"\x89PNG\r\n\x1a\n", "the certificate is no PNG")
        app.press(app.wait_for("close", root=log))

        quit_with(app, "restart")
        code = app.wait_exit()
    finally:
        app.kill()

    check(code == 101, "exit code %d, not 101" % code)
    with open(os.path.join(work, "disk0.img"), "rb") as image:
        disk = image.read()
    start_byte, end_byte = PARTITION[0] * SECTOR, (PARTITION[0] + PARTITION[1]) * SECTOR
    for name, part, byte in (("before the volume", disk[:start_byte], FILL),
                             ("the volume", disk[start_byte:end_byte], b"\x00"),
                             ("after the volume", disk[end_byte:], FILL)):
        wrong = next((i for i, b in enumerate(part) if bytes([b]) != byte), None)
        check(wrong is None, "%s: byte %d is 0x%02x" % (name, wrong if wrong is not None else 0,
                                                        part[wrong] if wrong is not None else 0))
    with open(os.path.join(work, "WipeLog.cfg"), "rb") as history:
        entry = history.read().decode("utf-8", "replace")
    for member in ('"model":"E2E DISK"', '"serial":"E2E-0001"', '"wipeLba":%d' % PARTITION[0],
                   '"wipeSectors":%d' % PARTITION[1]):
        check(member in entry, "WipeLog.cfg lacks " + member + ":\n" + entry)
    with open(os.path.join(work, "WipeLog.csv"), newline="") as exported:
        rows = list(csv.reader(exported))
    check(len(rows) == 2, "the CSV export has %d rows" % len(rows))
    check(any("E2E-0001" in field for field in rows[1]), "the CSV row: %r" % rows[1])
    left = engines_of(machine_file)
    check(not left, "engines left: %s" % left)


def a_swapped_disk(build, work):
    """Drive number 0 becomes another disk while its task is open: START, and CONTINUE after
    an accepted START, refuse and write nothing; a SIGTERM then ends the program as a quit
    does, its engines ended and its history saved."""
    program_directory(build, work)
    machine_file = machine(work)
    app = start(work, machine_file)
    try:
        top = app.wait_for("TopUI", 30)
        app.click(app.wait_for("drive-0", root=top))
        panel = app.wait_for("WipeUI", root=top)
        message = app.wait_for("message", root=panel)

        def swap(swapped):
            with open(machine_file, "w") as target:
                target.write(machine_text(swapped))

        def refused(what):
            box = app.window("Error")
            said = " ".join(app.texts(box))
            check("is no longer the drive this task was opened for" in said
                  and "E2E-0002" in said, what + ": " + said)
            app.press_button("Close", box)

        swap(True)
        app.press(app.wait_for("start", root=panel))
        refused("START")
        check(message.name.startswith("READY - Press"), message.name)

        swap(False)
        app.press(app.wait_for("start", root=panel))
        desk.wait_until("the READY question", lambda: message.name.startswith("READY - Data"))
        swap(True)
        time.sleep(0.6)  # past the double-click time, so that the press counts as CONTINUE
        app.press(app.wait_for("start", root=panel))
        refused("CONTINUE")
        desk.wait_until("the refusal in the status", lambda: message.name.startswith("ERROR - "))
        time.sleep(0.5)
        images_untouched(work)

        check(engines_of(machine_file), "the task's sector view has no engine")
        app.process.send_signal(signal.SIGTERM)
        code = app.wait_exit()
    finally:
        app.kill()
    check(code == 128 + signal.SIGTERM, "exit code %d, not %d" % (code, 128 + signal.SIGTERM))
    images_untouched(work)
    desk.wait_until("the engines ended", lambda: not engines_of(machine_file), 5)
    saved = history_entries(work).replace(" ", "").replace("\n", "")
    check(saved == "[]", "the history saved at the end: %r" % saved)


def a_twin_disk(build, work):
    """Drive number 0 becomes its twin between START and CONTINUE: another disk of the same
    model, serial and size. CONTINUE refuses and says so; neither disk is written, nothing is
    recorded."""
    program_directory(build, work)
    machine_file = machine(work)
    twin_image(work)
    app = start(work, machine_file)
    try:
        top = app.wait_for("TopUI", 30)
        app.click(app.wait_for("drive-0", root=top))
        panel = app.wait_for("WipeUI", root=top)
        message = app.wait_for("message", root=panel)
        app.press(app.wait_for("start", root=panel))
        desk.wait_until("the READY question", lambda: message.name.startswith("READY - Data"))
        with open(machine_file, "w") as target:
            target.write(machine_text(twin=True))
        time.sleep(0.6)  # past the double-click time, so that the press counts as CONTINUE
        app.press(app.wait_for("start", root=panel))
        box = app.window("Error")
        said = " ".join(app.texts(box))
        check("another disk of the same model, serial and size" in said
              and "E2E DISK / E2E-0001" in said, "CONTINUE: " + said)
        app.press_button("Close", box)
        desk.wait_until("the refusal in the status", lambda: message.name.startswith("ERROR - "))
        time.sleep(0.5)
        images_untouched(work)
        quit_with(app, "desktop", confirm=True)
        code = app.wait_exit()
    finally:
        app.kill()
    check(code == 0, "exit code %d, not 0" % code)
    images_untouched(work)
    saved = history_entries(work).replace(" ", "").replace("\n", "")
    check(saved == "[]", "the history after a refused twin: %r" % saved)


def a_history_that_cannot_be_read(build, work):
    """A broken WipeLog.cfg is kept aside and the operator told where; a new one is saved."""
    program_directory(build, work)
    machine_file = machine(work)
    broken = b'[{"time": 1, "model": '
    with open(os.path.join(work, "WipeLog.cfg"), "wb") as history:
        history.write(broken)
    app = start(work, machine_file)
    try:
        box = app.window("Information", 30)
        said = " ".join(app.texts(box))
        check("cannot be read" in said and "WipeLog.cfg.bad-" in said, said)
        app.press_button("Close", box)
        quit_with(app, "desktop", confirm=True)
        code = app.wait_exit()
    finally:
        app.kill()
    check(code == 0, "exit code %d, not 0" % code)
    kept = glob.glob(os.path.join(work, "WipeLog.cfg.bad-*"))
    check(len(kept) == 1, "kept aside: %s" % kept)
    with open(kept[0], "rb") as f:
        check(f.read() == broken, "the broken history was not kept as it was")
    with open(os.path.join(work, "WipeLog.cfg"), "rb") as f:
        saved = f.read()
        check(saved.replace(b" ", b"").replace(b"\n", b"") == b"[]",
              "the new history is not empty: %r" % saved)


def ticks_of(app, box):
    """The rows of the drive list of `box`: the tick cell and the drive's cell of each."""
    tree = app.wait_for("treeview", root=box)
    cells = [n for n in tree if n is not None and n.getRole() == pyatspi.ROLE_TABLE_CELL]
    return [(cells[i], cells[i + 1]) for i in range(0, len(cells), 3)]


def a_multi_wipe_from_the_keyboard(build, work):
    """The Multi-Wipe list: each tick is named after its drive for assistive tools, and Space
    ticks or unticks the row at the cursor also where the cursor stands on the drive's name."""
    program_directory(build, work)
    machine_file = machine(work)
    app = start(work, machine_file)
    try:
        top = app.wait_for("TopUI", 30)
        app.press(app.wait_for("multiwipe", root=top))
        box = app.window("Wipe Several Drives")
        rows = ticks_of(app, box)
        check(len(rows) == 2, "%d rows" % len(rows))
        for tick, drive in rows:
            check(tick.name == "Tick " + drive.name, "the tick of %r is named %r"
                  % (drive.name, tick.name))
        tree = app.wait_for("treeview", root=box)
        app.point_at(tree)
        tree.queryComponent().grabFocus()
        desk.wait_until("the list's focus", lambda: app.focused(tree))
        first = lambda: ticks_of(app, box)[0]
        ticked = lambda: first()[0].getState().contains(pyatspi.STATE_CHECKED)
        # The drives without a wipe come ticked; the cursor from the tick onto the first
        # drive's name, then Space.
        check(ticked(), "the first drive is not ticked")
        for key in ("Home", "Right", "space"):
            app.key(key)
        desk.wait_until("the first drive unticked", lambda: not ticked())
        check(first()[0].name == "Tick " + first()[1].name, "the tick lost its name: %r"
              % first()[0].name)
    finally:
        app.kill()


def main():
    build = os.path.abspath(sys.argv[1])
    failures = 0
    for scenario in (a_whole_wipe, a_swapped_disk, a_twin_disk, a_history_that_cannot_be_read,
                     a_multi_wipe_from_the_keyboard):
        work = tempfile.mkdtemp(prefix="cvw-e2e-")
        began = time.monotonic()
        try:
            scenario(build, work)
            print("ok   %s (%.1f s)" % (scenario.__name__, time.monotonic() - began))
        except Exception as failure:
            failures += 1
            print("FAIL %s: %s: %s" % (scenario.__name__, type(failure).__name__, failure))
            for name, what in (("debug.log", "debug log"), ("errors.txt", "standard error")):
                try:
                    with open(os.path.join(work, name), errors="replace") as log:
                        lines = log.read().splitlines()
                    print("  the last lines of its %s:\n    %s" % (what, "\n    ".join(lines[-25:])))
                except OSError:
                    pass
        finally:
            if not os.environ.get("CVW_E2E_KEEP"): shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
