#!/usr/bin/env python3
"""End-to-end tests of Quorlin.dll's dialogs: a scriptable host (quorlin_e2e_host.exe) runs under
Wine on a private Xvfb display (scripts/with-xvfb.sh) and Wine prefix (scripts/wine-env.sh, with the
state folder as its build folder); xdotool types into the dialogs as a person would.

  dialogs_e2e.py setup   --state DIR --host EXE   start the display, boot a fresh prefix in DIR
  dialogs_e2e.py run     --state DIR --host EXE NAME   run one test against that display and prefix
  dialogs_e2e.py cleanup --state DIR --host EXE   stop the prefix's wineserver and the display, drop the prefix
  dialogs_e2e.py list [--c-interface]             the test names, one a line (with --c-interface:
                                                  those the C host of tests/consumer runs)

Everything waits by polling with generous limits: the machine is small and shared.
"""

import argparse
import json
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
WITH_XVFB = os.path.join(HERE, "..", "..", "scripts", "with-xvfb.sh")
WINE_ENV = os.path.join(HERE, "..", "..", "scripts", "wine-env.sh")
WINESERVER = "/usr/lib/wine/wineserver"
ICON = os.path.join(HERE, "UI.ico")  # a 16x16 icon, opaque red
STATE_FILE = "dialogs-e2e.json"
DISPLAY_FILE = "display"
X11_DRIVER_KEY = r"HKCU\Software\Wine\X11 Driver"
WAIT = 60.0  # seconds for a window or a callback to show up on a loaded machine
QUIET = 2.0  # seconds to watch for something that must not happen
DIALOGS_IN_ONE_HOST = 200  # well past the 63 COM apartments a process gets under Wine

# what a dialog says when the items chosen are in several folders
SEVERAL_FOLDERS = {
    "en": "The chosen items are in different folders. Choose items of one folder.",
    "cs": "所选项目位于不同的文件夹中。请选择同一个文件夹中的项目。",
}

TITLES = {
    (0, "en"): "Choose Files",
    (1, "en"): "Choose Directories",
    (2, "en"): "Choose Save Path",
    (3, "en"): "Choose Files",
    (4, "en"): "Choose Directories",
    (0, "cs"): "选择要上传的文件",
    (1, "cs"): "选择要上传的文件夹",
    (2, "cs"): "选择保存路径",
    (3, "cs"): "选择要传输的文件",
    (4, "cs"): "选择要传输的文件夹",
}


def quiet_run(args, env, timeout):
    """Runs a helper with every stdio stream away from ours: Wine's services inherit them."""
    return subprocess.run(
        args,
        env=env,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        close_fds=True,
        timeout=timeout,
        check=False,
    ).returncode


def wine(state, *args):
    """A command line that runs a Windows program under the state folder's prefix."""
    return [WINE_ENV, state["dir"], "wine", *args]


def display_env(state):
    return dict(os.environ, DISPLAY=state["display"])


# ---------------------------------------------------------------- display and prefix lifecycle
# The display belongs to with-xvfb.sh, which runs "hold-display" until cleanup ends it; the prefix
# is wine-env.sh's for the state folder.


def state_path(state_dir):
    return os.path.join(state_dir, STATE_FILE)


def load_state(state_dir):
    with open(state_path(state_dir), encoding="utf-8") as f:
        return json.load(f)


def save_state(state):
    with open(state_path(state["dir"]), "w", encoding="utf-8") as f:
        json.dump(state, f)


def is_our_holder(pid, state_dir):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            argv = f.read().split(b"\0")
    except OSError:
        return False
    return any(a.endswith(b"with-xvfb.sh") for a in argv) and state_dir.encode() in argv


def cleanup(state_dir):
    state_dir = os.path.abspath(state_dir)
    try:
        state = load_state(state_dir)
    except (OSError, ValueError):
        return 0
    prefix = os.path.join(state_dir, "wineprefix")
    if os.path.isdir(prefix):
        env = dict(os.environ, WINEPREFIX=prefix)
        quiet_run([WINESERVER, "-k"], env, 60)
        quiet_run([WINESERVER, "-w"], env, 60)
    pid = state["holder_pid"]
    if is_our_holder(pid, state_dir):
        os.kill(pid, signal.SIGTERM)  # with-xvfb.sh stops its Xvfb on the way out
        poll("the display to stop", lambda: not is_our_holder(pid, state_dir), timeout=30)
    shutil.rmtree(prefix, ignore_errors=True)
    for name in (STATE_FILE, DISPLAY_FILE):
        if os.path.exists(os.path.join(state_dir, name)):
            os.remove(os.path.join(state_dir, name))
    return 0


def hold_display(state_dir):
    """Runs under with-xvfb.sh: hands its display over, then keeps it until told to stop."""
    with open(os.path.join(state_dir, DISPLAY_FILE), "w", encoding="utf-8") as f:
        f.write(os.environ["DISPLAY"])
    while True:
        signal.pause()


