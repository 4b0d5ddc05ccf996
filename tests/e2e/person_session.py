#!/usr/bin/env python3
"""A person's whole session with the real program, under an X server of its own.

It types into the boxes and clicks the buttons at their places in the window
(xdotool), with the fake marketplace as the program's HTTP proxy and a fake
xdg-open first on PATH: mining, the trend index at a short interval, the
export, the feedback and maker buttons, and closing the window. Then it checks
the exported file byte for byte, the searches and trend queries the fake
marketplace saw, and the addresses the desktop was asked to open.

Exit status: 0 passed, 1 failed, 77 skipped (no X server could be started).
With QUILLA_E2E_SCREENSHOT=<path> (relative paths from the source folder) the
window after the run is also saved there as PNG; with
QUILLA_E2E_CHART_SCREENSHOT=<path> the chart window too, opened with Ctrl+G.
"""

import argparse
import ctypes
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
from pathlib import Path

# The helper module sits next to this file; no bytecode in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import x11  # noqa: E402

SKIP = 77
OVERALL_LIMIT_S = 210  # below CTest's 240 s, so that cleanup always runs

# What the person types; the exclude filter is typed in Chinese.
SEED, INCLUDE, EXCLUDE, QUANTITY, INTERVAL_MS = "qq", "qq", "空间", 6, 2000
NON_ASCII_TYPED = [c for c in SEED + INCLUDE + EXCLUDE if ord(c) > 0x7e]

HEADER = ("关键词,宝贝数,昨天搜索指数,前天搜索指数,昨天成交指数,前天成交指数,"
          "七天的搜索指数环比,与去年同期相比,三十天的搜索指数环比,与去年同期相比,趋势预测")
TITLE = "Quilla淘宝指数批量查询工具 v1.0  by:tarnick"
BOX_TITLES = "^Quilla"  # the program's title, short or whole
TWIPS_PER_PIXEL = 15
CLIENT_SIZE = (1027, 736)


class Failure(Exception):
    pass


class Skip(Exception):
    pass


started = time.monotonic()


def say(text):
    print(f"[{time.monotonic() - started:6.1f}s] {text}", flush=True)


def wait_for(what, probe, timeout_s, every_s=0.1):
    """Polls until probe() gives something true; that value is returned."""
    deadline = time.monotonic() + timeout_s
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"waited {timeout_s:g} s for {what}")
        time.sleep(every_s)


def die_with_parent():
    # Children go when this script goes, even when CTest kills it outright.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Processes:
    """Everything started here, stopped in reverse order on every way out."""

    def __init__(self):
        self._started = []

    def start(self, name, argv, **kwargs):
        proc = subprocess.Popen(argv, preexec_fn=die_with_parent, **kwargs)
        self._started.append((name, proc))
        return proc

    def stop_all(self):
        for name, proc in reversed(self._started):
            if proc.poll() is not None:
                continue
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                say(f"{name} ignored SIGTERM; killing it")
                proc.kill()
                proc.wait(timeout=10)
        self._started.clear()


def control_spots(source_dir):
    """Control name -> (left, top, width, height) in twips, from the window's layout."""
    text = (source_dir / "src/app/controls.h").read_text(encoding="utf-8")
    spots = {}
    for m in re.finditer(r'\{"(\w+)",\s*ControlKind::\w+,\s*u"[^"]*",\s*'
                         r'(\d+),\s*(\d+),\s*(\d+),\s*(\d+)\}', text):
        spots[m.group(1)] = tuple(int(v) for v in m.groups()[1:])
    needed = ["keywordBox", "includeBox", "excludeBox", "quantityBox", "intervalBox",
              "mineButton", "stopButton", "indexButton", "exportButton", "feedbackButton",
              "homePageButton"]
    missing = [n for n in needed if n not in spots]
    if missing:
        raise Failure(f"controls.h gives no place for {missing}")
    return spots


