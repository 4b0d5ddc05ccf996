#!/usr/bin/env python3
"""The README's picture of 查宝贝数: the window maximised on a 1366 x 768 screen.

Starts Xvfb with that screen, the fake marketplace and build/quilla behind it
(as the end-to-end test does), pastes thirty keywords of a seller's own list
through the clipboard (xdotool cannot type Chinese), queries their index,
fetches their item counts with Ctrl+B, and saves the window as a PNG.

    tools/counts_screenshot.py [--out docs/counts.png] [--build build]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(SOURCE / "tests/e2e"))
import person_session as e2e  # noqa: E402

SCREEN = (1366, 768)
INTERVAL_MS = 300
KEYWORDS = [
    "连衣裙", "连衣裙女夏", "碎花连衣裙", "雪纺连衣裙", "长款连衣裙", "法式连衣裙",
    "吊带连衣裙", "白色连衣裙", "黑色连衣裙", "针织连衣裙", "牛仔连衣裙", "衬衫连衣裙",
    "收腰连衣裙", "显瘦连衣裙", "大码连衣裙", "孕妇连衣裙", "度假连衣裙", "小个子连衣裙",
    "复古连衣裙", "气质连衣裙", "polo连衣裙", "背心裙", "半身裙", "a字裙",
    "百褶裙", "包臀裙", "开叉连衣裙", "无袖连衣裙", "短袖连衣裙", "棉麻连衣裙",
]

# Owns the clipboard for as long as it runs, so the program can read it.
CLIPBOARD_OWNER = """
import sys, tkinter
root = tkinter.Tk()
root.withdraw()
root.clipboard_clear()
root.clipboard_append(sys.stdin.read())
root.update()
print("ready", flush=True)
root.after(int(sys.argv[1]) * 1000, root.destroy)
root.mainloop()
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default="docs/counts.png")
    parser.add_argument("--build", default="build")
    args = parser.parse_args()
    build = (SOURCE / args.build).resolve()
    quilla, market = build / "quilla", build / "fake_market"
    for program in (quilla, market):
        if not program.exists():
            sys.exit(f"{program} is missing: cmake --build {args.build} --target quilla fake_market")
    if shutil.which("xdotool") is None:
        sys.exit("xdotool is missing (Debian package xdotool)")

    procs = e2e.Processes()
    scratch = Path(tempfile.mkdtemp(prefix="quilla-counts-"))
    try:
        display = e2e.start_x_server(procs, scratch, f"{SCREEN[0]}x{SCREEN[1]}x24")
        out, log = scratch / "fake_market.out", scratch / "fake_market.log"
        procs.start("fake_market", [str(market), "--port", "0", "--verbose"],
                    stdout=open(out, "wb"), stderr=open(log, "wb"))
        requests = e2e.MarketLog(log)
        port = e2e.wait_for("the fake marketplace's port", lambda: re.search(
            r"^listening 127\.0\.0\.1:(\d+)$", out.read_text(), re.M), 20).group(1)
        dirs = [scratch / n for n in ("bin", "home", "runtime", "work")]
        for d in dirs:
            d.mkdir(mode=0o700)
        shutil.copy(SOURCE / "tests/e2e/xdg-open", dirs[0] / "xdg-open")
        env = e2e.program_env(display, port, dirs[0], dirs[1], dirs[2], scratch / "opened.log")
        program = procs.start("quilla", [str(quilla)], cwd=dirs[3], env=env,
                              stdout=subprocess.DEVNULL, stderr=open(scratch / "quilla.log", "wb"))
        desktop = e2e.Desktop(display, e2e.control_spots(SOURCE))

        def shown():
            if program.poll() is not None:
                sys.exit(f"the program ended with status {program.returncode}")
            found = desktop.windows_named("^" + re.escape(e2e.TITLE) + "$")
            return found[0] if len(found) == 1 else None
        desktop.window = e2e.wait_for("the window", shown, 60, every_s=0.25)
        win = str(desktop.window)
        # No window manager: the window is maximised by filling the screen.
        desktop.xdotool("windowmove", win, "0", "0")
        desktop.xdotool("windowsize", win, str(SCREEN[0]), str(SCREEN[1]))
        e2e.wait_for("the maximised window",
                     lambda: desktop.geometry(desktop.window)[2:] == SCREEN, 20)
        desktop.type_into("intervalBox", str(INTERVAL_MS))

        owner = subprocess.Popen([sys.executable, "-c", CLIPBOARD_OWNER, "30"],
                                 env=dict(os.environ, DISPLAY=display), stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, text=True)
        owner.stdin.write("\n".join(KEYWORDS))
        owner.stdin.close()
        if owner.stdout.readline().strip() != "ready":
            sys.exit("the clipboard could not be set")
        # Into the result table, then Ctrl+V.
        desktop.xdotool("mousemove", "--window", win, "300", "300", "click", "1")
        desktop.xdotool("key", "ctrl+v")
        time.sleep(1)
        owner.terminate()
        owner.wait(timeout=10)

        mark = len(requests.targets())
        desktop.click("indexButton")
        e2e.wait_for("the index queries",
                     lambda: len(requests.trend_queries(mark)) >= len(KEYWORDS), 120, 0.2)
        time.sleep(INTERVAL_MS / 1000 + 1)  # the last row is read one interval later
        # With no row selected, Ctrl+B counts every row without a count.
        desktop.xdotool("key", "ctrl+b")
        e2e.wait_for("the item counts",
                     lambda: len(requests.searched(mark)) >= len(KEYWORDS), 120, 0.2)
        time.sleep(1)
        # The strip between the table and the browser (at y 339 on this
        # screen) dragged down: the table shows every row.
        desktop.xdotool("mousemove", "--window", win, "600", "339", "mousedown", "1")
        for y in range(360, 661, 60):
            desktop.xdotool("mousemove", "--window", win, "600", str(y))
        desktop.xdotool("mouseup", "1")
        target = SOURCE / args.out
        target.parent.mkdir(parents=True, exist_ok=True)
        desktop.screenshot(target)
        print(f"saved {target}")
    finally:
        procs.stop_all()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
