"""Drives the real Orvella program through the accessibility tree, as a
screen-reader user does: controls are found by role and accessible name,
pressed through their actions, filled through their editable text, and keys
go through the X server. Run scripts that use it under
tests/scripts/atspi-session.sh (a private session bus with the accessibility
bus on, and a private X server).

    from orvella_atspi import Program
    with Program(settings=INI) as p:
        p.start()
        p.press(p.find("push button", "Check Mail"))
"""

import json
import os
import shutil
import subprocess
import tempfile
import time

import pyatspi

BINARY = os.environ.get("ORVELLA_BINARY", "orvella")


SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")


class Timeout(AssertionError):
    pass


class Dovecot:
    """The private Dovecot of the CTest fixture "dovecot"
    (tests/scripts/dovecot-start.sh): where it listens, its users, its
    self-signed certificate's fingerprint, and delivery into a mailbox."""

    def __init__(self, folder=None):
        build = os.environ.get("ORVELLA_TEST_BUILD_DIR", "")
        self.folder = folder or os.environ.get("ORVELLA_DOVECOT_DIR") or \
            os.path.join(build, "test-services", "dovecot")
        self.env = {}
        path = os.path.join(self.folder, "dovecot.env")
        if not os.path.exists(path):
            raise AssertionError("%s is missing: the Dovecot fixture did not run (dovecot-start.sh)" % path)
        with open(path, encoding="utf-8") as f:
            for line in f:
                key, eq, value = line.strip().partition("=")
                if eq:
                    self.env[key] = value.strip('"')
        self.host = self.env["DOVECOT_HOST"]
        self.pop3_port = int(self.env["DOVECOT_POP3_PORT"])
        self.pop3s_port = int(self.env["DOVECOT_POP3S_PORT"])
        self.fingerprint = self.env["DOVECOT_CERT_SHA256"]

    def password(self, user):
        return self.env["DOVECOT_PASSWORD_%s" % user]

    def clear(self, user):
        subprocess.run([os.path.join(SCRIPTS, "dovecot-deliver.sh"), self.folder, user, "--clear"],
                       check=True, timeout=30)

    def deliver(self, user, message):
        subprocess.run([os.path.join(SCRIPTS, "dovecot-deliver.sh"), self.folder, user, "-"],
                       input=message.encode("utf-8"), check=True, timeout=30)


def ini_value(text, section, key):
    """A value of a profile file's text: sections and keys in any letter case
    (None when absent)."""
    current = None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1].strip().lower()
        elif current == section.lower() and "=" in line:
            k, v = line.split("=", 1)
            if k.strip().lower() == key.lower():
                return v
    return None


