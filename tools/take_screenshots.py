#!/usr/bin/python3
"""Takes the README's screenshots from the real program.

Starts Korvan under Xvfb with openbox and the accessibility bus (the same
way as the end-to-end test, whose helpers it borrows), sets a default
destination, switches the defaults on, hands it three files as
`korvan PATH…` would, and saves the screen: docs/screenshot-queue.png.
Then it starts the queue, whose first file is large enough to be copied
for a few seconds, and saves the screen while the copy runs:
docs/screenshot-run.png.

usage: dbus-run-session -- /usr/bin/python3 tools/take_screenshots.py KORVAN [OUT_DIR] [SCALE]
Needs xwd (x11-apps) and xwdtopnm/pnmtopng (netpbm), which the program
itself does not.
"""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
KORVAN = os.path.abspath(sys.argv[1])
OUT = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(HERE, "..", "docs")
SCALE = sys.argv[3] if len(sys.argv) > 3 else "1"

sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.argv = [sys.argv[0], KORVAN, ""]
import e2e_drop_and_run as e2e  # noqa: E402


def start_display(width, height):
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % (width, height),
                             "-nolisten", "tcp"], pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    e2e.procs.append(xvfb)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise e2e.Failure("Xvfb did not start")
        number += chunk
    os.close(r)
    return ":" + number.decode().strip()


def shell_geometry(window):
    values = dict(line.split("=", 1) for line in e2e.xdo("getwindowgeometry", "--shell", window).split())
    return {k: int(v) for k, v in values.items() if v.lstrip("-").isdigit()}


def panel_window():
    """The panel at any scale: the one small square "Korvan" window."""
    for wid in e2e.windows_named("^Korvan$"):
        g = shell_geometry(wid)
        if g["WIDTH"] < 100 and g["HEIGHT"] < 100 and abs(g["WIDTH"] - g["HEIGHT"]) < 4:
            return wid, g["X"] + g["WIDTH"] // 2, g["Y"] + g["HEIGHT"] // 2
    return None


e2e.panel_window = panel_window


def grab(name):
    path = os.path.join(OUT, name)
    xwd = subprocess.run(["xwd", "-root", "-silent"], env=e2e.ENV, capture_output=True, check=True).stdout
    pnm = subprocess.run(["xwdtopnm"], input=xwd, capture_output=True, check=True).stdout
    png = subprocess.run(["pnmtopng", "-compression", "9"], input=pnm, capture_output=True, check=True).stdout
    with open(path, "wb") as f:
        f.write(png)
    print("saved", path)


def main():
    os.makedirs(OUT, exist_ok=True)
    src = os.path.join(e2e.TMP, "src")
    os.makedirs(src)
    files = [os.path.join(src, n) for n in ("家庭视频.mp4", "报告 2026.pdf", "照片")]
    # The video is big enough for the copy to take a few seconds.
    with open(files[0], "wb") as f:
        for _ in range(64):
            f.write(os.urandom(32 * 1024 * 1024))
    with open(files[1], "wb") as f:
        f.write(os.urandom(300 * 1024))
    os.makedirs(files[2])
    for i in range(3):
        with open(os.path.join(files[2], "IMG_%04d.jpg" % i), "wb") as f:
            f.write(os.urandom(200 * 1024))

    # A screen as large as the windows need at this scale.
    display = start_display(int(800 * float(SCALE)), int(800 * float(SCALE)))
    home = e2e.HOME
    os.makedirs(os.path.join(home, "备份"), exist_ok=True)
    e2e.ENV = dict(os.environ, DISPLAY=display, HOME=home, XDG_DATA_HOME=os.path.join(home, ".local/share"),
                   XDG_CONFIG_HOME=os.path.join(home, ".config"), QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANG="C.UTF-8", LC_ALL="C.UTF-8", QT_SCALE_FACTOR=SCALE)
    runtime = os.path.join(e2e.TMP, "run")
    os.makedirs(runtime, mode=0o700)
    e2e.ENV["XDG_RUNTIME_DIR"] = runtime
    os.environ.update({k: e2e.ENV[k] for k in ("DISPLAY", "XDG_RUNTIME_DIR")})
    e2e.start(["openbox"])
    e2e.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    # The windows get their frames only when the window manager is up first.
    e2e.wait_for("the window manager", lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=e2e.ENV, capture_output=True, text=True).stdout)
    time.sleep(1)
    e2e.start([KORVAN])
    e2e.wait_for("Korvan on the accessibility bus", e2e.korvan_app, timeout=20)
    e2e.wait_for("the panel", e2e.panel_window)
    if os.environ.get("KORVAN_SHOT_EMPTY"):
        time.sleep(1)
        grab("screenshot-empty.png")

    e2e.panel_menu(e2e.SET_DESTINATION)
    e2e.wait_for("the destination picker", lambda: e2e.window_open("保存到的目录"))
    e2e.press_button("保存到的目录", "确定")
    e2e.wait_for("the picker to close", lambda: not e2e.window_open("保存到的目录"))
    e2e.panel_menu(e2e.USE_DEFAULTS)

    # A second start hands its paths over, as "open with" would.
    subprocess.run([KORVAN, *files], env=e2e.ENV, check=True, timeout=20)
    e2e.wait_for("three queued rows", lambda: len(e2e.queue_rows() or []) == 3 or None)
    time.sleep(1)
    grab("screenshot-queue.png")

    e2e.panel_menu(e2e.START_ALL)
    window = e2e.wait_for("the progress window", lambda: e2e.windows_named("正在复制") or None, timeout=20)[0]
    # The window opens over the main window; it goes just below it, where
    # both are seen. (Under Xvfb a progress window left over the main window
    # stays black: an open fault, seen nowhere else yet.)
    time.sleep(0.5)
    main = [w for w in e2e.windows_named("^Korvan$") if shell_geometry(w)["WIDTH"] > 200][0]
    below = shell_geometry(main)
    e2e.xdo("windowmove", window, below["X"], below["Y"] + below["HEIGHT"] + int(30 * float(SCALE)))
    time.sleep(0.7)
    grab("screenshot-run.png")

if __name__ == "__main__":
    status = 0
    try:
        main()
    except e2e.Failure as e:
        print("FAIL:", e)
        status = 1
    finally:
        for p in reversed(e2e.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        import shutil
        shutil.rmtree(e2e.TMP, ignore_errors=True)
    sys.exit(status)