def setup(state_dir):
    state_dir = os.path.abspath(state_dir)
    cleanup(state_dir)  # a run that was killed may have left its display behind
    for name in os.listdir(state_dir):
        if name.endswith(".xwd"):  # screenshots of an earlier run's failures
            os.remove(os.path.join(state_dir, name))
    holder = subprocess.Popen(
        ["bash", WITH_XVFB, sys.executable, os.path.abspath(__file__), "hold-display",
         "--state", state_dir],
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        close_fds=True,
        start_new_session=True,
    )
    state = {"dir": state_dir, "holder_pid": holder.pid}
    save_state(state)
    try:
        display_file = os.path.join(state_dir, DISPLAY_FILE)
        poll("the display", lambda: os.path.exists(display_file) and os.path.getsize(display_file))
        with open(display_file, encoding="utf-8") as f:
            state["display"] = f.read()
        state["prefix"] = os.path.join(state_dir, "wineprefix")
        save_state(state)
        # wine-env.sh boots the prefix on its first call. No window manager runs here: Wine
        # would wait two seconds for one each time a dialog closes. Windows it does not hand to
        # a window manager close at once.
        status = quiet_run(wine(state, "reg", "add", X11_DRIVER_KEY, "/v", "Managed", "/d", "N",
                                "/f"), display_env(state), 260)
    except BaseException:
        cleanup(state_dir)
        raise
    if status != 0:
        print(f"booting the prefix failed with {status}")
        cleanup(state_dir)
        return 1
    print(f"Xvfb {state['display']} (with-xvfb.sh pid {holder.pid}), prefix {state['prefix']}")
    return 0


# ---------------------------------------------------------------- driving X and the host


def poll(what, probe, timeout=WAIT, interval=0.25):
    """Returns probe()'s first truthy result, or fails the test after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class Screen:
    def __init__(self, state):
        self.env = display_env(state)

    def xdotool(self, *args, timeout=30):
        return subprocess.run(
            ["xdotool", *args],
            env=self.env,
            stdin=subprocess.DEVNULL,
            capture_output=True,
            timeout=timeout,
            check=False,
        )

    def windows(self, title):
        pattern = "^" + re.sub(r"([.^$*+?()\[\]{}|\\])", r"\\\1", title) + "$"
        found = self.xdotool("search", "--onlyvisible", "--name", pattern)
        return [int(w) for w in found.stdout.split()]

    def wait_window(self, title, other_than=(), interval=0.25):
        found = poll(
            f'a window titled "{title}"',
            lambda: [w for w in self.windows(title) if w not in other_than],
            interval=interval,
        )
        return found[0]

    def focus(self, window):
        try:
            self.xdotool("windowfocus", "--sync", str(window), timeout=15)
        except subprocess.TimeoutExpired:
            self.xdotool("windowfocus", str(window))

    def type_text(self, window, text):
        """Types as a person would; each non-ASCII character alone and slowly, since xdotool
        remaps a spare key for it and Wine must see the new mapping before the key."""
        self.focus(window)
        for run in re.findall(r"[\x20-\x7e]+|[^\x20-\x7e]", text):
            if run.isascii():
                self.xdotool("type", "--delay", "15", run)
            else:
                self.xdotool("type", "--delay", "150", run)
                time.sleep(0.15)

    def press(self, window, *keys):
        self.focus(window)
        self.xdotool("key", "--clearmodifiers", "--delay", "50", *keys)

    def press_where_focused(self, *keys):
        """Keys to whatever window has the keyboard now, as a person would press them."""
        self.xdotool("key", "--clearmodifiers", "--delay", "50", *keys)


class Host:
    """quorlin_e2e_host.exe under Wine, spoken to over its stdin and stdout."""

    def __init__(self, state, host_exe, cwd):
        self.events = []
        self.lines = queue.Queue()
        self.stderr = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            wine(state, host_exe),
            cwd=cwd,
            env=display_env(state),
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=self.stderr,
            close_fds=True,
        )
        threading.Thread(target=self._read, daemon=True).start()
        self.ready = self.wait_event("ready")

    def _read(self):
        for raw in self.process.stdout:
            raw = raw.rstrip(b"\r\n")
            try:
                event = json.loads(raw.decode("utf-8"))
            except ValueError:
                event = {"event": "unreadable", "raw": repr(raw)}
            self.lines.put(event)

    def send(self, line):
        self.process.stdin.write(line.encode("utf-8") + b"\n")
        self.process.stdin.flush()

    def _take(self, timeout):
        try:
            event = self.lines.get(timeout=timeout)
        except queue.Empty:
            return None
        self.events.append(event)
        return event

    def wait_event(self, name, timeout=WAIT, **fields):
        """The first event named name with the given fields, seen or still to come."""

        def matches(event):
            return event["event"] == name and all(event.get(k) == v for k, v in fields.items())

        for event in self.events:
            if matches(event) and not event.get("_taken"):
                event["_taken"] = True
                return event
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            event = self._take(min(0.5, max(0.0, deadline - time.monotonic())))
            if event and matches(event):
                event["_taken"] = True
                return event
            if event is None and self.process.poll() is not None:
                break
        ended = ""
        if self.process.poll() is not None:
            self.stderr.seek(0)
            ended = f"; the host ended with {self.process.returncode}: {self.stderr.read()[-2000:]}"
        raise AssertionError(
            f"no {name} {fields} within {timeout:.0f} s; host said: {self.public_events()}{ended}"
        )

    def ask(self, line, reply):
        self.send(line)
        return self.wait_event(reply)

    def show(self, kind, language):
        self.send(f"show {kind} {language}")
        return self.wait_event("requested")["request"]

    def callback(self, request, timeout=WAIT):
        return self.wait_event("callback", timeout=timeout, request=request)

    def drain(self, seconds):
        """Collects what the host says for that long."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self._take(max(0.0, deadline - time.monotonic()))

    def _take_pending(self):
        while self._take(0) is not None:
            pass

    def public_events(self):
        self._take_pending()
        return [{k: v for k, v in e.items() if k != "_taken"} for e in self.events]

    def callbacks(self, request):
        self._take_pending()
        return [e for e in self.events if e["event"] == "callback" and e["request"] == request]

    def quit(self):
        """Asks the host to end; returns every event it sent."""
        if self.process.poll() is None:
            try:
                self.send("quit")
                self.wait_event("bye", timeout=30)
            except (AssertionError, OSError):
                pass
        self.close()
        return self.public_events()

    def close(self):
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=30)
        self.stderr.close()