def wait_for(predicate, timeout=10.0, what="condition", interval=0.1):
    """Polls predicate until it returns something true; returns that."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except Exception as error:  # a node that went away while we looked
            last_error = error
        if time.monotonic() > deadline:
            raise Timeout("timed out waiting for %s%s" % (what, " (%s)" % last_error if last_error else ""))
        time.sleep(interval)


def role(node):
    try:
        return node.getRoleName()
    except Exception:
        return ""


def name(node):
    try:
        return node.name or ""
    except Exception:
        return ""


def description(node):
    try:
        return node.description or ""
    except Exception:
        return ""


def children(node):
    try:
        return [c for c in node if c is not None]
    except Exception:
        return []


def walk(node, depth=0, max_depth=40):
    """Every node under node, breadth first."""
    queue = [(node, 0)]
    while queue:
        current, d = queue.pop(0)
        yield current
        if d < max_depth:
            queue.extend((c, d + 1) for c in children(current))


def is_showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def is_enabled(node):
    try:
        return node.getState().contains(pyatspi.STATE_ENABLED)
    except Exception:
        return False


def is_checked(node):
    try:
        return node.getState().contains(pyatspi.STATE_CHECKED)
    except Exception:
        return False


def is_focused(node):
    try:
        return node.getState().contains(pyatspi.STATE_FOCUSED)
    except Exception:
        return False


def dump(node, depth=0, out=None):
    """The tree as text, for failure messages."""
    lines = out if out is not None else []
    lines.append("%s%s %r" % ("  " * depth, role(node), name(node)))
    if depth < 30:
        for c in children(node):
            dump(c, depth + 1, lines)
    return "\n".join(lines) if out is None else None


class Program:
    """The real program in a fresh folder of its own, with private XDG
    folders, its trace and its audio written to files."""

    def __init__(self, settings=None, files=None, keep=False):
        self.root = tempfile.mkdtemp(prefix="orvella-e2e-")
        self.folder = os.path.join(self.root, "app")
        os.makedirs(self.folder)
        for sub in ("config", "data", "cache"):
            os.makedirs(os.path.join(self.root, sub))
        self.trace_path = os.path.join(self.root, "trace.jsonl")
        self.audio_path = os.path.join(self.root, "audio.wav")
        self.keep = keep
        self.process = None
        self.output_path = os.path.join(self.root, "output.txt")
        if settings is not None:
            self.write("Zentra.INI", settings)
        for relative, content in (files or {}).items():
            self.write(relative, content)
        env = dict(os.environ)
        env.update({
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "XDG_CACHE_HOME": os.path.join(self.root, "cache"),
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        })
        self.env = env

    # --- files -----------------------------------------------------------
    def path(self, relative):
        return os.path.join(self.folder, relative)

    def write(self, relative, content):
        """Writes a file of the program folder; text gets CR LF line ends."""
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(content, str):
            content = content.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")
        with open(path, "wb") as f:
            f.write(content)

    def read(self, relative):
        with open(self.path(relative), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def exists(self, relative):
        return os.path.exists(self.path(relative))

    def setting(self, section, key):
        """A value of Zentra.INI as the file holds it now (None when absent)."""
        if not self.exists("Zentra.INI"):
            return None
        return ini_value(self.read("Zentra.INI"), section, key)

    # --- the process -----------------------------------------------------
    def start(self, args=("--show",), wait=True):
        out = open(self.output_path, "wb")
        command = [BINARY, "--trace", self.trace_path, "--audio-file", self.audio_path]
        command += list(args) + ["-D", self.folder]
        self.process = subprocess.Popen(command, env=self.env, stdout=out, stderr=subprocess.STDOUT)
        out.close()
        if wait:
            self.app()
        return self

    def second(self, *args, timeout=30):
        """A second start with args (for example "--exit"); its exit code."""
        return subprocess.run([BINARY] + list(args), env=self.env, timeout=timeout,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def exit(self, timeout=30):
        """Ends the program through a second start's --exit; its exit code."""
        self.second("--exit")
        return self.wait_exit(timeout)

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Timeout("the program did not end")

    def running(self):
        return self.process is not None and self.process.poll() is None

    def output(self):
        try:
            with open(self.output_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def close(self):
        if self.running():
            self.process.kill()
            self.process.wait(10)
        if not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    # --- the accessibility tree -----------------------------------------
    def app(self, timeout=30):
        """The program's accessible application."""
        pid = self.process.pid

        def find():
            if not self.running():
                raise Timeout("the program ended:\n" + self.output())
            desktop = pyatspi.Registry.getDesktop(0)
            for app in children(desktop):
                try:
                    if app.get_process_id() == pid:
                        return app
                except Exception:
                    continue
            return None

        return wait_for(find, timeout, "the program on the accessibility bus")

    def windows(self):
        return children(self.app())

    def window(self, title, timeout=10):
        """A top-level window (frame or dialog) by its title."""
        return wait_for(lambda: next((w for w in self.windows() if name(w) == title and is_showing(w)), None),
                        timeout, "window %r" % title)

    def find_all(self, role_name=None, accessible_name=None, root=None, showing=True):
        root = root if root is not None else self.app()
        found = []
        for node in walk(root):
            if role_name is not None and role(node) != role_name:
                continue
            if accessible_name is not None and name(node) != accessible_name:
                continue
            if showing and not is_showing(node):
                continue
            found.append(node)
        return found

    def gone(self, title, timeout=10):
        """Waits until no window of that title shows."""
        wait_for(lambda: not any(name(w) == title and is_showing(w) for w in self.windows()),
                 timeout, "window %r to close" % title)

    def focused(self, root=None):
        """The control with the keyboard focus. A tab widget leaves its tab
        and tab row marked focused after the focus moved on, and a window's
        own panes carry the mark too; the deepest marked control is the one."""
        marked = [n for n in walk(root if root is not None else self.app())
                  if is_focused(n) and is_showing(n) and role(n) not in ("page tab", "page tab list", "filler")]
        # An item view's current entry keeps its mark when the view loses the focus.
        controls = [n for n in marked if role(n) not in ("table cell", "list item")]
        marked = controls or marked
        return marked[-1] if marked else None

    def unnamed_controls(self, root):
        """Controls under root, on every page, that take the keyboard focus
        but have no accessible name: a screen reader could only say "button"
        or "edit". A combo box's drop-down list belongs to the box."""
        found = []
        for node in walk(root):
            try:
                focusable = node.getState().contains(pyatspi.STATE_FOCUSABLE)
            except Exception:
                continue
            if not focusable or name(node).strip():
                continue
            parent = node.parent
            if role(node) == "list" and parent is not None and role(parent) == "combo box":
                continue
            found.append("%s in %s %r" % (role(node), role(parent), name(parent)))
        return found

    def wait_focused(self, node, timeout=5):
        wait_for(lambda: is_focused(node), timeout, "the focus on %s %r" % (role(node), name(node)))

    def tab_to(self, node, presses=40):
        """Presses Tab until node has the focus, as a keyboard user walks a
        window; fails when the tab order never reaches it."""
        walked = []
        for _ in range(presses):
            if is_focused(node):
                return
            before = self.focused()
            self.key("Tab")
            # One step at a time: a slow program must not make us press on
            # past the control before its focus arrives.
            if before is not None:
                try:
                    wait_for(lambda: not is_focused(before), 3, "the focus to move")
                except Timeout:
                    pass  # stuck: the list of controls walked tells where
            now = self.focused()
            walked.append("%s %r" % (role(now), name(now)) if now is not None else "nothing")
        try:
            self.wait_focused(node, 1)
        except Timeout as error:
            raise Timeout("%s; Tab went through: %s" % (error, ", ".join(walked)))

    def find(self, role_name=None, accessible_name=None, root=None, timeout=10, showing=True):
        """The first node with that role and name, waiting for it to appear."""
        try:
            return wait_for(lambda: next(iter(self.find_all(role_name, accessible_name, root, showing)), None),
                            timeout, "%s %r" % (role_name, accessible_name))
        except Timeout as error:
            raise Timeout("%s\n%s" % (error, dump(root if root is not None else self.app())))

    # --- acting ------------------------------------------------------------
    def press(self, node):
        """Presses a control through its accessible action, as a screen reader does."""
        action = node.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        for preferred in ("Press", "press", "click", "Toggle", "toggle", "SetFocus"):
            if preferred in names:
                action.doAction(names.index(preferred))
                return
        if names:
            action.doAction(0)
            return
        raise AssertionError("%s %r has no action" % (role(node), name(node)))

    def focus(self, node):
        node.queryComponent().grabFocus()

    def set_text(self, node, text):
        node.queryEditableText().setTextContents(text)

    def text(self, node):
        t = node.queryText()
        return t.getText(0, t.characterCount)

    def key(self, combo):
        """Presses keys through the X server as a keyboard would, in xdotool's
        words: "Tab", "Return", "alt+o", "shift+Tab"."""
        subprocess.run(["xdotool", "key", "--clearmodifiers", combo], check=True, timeout=10)
        time.sleep(0.2)

    def give_focus_back(self, title):
        """What a window manager does when a dialog closes: the window that
        opened it gets the keyboard again. The tests' X server has no window
        manager, so the focus would stay nowhere."""
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^%s$" % title,
                        "windowfocus", "--sync"], check=True, timeout=10,
                       stdout=subprocess.DEVNULL)
        time.sleep(0.2)

    def type_text(self, text):
        # From standard input, so a text that starts with "-" is no option.
        subprocess.run(["xdotool", "type", "--delay", "20", "--file", "-"], input=text.encode("utf-8"),
                       check=True, timeout=60)
        time.sleep(0.2)

    # --- what the program left ------------------------------------------------
    def trace(self):
        """The trace's records (ms, kind, arg)."""
        records = []
        try:
            with open(self.trace_path, "r", encoding="utf-8") as f:
                for line in f:
                    line = line.strip()
                    if line:
                        try:
                            records.append(json.loads(line))
                        except ValueError:
                            pass
        except OSError:
            pass
        return records

    def traced(self, kind):
        return [str(r.get("arg", "")) for r in self.trace() if r.get("kind") == kind]

    def wait_traced(self, kind, text, timeout=20):
        return wait_for(lambda: any(text in a for a in self.traced(kind)), timeout,
                        "a traced %s with %r" % (kind, text))

    def files(self, folder, suffix=""):
        """The names of the files in a folder of the program folder."""
        path = self.path(folder)
        if not os.path.isdir(path):
            return []
        return sorted(f for f in os.listdir(path) if f.endswith(suffix))

    def screenshot(self, png_path):
        subprocess.run(["import", "-window", "root", png_path], check=True, timeout=30)
