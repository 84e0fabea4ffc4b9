"""The install into a temporary prefix under DESTDIR, checked from outside as a packager and an
operator would: the program directory whole, the links in bin/, the polkit action file parsed as
XML with its annotations, the desktop entry validated, the icons at their sizes, and the
installed program started through its link on a simulated machine, where it opens a drive with
the installed engine and ends; last, a second install removed again by the list of what it wrote.

    install_test.py <build folder> <cmake> <desktop-file-validate>

Runs inside dbus-run-session on a display of its own (see tests/install/CMakeLists.txt).
"""
import filecmp
import glob
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import desk  # noqa: E402

PREFIX = "/opt/cvw-install-test"
PROGRAMS = ("wipedesk", "cvwdrv", "wipelaunch", "wipedesk Start", "tonlet")
LINKED = ("wipedesk", "wipelaunch", "cvwdrv")
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
XML_LANG = "{http://www.w3.org/XML/1998/namespace}lang"


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def program_directory_is_whole(build, installed):
    """Every program and data file of the build's program directory, the same, and the
    programs executable."""
    made = os.path.join(build, "bin")
    names = list(PROGRAMS) + ["wipedesk.cfg"]
    for top, _, files in os.walk(os.path.join(made, "lib")):
        names += [os.path.relpath(os.path.join(top, f), made) for f in files]
    check(len(names) > 40, "the build's lib/ holds only %d files" % len(names))
    for name in names:
        target = os.path.join(installed, name)
        check(os.path.isfile(target), "not installed: " + name)
        check(filecmp.cmp(os.path.join(made, name), target, shallow=False), "differs: " + name)
    for name in PROGRAMS:
        check(os.access(os.path.join(installed, name), os.X_OK), "not executable: " + name)
    # Nothing of the tests or benchmarks that share the build's folder.
    check(not glob.glob(os.path.join(installed, "*_tests")), "tests were installed")


def links_lead_to_the_programs(prefix):
    for name in LINKED:
        link = os.path.join(prefix, "bin", name)
        check(os.path.islink(link), link + " is no link")
        check(os.readlink(link) == "../lib/cvw/" + name, "%s leads to %s" % (link, os.readlink(link)))
        check(os.path.realpath(link) == os.path.join(prefix, "lib", "cvw", name),
              link + " does not reach the program")


def action_names_the_installed_program(root):
    path = os.path.join(root, "usr/share/polkit-1/actions/org.cvw.wipedesk.policy")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    check(text.startswith("<?xml") and "<!DOCTYPE policyconfig PUBLIC" in text, text[:200])
    policy = ET.fromstring(text)
    check(policy.tag == "policyconfig", policy.tag)
    actions = policy.findall("action")
    check([a.get("id") for a in actions] == ["org.cvw.wipedesk"], "actions: %r" % actions)
    action = actions[0]
    for element in ("description", "message"):
        texts = {e.get(XML_LANG): e.text for e in action.findall(element)}
        check(set(texts) == {None, "de"} and all(texts.values()), "%s: %r" % (element, texts))
    messages = {e.get(XML_LANG): e.text for e in action.findall("message")}
    check(messages[None] == "Authentication is required to wipe disks", messages[None])
    check(messages["de"] != messages[None], "the German message is the English one")
    # The password at every start, whatever the session: no authorisation is kept for the next.
    defaults = action.find("defaults")
    for kind in ("allow_any", "allow_inactive", "allow_active"):
        check(defaults.findtext(kind) == "auth_admin", kind + ": " + str(defaults.findtext(kind)))
    annotations = {a.get("key"): a.text for a in action.findall("annotate")}
    check(annotations == {
        "org.freedesktop.policykit.exec.path": PREFIX + "/lib/cvw/wipedesk",
        "org.freedesktop.policykit.exec.allow_gui": "true"}, "annotations: %r" % annotations)


