"""Driving the real wipedesk from outside, as an operator would, through the accessibility bus.

wipedesk gives every named widget its name as accessible id (and "drive-N" to the N-th drive
icon), so widgets are found by id, dialogs by their title. GTK 2 exports its widgets only with
GTK_MODULES=gail:atk-bridge and under a session bus: run the caller inside dbus-run-session.
Every wait has a deadline and raises Timeout when it passes.
"""
import os
import signal
import subprocess
import time

import pyatspi


class Timeout(Exception):
    pass


def wait_until(what, predicate, seconds=10.0, step=0.02):
    """The first true value of predicate(), polled until `seconds` have passed."""
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout("gave up waiting for " + what)
        time.sleep(step)


def _showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def _descendants(root):
    """Every shown node under root (root included), depth first, in order."""
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        yield node
        if node is root or _showing(node):
            try:
                stack.extend(reversed([child for child in node]))
            except Exception:
                pass


class Desk:
    """One wipedesk process and its accessible tree."""

    def __init__(self, program, args=(), env=None, cwd=None, errors=None):
        """Starts `program`; its standard error goes to the file `errors` (or is dropped)."""
        environment = dict(os.environ if env is None else env)
        environment["GTK_MODULES"] = "gail:atk-bridge"
        environment.pop("NO_AT_BRIDGE", None)
        self.errors = errors
        # An X server that has just lost its last client resets and refuses connections for a
        # moment (the accessibility bus launcher is such a client); the servers here run with
        # -noreset, and a start that still finds no display is tried again, a few times.
        for attempt in range(3):
            with open(errors or os.devnull, "wb") as sink:
                self.process = subprocess.Popen([program] + list(args), env=environment,
                                                cwd=cwd, stdout=subprocess.DEVNULL, stderr=sink)
            try:
                self.app = wait_until("wipedesk on the accessibility bus", self._application, 15)
                return
            except RuntimeError:
                if attempt == 2 or "no display" not in self.error_text():
                    raise
                time.sleep(0.5)

    def _application(self):
        if self.process.poll() is not None:
            raise RuntimeError("wipedesk ended at start with %d: %s" % (
                self.process.returncode, self.error_text()))
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            except Exception:
                pass
        return None

    def error_text(self):
        """What the program wrote to standard error so far."""
        if not self.errors:
            return ""
        with open(self.errors, errors="replace") as f:
            return f.read()

    # ---- finding ----

    def windows(self):
        return [w for w in self.app if w is not None and _showing(w)]

    def window(self, title, seconds=10.0):
        """The shown window (frame or dialog) of that title."""
        return wait_until("window " + repr(title),
                          lambda: next((w for w in self.windows() if w.name == title), None),
                          seconds)

    def find(self, ident, root=None):
        for top in ([root] if root is not None else self.windows()):
            for node in _descendants(top):
                try:
                    if node.accessibleId == ident:
                        return node
                except Exception:
                    pass
        return None

    def wait_for(self, ident, seconds=10.0, root=None):
        return wait_until("widget " + repr(ident), lambda: self.find(ident, root), seconds)

    def find_by_name(self, name, role=None, root=None):
        for top in ([root] if root is not None else self.windows()):
            for node in _descendants(top):
                try:
                    if node.name == name and (role is None or node.getRole() == role):
                        return node
                except Exception:
                    pass
        return None

    def text_of(self, ident, root=None):
        node = self.wait_for(ident, root=root)
        return node.name

    def texts(self, root):
        """Every label's text under root, in order."""
        return [n.name for n in _descendants(root) if n.getRole() == pyatspi.ROLE_LABEL and n.name]

    # ---- acting ----

    def press(self, node):
        """A button's click action."""
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i) == "click":
                action.doAction(i)
                return
        raise RuntimeError("no click action on " + repr(node.accessibleId or node.name))

    def click(self, node):
        """A press and release of mouse button 1 in the middle of the node."""
        extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(extents.x + extents.width // 2,
                                            extents.y + extents.height // 2, "b1c")

    def press_button(self, label, window):
        """The button labelled `label` (mnemonic marks ignored) in `window`."""
        node = wait_until("button " + repr(label), lambda: self.find_by_name(
            label, pyatspi.ROLE_PUSH_BUTTON, window))
        self.press(node)

    def focus_in(self, root):
        """The node under root (root included) that has the keyboard's focus, or None."""
        for inner in _descendants(root):
            try:
                if inner.getState().contains(pyatspi.STATE_FOCUSED):
                    return inner
            except Exception:
                pass
        return None

    def focused(self, node):
        """Whether node, or a node inside it, has the keyboard's focus."""
        return self.focus_in(node) is not None

    def point_at(self, node):
        """The pointer over the middle of node; without a window manager the keys then go to
        the window under it."""
        x, y, w, h = self.extents(node)
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2)], check=True,
                       timeout=10)

    def key(self, name):
        """A press and release of the key `name` (xdotool's names: Tab, Return, space)."""
        subprocess.run(["xdotool", "key", name], check=True, timeout=10)

    def double_click(self, node):
        """Two presses of mouse button 1 on node, 120 ms apart: a double-click."""
        x, y, w, h = self.extents(node)
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2),
                        "click", "--repeat", "2", "--delay", "120", "1"], check=True, timeout=10)

    def labels_of(self, node):
        """The names of the nodes that label node (its labelled-by relation)."""
        names = []
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
        return names

    def extents(self, node):
        e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    # ---- ending ----

    def wait_exit(self, seconds=20.0):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            raise Timeout("wipedesk did not end")

    def kill(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()


def screenshot(path, extents=None):
    """The screen, or the part of it that extents (x, y, width, height) gives, as a PNG."""
    command = ["import", "-window", "root"]
    if extents is not None:
        x, y, w, h = extents
        command += ["-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage"]
    subprocess.run(command + [path], check=True, timeout=30)