def start_x_server(procs, scratch, screen="1280x1024x24"):
    if shutil.which("Xvfb") is None:
        raise Skip("Xvfb is not installed (Debian package xvfb)")
    read_end, write_end = os.pipe()
    log = open(scratch / "xvfb.log", "wb")
    try:
        # -noreset: by default the server starts afresh whenever its last client
        # leaves, which throws away the keys given before the program starts
        # and refuses connections for a moment.
        xvfb = procs.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                    screen, "-nolisten", "tcp", "-noreset"],
                           pass_fds=[write_end], stdout=log, stderr=log)
    except OSError as e:
        raise Skip(f"Xvfb cannot start: {e}")
    finally:
        os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([read_end], [], [], 0.5)
        if ready:
            chunk = os.read(read_end, 64)
            if not chunk:
                break
            number += chunk
        elif xvfb.poll() is not None:
            break
    os.close(read_end)
    if not number.strip().isdigit():
        detail = (scratch / "xvfb.log").read_text(errors="replace").strip()[-600:]
        why = (f"it ended with status {xvfb.returncode}" if xvfb.poll() is not None
               else "no display within 30 s")
        raise Skip(f"Xvfb cannot start ({why}): {detail}")
    return ":" + number.strip().decode()


class Desktop:
    """The display as the person sees it: xdotool for the mouse and keyboard."""

    def __init__(self, display, spots):
        self.display = display
        self.spots = spots
        self.env = dict(os.environ, DISPLAY=display)
        self.window = None

    def xdotool(self, *args, check=True):
        result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                                text=True, timeout=20)
        if check and result.returncode != 0:
            raise Failure(f"xdotool {' '.join(args)}: {result.stderr.strip()}")
        return result.stdout

    def windows_named(self, pattern):
        out = self.xdotool("search", "--onlyvisible", "--name", pattern, check=False)
        return [int(w) for w in out.split()]

    def geometry(self, window):
        out = self.xdotool("getwindowgeometry", "--shell", str(window))
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def centre(self, name):
        left, top, width, height = self.spots[name]
        return ((left + width // 2) // TWIPS_PER_PIXEL, (top + height // 2) // TWIPS_PER_PIXEL)

    def click(self, name):
        x, y = self.centre(name)
        self.xdotool("windowfocus", str(self.window))
        self.xdotool("mousemove", "--window", str(self.window), str(x), str(y), "click", "1")

    def type_into(self, name, text):
        self.click(name)
        self.xdotool("key", "ctrl+a")
        self.xdotool("type", "--delay", "60", text)

    def message_box(self, timeout_s=30):
        """Waits for the one message box over the window."""
        def other():
            boxes = [w for w in self.windows_named(BOX_TITLES) if w != self.window]
            return boxes[0] if len(boxes) == 1 else None
        return wait_for("a message box", other, timeout_s, every_s=0.2)

    def answer(self, box, key="Return"):
        """Presses Return (or `key`) in the box; waits until it has gone."""
        for attempt in range(3):
            self.xdotool("windowfocus", str(box), check=False)
            self.xdotool("key", key)
            try:
                wait_for("the message box to close",
                         lambda: box not in self.windows_named(BOX_TITLES), 20)
                return
            except Failure:
                say(f"the message box is still open after Return #{attempt + 1}")
        raise Failure("the message box did not close on Return")

    def screenshot(self, path, window=None):
        """The window once the screen has settled (a closed box repaints late)."""
        x, y, w, h = self.geometry(window or self.window)
        with x11.Display(self.display) as d:
            png = d.screen_png(x, y, w, h)
            for _ in range(20):
                time.sleep(0.3)
                again = d.screen_png(x, y, w, h)
                if again == png:
                    break
                png = again
        tmp = path.with_name(path.name + ".part")
        tmp.write_bytes(png)
        os.replace(tmp, path)


class MarketLog:
    """The fake marketplace's request log: one 'GET <target> [agent]' line a request."""

    def __init__(self, path):
        self.path = path
        self.seen_at = []  # when each line was first read

    def targets(self):
        data = self.path.read_bytes() if self.path.exists() else b""
        # A line still being written has no line end yet.
        lines = [l for l in data.split(b"\n")[:-1] if l.startswith(b"GET ")]
        now = time.monotonic()
        self.seen_at += [now] * (len(lines) - len(self.seen_at))
        return [l.split(b" ")[1] for l in lines]

    def searched(self, since=0):
        """Keywords of the search-page requests, as the fake decodes them (GB18030)."""
        out = []
        for t in self.targets()[since:]:
            if b"s.taobao.com/search?" in t:
                q = re.search(rb"[?&]q=([^&#]*)", t)
                out.append(urllib.parse.unquote_to_bytes(q.group(1) if q else b"")
                           .decode("gb18030", errors="replace"))
        return out

    def trend_queries(self, since=0):
        """(line number, keyword) of the trend page's data requests (UTF-8)."""
        out = []
        for i, t in enumerate(self.targets()[since:], start=since):
            if b"/trendindex/data?" in t:
                q = re.search(rb"[?&]query=([^&#]*)", t)
                out.append((i, urllib.parse.unquote(q.group(1).decode("ascii") if q else "")))
        return out


def csv_field(text):
    if any(c in text for c in ',"\r\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


def expected_lines(rows, indexed):
    lines = [HEADER]
    for r in rows:
        fields = [r["keyword"], r["count"]] + (r["figures"] if indexed else [])
        lines.append(",".join(csv_field(f) for f in fields))
    return lines


def as_opened(address):
    """An address as a URL handler receives it: non-ASCII percent-encoded as UTF-8."""
    return urllib.parse.quote(address, safe="".join(chr(c) for c in range(0x21, 0x7f)))


def opened(log_path):
    if not log_path.exists():
        return []
    return [l.split("\t") for l in log_path.read_text(encoding="utf-8").splitlines()]


def check_export(csv_path, rows):
    """'done', 'early' (the last rows are not indexed yet) or a Failure."""
    data = csv_path.read_bytes()
    full = expected_lines(rows, indexed=True)
    expected = "".join(l + "\r\n" for l in full).encode("gb18030")
    if data == expected:
        return "done"
    got = data.decode("gb18030", errors="replace").split("\r\n")
    mined = expected_lines(rows, indexed=False)
    if got[-1] == "" and len(got) - 1 == len(full):
        got = got[:-1]
        k = next((i for i, l in enumerate(got) if l != full[i]), len(got))
        if k >= 1 and got[k:] == mined[k:]:
            return "early"
    diff = "\n".join(f"  line {i}: got {g!r}\n          want {w!r}"
                     for i, (g, w) in enumerate(zip(got + [""] * len(full), full)) if g != w)
    raise Failure(f"{csv_path.name} differs from what the fake marketplace gives:\n{diff}\n"
                  f"  ({len(data)} bytes, {len(expected)} expected)")


# Mesa's software GL driver: Qt WebEngine's start loads it, and Mesa unloads it
# before the leak check at exit, so two blocks only the driver's own data held
# look leaked (and unnamed). Kept loaded in an AddressSanitizer build.
GL_DRIVER = Path("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so")


def sanitizer_preload(program):
    """LD_PRELOAD for an AddressSanitizer build (its runtime must come first), else None."""
    out = subprocess.run(["ldd", program], capture_output=True, text=True, timeout=30).stdout
    runtime = re.search(r"^\s*(libasan\.so\S*) => ", out, re.M)
    if not runtime or not GL_DRIVER.exists():
        return None
    return f"{runtime.group(1)} {GL_DRIVER}"


def program_env(display, port, bin_dir, home, runtime, open_log):
    """The program's environment: our display, proxy and opener; nothing of the host desktop."""
    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("all_proxy", "https_proxy", "ftp_proxy")
           and k not in ("BROWSER", "DEFAULT_BROWSER", "SNAP", "XDG_CURRENT_DESKTOP",
                         "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "SESSION_MANAGER",
                         "QTWEBENGINE_CHROMIUM_FLAGS", "LC_ALL")}
    proxy = f"http://127.0.0.1:{port}"
    env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb", http_proxy=proxy, HTTP_PROXY=proxy,
               no_proxy="", NO_PROXY="", PATH=f"{bin_dir}{os.pathsep}{os.environ['PATH']}",
               HOME=str(home), XDG_RUNTIME_DIR=str(runtime),
               XDG_CONFIG_HOME=str(home / ".config"), XDG_CACHE_HOME=str(home / ".cache"),
               XDG_DATA_HOME=str(home / ".local/share"), LANG="C.UTF-8",
               QUILLA_E2E_OPEN_LOG=str(open_log))
    return env


class PersonSession:
    def __init__(self, args, procs, scratch):
        self.args, self.procs, self.scratch = args, procs, scratch
        self.source_dir = Path(args.source_dir)
        self.spots = control_spots(self.source_dir)
        self.expected = json.loads(subprocess.run(
            [args.expected, SEED, INCLUDE, EXCLUDE, str(QUANTITY)], check=True,
            capture_output=True, timeout=30).stdout.decode("utf-8"))
        self.rows = self.expected["rows"]
        self.work = scratch / "work"
        self.open_log = scratch / "opened.log"
        self.desktop = None
        self.market = None
        self.market_process = None
        self.program = None

    def run(self):
        self.start()
        self.fill_boxes()
        self.mine()
        self.index()
        self.export()
        self.save_screenshot()
        self.save_chart_screenshot()
        self.feedback_and_home()
        self.close()

    def start(self):
        display = start_x_server(self.procs, self.scratch)
        say(f"Xvfb on {display}")
        self.desktop = Desktop(display, self.spots)
        # Keys of their own for the Chinese the person types, before the program starts.
        with x11.Display(display) as d:
            d.give_keys(NON_ASCII_TYPED)

        out, log = self.scratch / "fake_market.out", self.scratch / "fake_market.log"
        self.market_process = self.procs.start(
            "fake_market", [self.args.fake_market, "--port", "0", "--verbose"],
            stdout=open(out, "wb"), stderr=open(log, "wb"))
        port = wait_for("the fake marketplace's port", lambda: re.search(
            r"^listening 127\.0\.0\.1:(\d+)$", out.read_text(), re.M), 20).group(1)
        self.market = MarketLog(log)

        bin_dir, home, runtime = (self.scratch / n for n in ("bin", "home", "runtime"))
        for d in (bin_dir, home, runtime, self.work):
            d.mkdir(mode=0o700)
        shutil.copy(Path(__file__).with_name("xdg-open"), bin_dir / "xdg-open")
        (bin_dir / "xdg-open").chmod(0o755)
        env = program_env(display, port, bin_dir, home, runtime, self.open_log)
        preload = sanitizer_preload(self.args.quilla)
        if preload:
            env["LD_PRELOAD"] = preload
        self.program = self.procs.start(
            "quilla", [self.args.quilla], cwd=self.work, env=env, stdout=subprocess.DEVNULL,
            stderr=open(self.scratch / "quilla.log", "wb"))
        self.wait_for_window()

    def wait_for_window(self):
        def shown():
            if self.program.poll() is not None:
                raise Failure(f"the program ended at start with status {self.program.returncode}")
            windows = self.desktop.windows_named("^" + re.escape(TITLE) + "$")
            return windows[0] if len(windows) == 1 else None
        self.desktop.window = wait_for("the window", shown, 60, every_s=0.25)
        size = self.desktop.geometry(self.desktop.window)[2:]
        if size != CLIENT_SIZE:
            raise Failure(f"the window is {size[0]}x{size[1]}, "
                          f"not {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
        say(f"window {self.desktop.window:#x} shown, {size[0]}x{size[1]}")
        wait_for("the trend page's first figures", lambda: self.market.trend_queries(), 60)
        say("trend-index page loaded in the embedded browser")

    def fill_boxes(self):
        # Without its own key a character is typed through a key xdotool remaps
        # for a moment, which a busy program can read after the remapping.
        with x11.Display(self.desktop.display) as d:
            keyless = d.keyless(NON_ASCII_TYPED)
        if keyless:
            raise Failure(f"no key gives {''.join(keyless)} any more: the keymap was reset")
        for box, text in (("keywordBox", SEED), ("includeBox", INCLUDE), ("excludeBox", EXCLUDE),
                          ("quantityBox", str(QUANTITY)), ("intervalBox", str(INTERVAL_MS))):
            self.desktop.type_into(box, text)
        say("typed seed, filters, quantity and interval")

    def mine(self):
        want = self.expected["searched"]
        self.desktop.click("mineButton")
        wait_for(f"{len(want)} searches", lambda: len(self.market.searched()) >= len(want),
                 60, every_s=0.2)
        time.sleep(2)  # twenty mining ticks: a run that did not stop would show here
        if self.market.searched() != want:
            raise Failure(f"searched {self.market.searched()}, expected {want}")
        say(f"mining stopped after {len(want)} searches, as expected")

    def index(self):
        mark = len(self.market.targets())
        self.desktop.click("indexButton")
        n = len(self.rows)
        # Polled often: the gaps below are measured by when each query is seen.
        wait_for(f"{n} trend queries", lambda: len(self.market.trend_queries(mark)) >= n,
                 n * (INTERVAL_MS / 1000 + 10) + 30, every_s=0.02)
        queries = self.market.trend_queries(mark)
        got, want = [k for _, k in queries], [r["keyword"] for r in self.rows]
        if got != want:
            raise Failure(f"trend queries {got}, expected {want}")
        seen = [self.market.seen_at[i] for i, _ in queries]
        gaps = [b - a for a, b in zip(seen, seen[1:])] or [0]
        if min(gaps) < INTERVAL_MS / 1000 - 0.3:
            raise Failure(f"trend queries came {min(gaps):.2f} s apart, below the interval")
        say(f"{n} trend queries in row order, {min(gaps):.2f}-{max(gaps):.2f} s apart")

    def export(self):
        # The last row is read one interval after its query, so an export can
        # come before it: export again until the file holds every row's figures.
        csv_path = self.work / f"{SEED}.csv"
        attempts = 0

        def exported_whole():
            nonlocal attempts
            attempts += 1
            self.desktop.click("exportButton")
            self.desktop.answer(self.desktop.message_box())
            wait_for(csv_path.name, csv_path.exists, 30)
            if check_export(csv_path, self.rows) == "done":
                return True
            say(f"export #{attempts} came before the last rows were indexed; again")
            csv_path.unlink()
            return False
        wait_for("the last rows to be indexed", exported_whole,
                 INTERVAL_MS / 1000 + 60, every_s=1)
        say(f"{csv_path.name}: header and {len(self.rows)} rows with counts and nine figures")

    def save_screenshot(self):
        shot = Path(self.args.work_dir) / "person_session.png"
        self.desktop.screenshot(shot)
        say(f"screenshot {shot}")
        if os.environ.get("QUILLA_E2E_SCREENSHOT"):
            target = self.source_dir / os.environ["QUILLA_E2E_SCREENSHOT"]
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(shot, target)
            say(f"screenshot saved as {target}")

    def save_chart_screenshot(self):
        if not os.environ.get("QUILLA_E2E_CHART_SCREENSHOT"):
            return
        self.desktop.xdotool("windowfocus", str(self.desktop.window))
        self.desktop.xdotool("key", "ctrl+g")
        chart = wait_for("the chart window",
                         lambda: next(iter(self.desktop.windows_named("^图表 - Quilla$")), None), 30)
        target = self.source_dir / os.environ["QUILLA_E2E_CHART_SCREENSHOT"]
        target.parent.mkdir(parents=True, exist_ok=True)
        self.desktop.screenshot(target, chart)
        say(f"chart window saved as {target}")
        # Closed again: it would stand over the buttons that follow.
        with x11.Display(self.desktop.display) as d:
            d.ask_to_close(chart)
        wait_for("the chart window to close",
                 lambda: chart not in self.desktop.windows_named("^图表 - Quilla$"), 20)

    def feedback_and_home(self):
        self.desktop.click("feedbackButton")
        box = self.desktop.message_box()
        time.sleep(1)  # a handler started before the box closes would have logged by now
        if opened(self.open_log):
            raise Failure(f"opened {opened(self.open_log)} while the feedback message was open")
        self.desktop.answer(box)
        wait_for("the contact link", lambda: len(opened(self.open_log)) >= 1, 15)
        say("feedback: message answered, then the contact link opened")
        self.desktop.click("homePageButton")
        wait_for("the home page", lambda: len(opened(self.open_log)) >= 2, 15)
        say("by:tarnick: the home page opened")

    def close(self):
        with x11.Display(self.desktop.display) as d:
            d.ask_to_close(self.desktop.window)
        # The rows are in no project: the window asks first; 不保存 is Alt+N.
        self.desktop.answer(self.desktop.message_box(), key="alt+n")
        say("closing: asked whether to save the rows, answered 不保存")
        try:
            status = self.program.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within 60 s of closing its window")
        if status != 0:
            raise Failure(f"the program ended with status {status} after its window closed")
        wait_for("the promotion link", lambda: len(opened(self.open_log)) >= 3, 15)
        time.sleep(0.5)  # room for a stray fourth call to show
        got = opened(self.open_log)
        want = [["1", as_opened(self.expected[k])] for k in ("contact", "home", "promotion")]
        if got != want:
            raise Failure("the desktop was asked to open:\n" +
                          "\n".join(f"  {g}" for g in got) + "\nexpected:\n" +
                          "\n".join(f"  {w}" for w in want))
        say("closing: the promotion link opened and the program ended with status 0")
        # The fake marketplace ends on SIGTERM with status 0; under the leak
        # checker a leak of its own would give another status.
        self.market_process.terminate()
        try:
            status = self.market_process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("the fake marketplace did not end within 60 s of SIGTERM")
        if status != 0:
            raise Failure(f"the fake marketplace ended with status {status}")


def tail(path, lines):
    if not path.exists():
        return f"  ({path.name}: none)"
    text = path.read_text(encoding="utf-8", errors="replace").splitlines()[-lines:]
    return "\n".join(f"  {l}" for l in text)


def main():
    parser = argparse.ArgumentParser()
    for name in ("quilla", "fake-market", "expected", "source-dir", "work-dir"):
        parser.add_argument(f"--{name}", required=True)
    args = parser.parse_args()

    def on_signal(signum, _frame):
        raise Failure(f"stopped by signal {signum}" if signum != signal.SIGALRM
                      else f"over the overall limit of {OVERALL_LIMIT_S} s")
    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGALRM):
        signal.signal(s, on_signal)
    signal.alarm(OVERALL_LIMIT_S)

    scratch = Path(tempfile.mkdtemp(prefix="quilla-e2e."))
    procs = Processes()
    person = None
    try:
        person = PersonSession(args, procs, scratch)
        person.run()
        say("passed")
        shutil.rmtree(scratch, ignore_errors=True)
        return 0
    except Skip as e:
        print(f"SKIPPED: {e}", flush=True)
        shutil.rmtree(scratch, ignore_errors=True)
        return SKIP
    except (Failure, subprocess.SubprocessError, OSError, x11.XError) as e:
        print(f"FAILED: {e}", flush=True)
        desktop = person.desktop if person else None
        if desktop is not None and desktop.window is not None:
            shot = Path(args.work_dir) / "person_session-failure.png"
            try:
                desktop.screenshot(shot)
                print(f"screen at the failure: {shot}")
            except (subprocess.SubprocessError, OSError, Failure, x11.XError):
                pass
        print(f"program log (tail):\n{tail(scratch / 'quilla.log', 30)}")
        print(f"fake marketplace requests (tail):\n{tail(scratch / 'fake_market.log', 15)}")
        print(f"opened:\n{tail(scratch / 'opened.log', 10)}")
        print(f"scratch folder kept: {scratch}", flush=True)
        return 1
    finally:
        signal.alarm(0)
        procs.stop_all()


if __name__ == "__main__":
    sys.exit(main())