def desktop_entry_runs_the_launcher(validate, prefix):
    path = os.path.join(prefix, "share/applications/wipedesk.desktop")
    result = subprocess.run([validate, path], capture_output=True, text=True, timeout=60)
    check(result.returncode == 0 and not result.stdout.strip() and not result.stderr.strip(),
          "desktop-file-validate: %s%s" % (result.stdout, result.stderr))
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    check(lines[0] == "[Desktop Entry]", lines[0])
    keys = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
    check(keys["Type"] == "Application", keys)
    check(keys["Exec"] == PREFIX + "/bin/wipelaunch", keys["Exec"])
    check("System" in keys["Categories"].split(";"), keys["Categories"])
    check(keys["Icon"] == "wipedesk", keys["Icon"])
    check(keys.get("Comment[de]") and keys.get("GenericName[de]"), "no German texts: %r" % keys)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n", path + " is no PNG")
    return struct.unpack(">II", head[16:24])


def icons_at_their_sizes(prefix, source):
    theme = os.path.join(prefix, "share/icons/hicolor")
    for size in ICON_SIZES:
        path = os.path.join(theme, "%dx%d/apps/wipedesk.png" % (size, size))
        check(png_size(path) == (size, size), "%s is %r" % (path, png_size(path)))
    check(filecmp.cmp(os.path.join(theme, "scalable/apps/wipedesk.svg"), source, shallow=False),
          "the scalable icon is not the program's picture")


def answers_without_a_display(prefix):
    environment = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    for name in ("wipedesk", "wipelaunch"):
        result = subprocess.run([os.path.join(prefix, "bin", name), "--version"],
                                capture_output=True, text=True, env=environment, timeout=60)
        check(result.returncode == 0, "%s --version ended with %d: %s" % (
            name, result.returncode, result.stderr))
        check(result.stdout.startswith(name + " (Corvana Wipe) v"), result.stdout)


def engines_from(program, machine_file):
    """The engine processes that run `program` for the machine."""
    found = []
    for entry in glob.glob("/proc/[0-9]*"):
        try:
            exe = os.path.realpath(entry + "/exe")
            with open(entry + "/environ", "rb") as f:
                environment = f.read()
        except OSError:
            continue
        if exe == program and ("CVW_MACHINE=" + machine_file).encode() in environment:
            found.append(entry)
    return found


def runs_from_the_prefix(prefix, work):
    """The installed wipedesk, started through its link, finds its configuration, its windows
    and its engine in the prefix: it opens the task of a drive, whose sector view runs the
    installed cvwdrv, and keeps its history beside itself."""
    installed = os.path.join(prefix, "lib", "cvw")
    machine_file = os.path.join(work, "machine.cfg")
    with open(machine_file, "w") as f:
        f.write('"drives": [{"number": 0, "size": 1048576, "product": "INSTALLED", '
                '"serial": "I-1"}]')
    # Not the first run: no question about drives to hide waits at start.
    with open(os.path.join(installed, "settings.cfg"), "w") as f:
        f.write('"sectorsPerTime":256,"pattern":"\\x00","ignoreWriteErrors":false,'
                '"ignoreReadErrors":false,"ignoreCompareErrors":false,"updatePeriod":100,'
                '"mode":"forward","jumpAfterErrorSectors":1,"jumpAfterErrorDouble":true,'
                '"verify":true,"hiddenDrives":[{"model":"NOT HERE","serial":"0"}],'
                '"notifierErrorOn":false,"notifierErrorArg":"","notifierErrorPeriod":0,'
                '"notifierDoneOn":false,"notifierDoneArg":"","notifierDonePeriod":0,'
                '"wipeCertificateDrive":"","wipeCertificateTechnician":"",'
                '"wipeCertificateBackground":"","exportCsv":"","exportTxt":""')
    # A home of its own, as an operator's would be: nothing of this machine's user is read.
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, ".local", "share"), exist_ok=True)
    environment = dict(os.environ, CVW_MACHINE=machine_file, HOME=home)
    app = desk.Desk(os.path.join(prefix, "bin", "wipedesk"), env=environment, cwd=work,
                    errors=os.path.join(work, "errors.txt"))
    try:
        top = app.wait_for("TopUI", 30)
        app.click(app.wait_for("drive-0", root=top))
        app.wait_for("WipeUI", 30, root=top)
        engine = os.path.join(installed, "cvwdrv")
        desk.wait_until("the installed engine", lambda: engines_from(engine, machine_file), 30)
        app.press(app.wait_for("close", root=top))
        app.press_button("Yes", app.window("Question"))
        code = app.wait_exit()
        check(code == 0, "wipedesk ended with %d: %s" % (code, app.error_text()))
    finally:
        app.kill()
    check(os.path.isfile(os.path.join(installed, "WipeLog.cfg")),
          "no wipe history beside the installed program")