# ---------------------------------------------------------------- the tests


class DialogTests(unittest.TestCase):
    state = None
    state_dir = None
    host_exe = None

    def setUp(self):
        self.screen = Screen(self.state)
        drive_c = os.path.join(self.state["prefix"], "drive_c")
        self.folder = tempfile.mkdtemp(prefix="e2e-", dir=drive_c)
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.hosts = []
        self.retries = {"cleared again": 0, "retyped": 0, "Escape again": 0}
        self.retries_forbidden = False
        self.addCleanup(self._end_hosts)
        self.addCleanup(self._screenshot_if_failed)
        self.addCleanup(self._report_retries)

    def _report_retries(self):
        counts = ", ".join(f"{what} {count}" for what, count in self.retries.items())
        print(f"retries in {self._testMethodName[len('test_') :]}: {counts}")

    def forbid_retries(self):
        """For the foreground and focus tests: a key that had to be sent again is the very fault
        they look for (a dialog that did not get the focus), so it fails the test."""
        self.retries_forbidden = True

    def note_retry(self, what, message):
        self.retries[what] += 1
        print(message)
        if self.retries_forbidden:
            self.fail(f"{message}; a focus or foreground test allows no retry")

    def _screenshot(self, moment):
        """Keeps the screen and its windows for whoever reads a failure."""
        name = f"{self._testMethodName[len('test_') :]}-{moment}.xwd"
        path = os.path.join(self.state_dir, name)
        dumped = subprocess.run(
            ["xwd", "-root", "-silent", "-out", path], env=self.screen.env, check=False
        )
        if dumped.returncode != 0:
            path = "none"
        tree = subprocess.run(
            ["xwininfo", "-root", "-tree"],
            env=self.screen.env,
            capture_output=True,
            text=True,
            check=False,
        ).stdout
        titled = [line.strip() for line in tree.splitlines() if '"' in line]
        print(f"screen {moment}: {path}; windows:\n  " + "\n  ".join(titled))

    def _screenshot_if_failed(self):
        result = self._outcome.result
        if result.failures or result.errors:
            self._screenshot("at-end")

    def _end_hosts(self):
        for host in self.hosts:
            if host.process.poll() is None:
                host.process.kill()
            host.close()

    # -- helpers

    def windows_path(self, *parts):
        relative = os.path.relpath(os.path.join(self.folder, *parts), os.path.dirname(self.folder))
        return "C:\\" + relative.replace("/", "\\")

    def make_files(self, *relative_paths):
        """Creates files, and folders where the path ends with a backslash."""
        for relative in relative_paths:
            path = os.path.join(self.folder, *relative.split("\\"))
            if relative.endswith("\\"):
                os.makedirs(path, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(b"e2e\n")

    def start_host(self):
        host = Host(self.state, self.host_exe, self.folder)
        self.hosts.append(host)
        return host

    def open_dialog(self, host, kind, language, title=None, other_than=(), interval=0.25):
        """Requests a dialog and waits until it is on screen; returns (request, X window)."""
        request = host.show(kind, language)
        title = title or TITLES[kind, language]
        return request, self.screen.wait_window(title, other_than, interval)

    def edit_texts(self, host, title):
        return host.ask(f"edit {title}", "edit")["texts"]

    def enter(self, host, title, window, text):
        """Types text into the dialog's name box, checks it arrived whole, then presses Return.
        Keys typed before the dialog took the focus, or a dropped character, get a retry."""
        for _ in range(4):
            # after a Return that opened a folder the box still holds that folder's path
            self.screen.press(window, "End", "shift+Home", "BackSpace")
            try:
                poll("an empty name box", lambda: self.edit_texts(host, title) == [""], timeout=10)
            except AssertionError:
                # keys pressed while the dialog was still changing folder can be lost
                held = self.edit_texts(host, title)
                self.note_retry("cleared again", f"clearing again: the name box held {held}")
                continue
            self.screen.type_text(window, text)
            try:
                poll("the typed text", lambda: self.edit_texts(host, title) == [text], timeout=10)
            except AssertionError:
                held = self.edit_texts(host, title)
                self.note_retry("retyped", f"retyping {text!r}: the name box held {held}")
                continue
            self.screen.press(window, "Return")
            return
        self.fail(f"could not type {text!r}; the name box holds {self.edit_texts(host, title)}")

    def cancel(self, host, request, window, title, interval=0.25):
        """Presses Escape, again if the dialog is still there and has not answered: then after the
        library has brought it forward, as a host would, since Wine now and then leaves a dialog
        inactive after its focus was set from outside (seen in long runs only)."""
        for attempt in range(3):
            if attempt > 0:
                host.ask("active", "active")
            self.screen.press(window, "Escape")
            try:
                poll(
                    "the dialog to close",
                    lambda: window not in self.screen.windows(title),
                    20,
                    interval,
                )
                break
            except AssertionError:
                if attempt < 2:
                    self.note_retry("Escape again", f'pressing Escape again in "{title}"')
        self.assert_delivered(host, request, "", [])

    def handles(self, host, title):
        return host.ask(f"window {title}", "window")["handles"]

    def own_handles(self, host, title):
        """The windows of that title in the host's own process."""
        return host.ask(f"window {title}", "window")["own"]

    def host_window_in_front(self, host):
        """Puts the host's own window in front of its open dialog. The dialog's one look at itself,
        200 ms after it starts, may bring it forward once in between: then the host asks again."""
        poll(
            "the host's own window in front",
            lambda: host.ask("foreground-own-window", "foreground-own-window")["own"],
        )

    def bring_forward(self, host, own_handles):
        """activeDlgWindow in that host, until one of its own windows is in the foreground. With
        no window manager, keys reach only the foreground window, and a dialog that opened while
        another program's window was in front is not there under Wine."""
        host.ask("active", "active")
        poll(
            "the host's own dialog in the foreground",
            lambda: host.ask("foreground?", "foreground")["handle"] in own_handles,
        )

    def front_box(self, host, dialog_title):
        """The foreground window when it is an enabled window owned by the dialog (a message box
        the dialog shows), else None."""
        front = host.ask("foreground?", "foreground")
        return front if front["enabled"] and front["owner"] == dialog_title else None

    def request(self, host, line):
        """A request through the C interface's second version, which must be accepted."""
        host.send(line)
        event = host.wait_event("requested")
        self.assertEqual(event.get("result"), 0, line)
        return event["request"]

    def assert_delivered(self, host, request, directory, names):
        try:
            callback = host.callback(request)
        except AssertionError:
            self._screenshot(f"request{request}")
            raise
        self.assertEqual(
            (callback["directory"], callback["names"]), (directory, names), f"request {request}"
        )
        self.assertNotEqual(callback["thread"], callback["caller_thread"], "callback thread")
        if "terminated" in callback:  # the C host: names[count] must be NULL
            self.assertTrue(callback["terminated"], f"names of request {request} not terminated")

    def assert_each_delivered_once(self, events, requests):
        for request in requests:
            count = sum(1 for e in events if e["event"] == "callback" and e["request"] == request)
            self.assertEqual(count, 1, f"callbacks of request {request}: {events}")
        self.assertEqual([e for e in events if e["event"] in ("error", "unreadable")], [])

    # -- the tests

    def test_Dialog_ShowsTitleAndDeliversEmptyResult_WhenCancelled(self):
        host = self.start_host()
        requests = []
        for (kind, language), title in TITLES.items():
            with self.subTest(kind=kind, language=language):
                request, window = self.open_dialog(host, kind, language)
                requests.append(request)
                self.cancel(host, request, window, title)
        self.assert_each_delivered_once(host.quit(), requests)

    def test_FileDialog_DeliversFolderAndNamesInOrder_WhenFilesChosen(self):
        in_root = os.path.basename(self.folder) + ".txt"  # a file of our own in the drive root
        in_root_path = os.path.join(os.path.dirname(self.folder), in_root)
        with open(in_root_path, "wb") as f:
            f.write(b"e2e\n")
        self.addCleanup(os.remove, in_root_path)
        self.make_files("files\\b.txt", "files\\a.txt", "files\\c d.txt")
        files = self.windows_path("files")
        cases = (  # kind, language, folder opened first, names typed, directory, names delivered
            (0, "en", files, '"c d.txt" "a.txt" "b.txt"', files, ["c d.txt", "a.txt", "b.txt"]),
            (3, "cs", files, '"b.txt" "c d.txt"', files, ["b.txt", "c d.txt"]),
            (0, "en", None, "C:\\" + in_root, "C:", [in_root]),
        )
        host = self.start_host()
        requests = []
        for kind, language, folder, typed, directory, names in cases:
            with self.subTest(kind=kind, language=language, typed=typed):
                title = TITLES[kind, language]
                request, window = self.open_dialog(host, kind, language)
                requests.append(request)
                if folder:
                    self.enter(host, title, window, folder)
                self.enter(host, title, window, typed)
                self.assert_delivered(host, request, directory, names)
        self.assert_each_delivered_once(host.quit(), requests)

    def test_FolderDialog_DeliversParentAndName_WhenOneFolderChosen(self):
        cases = (  # kind, language, folder chosen, directory delivered, names delivered
            (1, "en", ("in",), self.windows_path(), ["in"]),
            (4, "cs", ("data", "in"), self.windows_path("data"), ["in"]),
            (2, "en", ("out",), self.windows_path("out"), ["out"]),
            (2, "cs", ("data", "out"), self.windows_path("data", "out"), ["out"]),
            (2, "en", None, "C:\\", [""]),  # the drive root
        )
        self.make_files("in\\", "data\\in\\", "out\\", "data\\out\\")
        host = self.start_host()
        requests = []
        for kind, language, chosen, directory, names in cases:
            with self.subTest(kind=kind, language=language, chosen=chosen):
                request, window = self.open_dialog(host, kind, language)
                requests.append(request)
                path = self.windows_path(*chosen) if chosen else "C:\\"
                self.enter(host, TITLES[kind, language], window, path)
                self.assert_delivered(host, request, directory, names)
        self.assert_each_delivered_once(host.quit(), requests)

    def test_FolderDialog_ReopensAsUploadFolders_WhenDriveRootChosen(self):
        self.make_files("picked\\")
        host = self.start_host()
        requests = []
        for kind, language in ((4, "en"), (4, "cs"), (1, "cs")):
            with self.subTest(kind=kind, language=language):
                first_title, second_title = TITLES[kind, language], TITLES[1, language]
                request, window = self.open_dialog(host, kind, language)
                requests.append(request)
                first = self.handles(host, first_title)
                self.enter(host, first_title, window, "C:\\")
                # X reuses window ids; the handle tells the new dialog from the old one
                second = poll(
                    f'a new dialog titled "{second_title}"',
                    lambda: [h for h in self.handles(host, second_title) if h not in first],
                )
                self.assertEqual(len(second), 1)
                still_first = second if first_title == second_title else []
                self.assertEqual(self.handles(host, first_title), still_first)
                self.assertEqual(host.callbacks(request), [], "delivered before the new dialog")
                window = self.screen.wait_window(second_title)
                self.enter(host, second_title, window, self.windows_path("picked"))
                self.assert_delivered(host, request, self.windows_path(), ["picked"])
        events = host.quit()
        self.assert_each_delivered_once(events, requests)
        self.assertEqual(
            [e for e in events if e["event"] == "callback" and e["request"] not in requests], []
        )

    def test_Selection_ArrivesAsUtf8_WithChineseNames(self):
        self.make_files("资料\\报告.txt", "资料\\数据 二.txt", "资料\\目录\\")
        host = self.start_host()
        title = TITLES[0, "cs"]
        request, window = self.open_dialog(host, 0, "cs")
        self.enter(host, title, window, self.windows_path("资料"))
        self.enter(host, title, window, '"数据 二.txt" "报告.txt"')
        self.assert_delivered(host, request, self.windows_path("资料"), ["数据 二.txt", "报告.txt"])
        title = TITLES[1, "cs"]
        folder_request, window = self.open_dialog(host, 1, "cs")
        self.enter(host, title, window, self.windows_path("资料", "目录"))
        self.assert_delivered(host, folder_request, self.windows_path("资料"), ["目录"])
        self.assert_each_delivered_once(host.quit(), [request, folder_request])

    def test_SecondRequest_AnsweredEmptyAtOnce_WhileDialogOpen(self):
        self.forbid_retries()
        host = self.start_host()
        first_title, second_title = TITLES[0, "cs"], TITLES[4, "cs"]
        first, window = self.open_dialog(host, 0, "cs")
        open_handles = self.handles(host, first_title)
        self.host_window_in_front(host)
        second = host.show(4, "cs")
        self.assert_delivered(host, second, "", [])
        poll(
            "the open dialog in the foreground",
            lambda: host.ask("foreground?", "foreground")["title"] == first_title,
        )
        host.drain(QUIET)  # a second dialog, if any, would open now
        self.assertEqual(self.screen.windows(second_title), [])
        self.assertEqual(self.handles(host, second_title), [])
        self.assertEqual(self.screen.windows(first_title), [window])
        self.assertEqual(self.handles(host, first_title), open_handles)
        self.assertEqual(host.callbacks(first), [], "the open dialog answered early")
        self.cancel(host, first, window, first_title)
        self.assert_each_delivered_once(host.quit(), [first, second])

    def test_FileDialog_RefusesItemsOfSeveralFolders_UntilChosenInOne(self):
        """Full paths of files in two folders typed into the name box: the dialog tells why in a
        box of its own, in the request's language, and stays open; what is then chosen in one
        folder is delivered as ever. (A second typed folder comes back from Wine as garbage, so the
        folder dialogs' refusal is tested below the dialog.)"""
        self.make_files("a\\x.txt", "a\\z.txt", "b\\y.txt", "top.txt")
        a, b, top = self.windows_path("a"), self.windows_path("b"), self.windows_path("top.txt")
        x, y, z = a + "\\x.txt", b + "\\y.txt", a + "\\z.txt"
        cases = (  # kind, language, typed across folders, then in one, directory, names delivered
            (0, "en", f'"{x}" "{y}"', f'"{z}" "{x}"', a, ["z.txt", "x.txt"]),
            (3, "cs", f'"{y}" "{top}"', f'"{y}"', b, ["y.txt"]),  # a folder and its parent
        )
        host = self.start_host()
        requests = []
        for kind, language, across, within, directory, names in cases:
            with self.subTest(kind=kind, language=language):
                title = TITLES[kind, language]
                request, window = self.open_dialog(host, kind, language)
                requests.append(request)
                self.enter(host, title, window, across)
                poll("the box that says why", lambda: self.front_box(host, title))
                self.host_window_in_front(host)
                host.ask("active", "active")  # the box has the dialog's title: it is what comes
                box = poll("the box in front", lambda: self.front_box(host, title))
                self.assertEqual((box["title"], box["text"]), (title, SEVERAL_FOLDERS[language]))
                self.screen.press_where_focused("Return")
                poll("the box to close", lambda: not self.front_box(host, title))
                self.assertEqual(self.screen.windows(title), [window])
                self.assertEqual(host.callbacks(request), [], "delivered across folders")
                self.enter(host, title, window, within)
                self.assert_delivered(host, request, directory, names)
        self.assert_each_delivered_once(host.quit(), requests)

    def test_DialogsOwnBox_ComesToFront_NotTheDisabledDialog(self):
        """While the dialog shows a box of its own (here: a typed name that does not exist), a
        refused request and activeDlgWindow bring that box forward, and the keyboard reaches it."""
        host = self.start_host()
        title = TITLES[0, "en"]
        requests = []
        for bring in ("a refused request", "activeDlgWindow"):
            with self.subTest(bring=bring):
                request, window = self.open_dialog(host, 0, "en")
                requests.append(request)
                self.enter(host, title, window, self.windows_path("missing.txt"))
                box = poll("the dialog's box", lambda: self.front_box(host, title))
                self.host_window_in_front(host)
                if bring == "activeDlgWindow":
                    host.ask("active", "active")
                else:
                    refused = host.show(4, "cs")
                    requests.append(refused)
                    self.assert_delivered(host, refused, "", [])
                front = poll("the box in front", lambda: self.front_box(host, title))
                self.assertEqual(front["handle"], box["handle"])
                self.screen.press_where_focused("Return")
                poll("the dialog in front again, enabled",
                     lambda: host.ask("foreground?", "foreground")["title"] == title)
                self.assertTrue(host.ask("foreground?", "foreground")["enabled"])
                self.cancel(host, request, window, title)
        self.assert_each_delivered_once(host.quit(), requests)

    def test_NextDialog_WaitsForRunningCallback_WhileCallbackRuns(self):
        host = self.start_host()
        first_title, next_title = TITLES[0, "cs"], TITLES[3, "cs"]
        host.ask("hold-callbacks", "hold-callbacks")
        first, window = self.open_dialog(host, 0, "cs")
        self.cancel(host, first, window, first_title)  # its callback now waits inside
        following = host.show(3, "cs")
        host.drain(QUIET)
        self.assertEqual(self.screen.windows(next_title), [])
        self.assertEqual(host.callbacks(following), [])
        host.ask("release-callbacks", "release-callbacks")
        window = self.screen.wait_window(next_title)
        self.cancel(host, following, window, next_title)
        self.assert_each_delivered_once(host.quit(), [first, following])

    def test_Dialog_ShownAndLockReleased_WhenCallbackEmpty(self):
        host = self.start_host()
        title = TITLES[2, "en"]
        host.send("show-without-callback 2 en")
        silent = host.wait_event("requested")["request"]
        window = self.screen.wait_window(title)
        self.screen.press(window, "Escape")
        poll("the dialog to close", lambda: window not in self.screen.windows(title))
        request, window = self.open_dialog(host, 2, "en")
        self.cancel(host, request, window, title)
        events = host.quit()
        self.assertEqual(host.callbacks(silent), [])
        self.assert_each_delivered_once(events, [request])

    def test_ActiveDlgWindow_BringsDialogToForeground_WhenHostWindowInFront(self):
        self.forbid_retries()
        host = self.start_host()
        title = TITLES[2, "en"]
        request, window = self.open_dialog(host, 2, "en")
        self.host_window_in_front(host)
        host.ask("active", "active")
        poll(
            "the dialog in the foreground",
            lambda: host.ask("foreground?", "foreground")["title"] == title,
        )
        self.cancel(host, request, window, title)
        self.assert_each_delivered_once(host.quit(), [request])

    def test_ActiveDlgWindow_LeavesForegroundAlone_WhenNoDialogWasRequested(self):
        self.forbid_retries()
        host = self.start_host()
        self.assertTrue(host.ask("foreground-own-window", "foreground-own-window")["own"])
        host.ask("active", "active")
        self.assertTrue(host.ask("foreground?", "foreground")["own"])
        self.assertEqual(
            [e for e in host.quit() if e["event"] in ("callback", "error", "unreadable")], []
        )

    def test_Dialog_ShowsUiIcon_WhenIconFileInCurrentDirectory(self):
        os.makedirs(os.path.join(self.folder, "images"))
        shutil.copy(ICON, os.path.join(self.folder, "images", "UI.ico"))
        host = self.start_host()
        title = TITLES[1, "en"]
        # The icon is set once, 200 ms after the dialog starts; a first dialog has the shell to
        # load, so a warm-up dialog keeps a loaded machine from missing that moment.
        warm_up, window = self.open_dialog(host, 1, "en")
        self.cancel(host, warm_up, window, title)
        request, window = self.open_dialog(host, 1, "en")
        poll(
            "the dialog's small icon",
            lambda: host.ask(f"window {title}", "window")["small_icon"],
        )
        self.cancel(host, request, window, title)
        self.assert_each_delivered_once(host.quit(), [warm_up, request])

    def test_Dialog_DeliversSelection_WithoutIconFile(self):
        self.make_files("only.txt")
        host = self.start_host()
        title = TITLES[0, "en"]
        request, window = self.open_dialog(host, 0, "en")
        self.assertEqual(len(self.handles(host, title)), 1)
        self.enter(host, title, window, self.windows_path("only.txt"))
        self.assert_delivered(host, request, self.windows_path(), ["only.txt"])
        self.assert_each_delivered_once(host.quit(), [request])

    def test_ManyDialogs_EachAnsweredOnce_InOneHostProcess(self):
        self.make_files("picked\\")
        picked = self.windows_path("picked")
        host = self.start_host()
        requests = []
        for number in range(DIALOGS_IN_ONE_HOST):
            answered = number % 50 == 49  # now and then a real answer, the rest cancelled
            kind = 2 if answered else number % 5
            language = ("en", "cs")[number // 5 % 2]
            title = TITLES[kind, language]
            request, window = self.open_dialog(host, kind, language, interval=0.05)
            requests.append(request)
            if answered:
                self.enter(host, title, window, picked)
                self.assert_delivered(host, request, picked, ["picked"])
            else:
                self.cancel(host, request, window, title, interval=0.05)
        for title in set(TITLES.values()):
            self.assertEqual(self.screen.windows(title), [], f'a window titled "{title}" is left')
        self.assert_each_delivered_once(host.quit(), requests)

    def test_TwoHosts_EachShowsAndBringsForwardOnlyItsOwnDialog(self):
        """Each host's dialog is, for the other, another program's window with the same title."""
        self.forbid_retries()
        first, second = self.start_host(), self.start_host()
        title = TITLES[0, "en"]
        first_request, first_window = self.open_dialog(first, 0, "en")
        second_request, second_window = self.open_dialog(second, 0, "en", other_than=[first_window])
        second.drain(QUIET)
        self.assertEqual(second.callbacks(second_request), [], "refused for another's window")
        first_own, second_own = self.own_handles(first, title), self.own_handles(second, title)
        self.assertEqual((len(first_own), len(second_own)), (1, 1))
        self.assertNotEqual(first_own, second_own)

        self.bring_forward(first, first_own)
        self.bring_forward(second, second_own)  # from the other's dialog in front
        self.cancel(second, second_request, second_window, title)
        self.assertEqual(self.screen.windows(title), [first_window])
        # nothing of the second host's is open: the first host's dialog is not its to bring up
        self.assertTrue(second.ask("foreground-own-window", "foreground-own-window")["own"])
        second.ask("active", "active")
        second.drain(QUIET)
        self.assertTrue(second.ask("foreground?", "foreground")["own"], "another's dialog came up")
        self.assertEqual(first.callbacks(first_request), [], "the open dialog answered early")
        self.bring_forward(first, first_own)
        self.cancel(first, first_request, first_window, title)
        self.assert_each_delivered_once(first.quit(), [first_request])
        self.assert_each_delivered_once(second.quit(), [second_request])

    # -- the C interface (quorlin_c.h), through the C host of tests/consumer

    def test_CInterface_MatchesHeaderAbi_AndRefusesUnknownKindsAtOnce(self):
        host = self.start_host()
        abi = host.ask("abi", "abi")
        self.assertEqual((abi["library"], abi["header"]), (2, 2))
        refused = []
        for kind in (5, -1):
            host.send(f"show {kind} en")
            event = host.wait_event("requested")
            self.assertEqual(event["result"], 1, f"quorlin_show({kind}) is QUORLIN_ERROR_KIND")
            refused.append(event["request"])
        host.send("show 3 en")
        accepted = host.wait_event("requested")
        self.assertEqual(accepted["result"], 0)
        title = TITLES[3, "en"]
        self.cancel(host, accepted["request"], self.screen.wait_window(title), title)
        host.drain(QUIET)
        events = host.quit()
        for request in refused:
            self.assertEqual(host.callbacks(request), [], f"request {request} was refused")
        self.assert_each_delivered_once(events, [accepted["request"]])

    def test_CInterface_TellsEachOutcome_ThroughVersion2(self):
        """quorlin_request: one callback for every accepted request, with its status and, for a
        failure, the platform's error code; the dialog has the options' owner and folder."""
        self.make_files("start\\a.txt")
        start = self.windows_path("start")
        host = self.start_host()
        requests = []

        def chosen():  # in the folder asked for, owned by the host's window
            request = self.request(host, f"request 0 en own {start}")
            window = self.screen.wait_window(TITLES[0, "en"])
            self.assertEqual(host.ask("foreground?", "foreground")["owner"], "Dialog Host")
            self.enter(host, TITLES[0, "en"], window, "a.txt")
            return request

        def cancelled():
            request = self.request(host, "request 2 cs none")
            self.cancel(host, request, self.screen.wait_window(TITLES[2, "cs"]), TITLES[2, "cs"])
            return request

        def refused():  # while another is open
            first = self.request(host, "request 1 en none")
            window = self.screen.wait_window(TITLES[1, "en"])
            refused = self.request(host, "request 3 en none")
            host.callback(refused)
            self.cancel(host, first, window, TITLES[1, "en"])
            requests.append(first)
            return refused

        def failed():  # its owner window destroyed while the request waited its turn
            host.ask("hold-callbacks", "hold-callbacks")
            first = self.request(host, "request 2 en none")
            self.screen.press(self.screen.wait_window(TITLES[2, "en"]), "Escape")
            host.callback(first)  # which waits inside the library, and the next request with it
            waiting = self.request(host, "request 0 en orphan")
            host.ask("release-callbacks", "release-callbacks")
            requests.append(first)
            return waiting

        cases = (  # status, error, directory, names
            (chosen, 0, 0, start, ["a.txt"]),
            (cancelled, 1, 0, "", []),
            (refused, 2, 0, "", []),
            (failed, 3, 0x80070578 - (1 << 32), "", []),  # ERROR_INVALID_WINDOW_HANDLE
        )
        for step, status, error, directory, names in cases:
            with self.subTest(step.__name__):
                request = step()
                requests.append(request)
                answer = poll("its callback", lambda: host.callbacks(request))[0]
                self.assertEqual(
                    (answer["status"], answer["error"], answer["directory"], answer["names"]),
                    (status, error, directory, names),
                )
                self.assertTrue(answer["terminated"])
        self.assert_each_delivered_once(host.quit(), requests)

    def test_Dialog_AnswersKeys_WhileHostUiThreadWaitsWithoutMessages(self):
        """The host's own window is in front and its UI thread waits for the callback without
        answering messages: the dialog must still take keys, and the callback must come. Nothing
        here asks the host, whose UI thread does not answer until the callback has run."""
        host = self.start_host()
        title = TITLES[2, "cs"]
        host.send("show-blocking 2 cs")
        request = host.wait_event("requested")["request"]
        window = self.screen.wait_window(title)
        self.cancel(host, request, window, title)
        host.wait_event("unblocked")
        self.assert_each_delivered_once(host.quit(), [request])


# The tests that the C host runs too: what the C++ exports do, the C interface does the same way.
C_INTERFACE_SHARED = (
    "Dialog_ShowsTitleAndDeliversEmptyResult_WhenCancelled",
    "FileDialog_DeliversFolderAndNamesInOrder_WhenFilesChosen",
    "Selection_ArrivesAsUtf8_WithChineseNames",
    "SecondRequest_AnsweredEmptyAtOnce_WhileDialogOpen",
    "Dialog_ShownAndLockReleased_WhenCallbackEmpty",
    "ActiveDlgWindow_BringsDialogToForeground_WhenHostWindowInFront",
)


def test_names(c_interface=False):
    names = sorted(n[len("test_") :] for n in dir(DialogTests) if n.startswith("test_"))
    if c_interface:
        return [n for n in names if n.startswith("CInterface_") or n in C_INTERFACE_SHARED]
    return [n for n in names if not n.startswith("CInterface_")]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=("setup", "run", "cleanup", "list", "hold-display"))
    parser.add_argument("name", nargs="?")
    parser.add_argument("--state")
    parser.add_argument("--host")
    parser.add_argument("--c-interface", action="store_true", help="list: the C host's tests")
    args = parser.parse_intermixed_args()
    if args.action == "list":
        print("\n".join(test_names(args.c_interface)))
        return 0
    if args.action == "setup":
        return setup(args.state)
    if args.action == "cleanup":
        return cleanup(args.state)
    if args.action == "hold-display":
        return hold_display(args.state)
    DialogTests.state = load_state(args.state)
    DialogTests.state_dir = os.path.abspath(args.state)
    DialogTests.host_exe = os.path.abspath(args.host)
    suite = unittest.TestSuite([DialogTests("test_" + args.name)])
    result = unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