def install(build, cmake, root):
    result = subprocess.run([cmake, "--install", build, "--prefix", PREFIX],
                            env=dict(os.environ, DESTDIR=root), capture_output=True,
                            text=True, timeout=300)
    check(result.returncode == 0, "cmake --install: " + result.stdout + result.stderr)


def the_manifest_removes_it_all(build, cmake, root):
    """The install's list of what it wrote (install_manifest.txt, whose last line ends without
    a newline) names every file of it: the README's command for removing an install, fed the
    list with DESTDIR before each path, leaves no file behind."""
    install(build, cmake, root)
    with open(os.path.join(build, "install_manifest.txt"), "rb") as f:
        listed = f.read()
    check(listed and not listed.endswith(b"\n"), "the list ends with a newline now: the README's "
          "command still works, but its explanation no longer holds")
    removal = subprocess.run(["xargs", "-d", "\n", "rm", "-f"],
                             input=b"\n".join(root.encode() + line for line in listed.split(b"\n")),
                             capture_output=True, timeout=60)
    check(removal.returncode == 0, "xargs rm: %r" % removal.stderr)
    left = [os.path.join(top, f) for top, _, files in os.walk(root) for f in files]
    left += [os.path.join(top, d) for top, dirs, _ in os.walk(root) for d in dirs
             if os.path.islink(os.path.join(top, d))]
    check(not left, "left after removing what the list names: %r" % left)


def main():
    build, cmake, validate = sys.argv[1:4]
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "ui", "data",
                          "icons", "wipedesk.svg")
    # The build folder's list of what its last install wrote is the operator's, to remove that
    # install with: the installs here leave it as they found it.
    manifest = os.path.join(build, "install_manifest.txt")
    try:
        with open(manifest, "rb") as f:
            kept = f.read()
    except FileNotFoundError:
        kept = None
    try:
        return install_and_check(build, cmake, validate, source)
    finally:
        if kept is None:
            if os.path.exists(manifest):
                os.remove(manifest)
        else:
            with open(manifest, "wb") as f:
                f.write(kept)


def install_and_check(build, cmake, validate, source):
    with tempfile.TemporaryDirectory() as work:
        root = os.path.join(work, "root")
        install(build, cmake, root)
        prefix = root + PREFIX
        program_directory_is_whole(build, os.path.join(prefix, "lib", "cvw"))
        links_lead_to_the_programs(prefix)
        action_names_the_installed_program(root)
        desktop_entry_runs_the_launcher(validate, prefix)
        icons_at_their_sizes(prefix, source)
        answers_without_a_display(prefix)
        runs_from_the_prefix(prefix, work)
        # Nothing lands outside the prefix but the action file in polkit's folder.
        outside = [os.path.relpath(os.path.join(top, f), root)
                   for top, _, files in os.walk(root) for f in files
                   if not os.path.join(top, f).startswith(prefix + os.sep)]
        check(outside == ["usr/share/polkit-1/actions/org.cvw.wipedesk.policy"],
              "outside the prefix: %r" % outside)
        the_manifest_removes_it_all(build, cmake, os.path.join(work, "again"))
    print("installed, checked and run from " + PREFIX + ", and removed again by its list")
    return 0


if __name__ == "__main__":
    sys.exit(main())
