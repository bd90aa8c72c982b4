#!/usr/bin/python3
"""End-to-end test of the real program.

Starts Korvan under Xvfb with a window manager and the accessibility bus,
sets the default destination and switches the defaults on through the
panel's menu, drags three files from a drag source of our own onto the panel
through the X server's drag and drop, reads the main window's rows through
the accessibility bus, runs the queue, and checks the copies on disk. It also
checks that a failed task stays queued with the run's account shown and
runs again from "运行结果", that the panel stays above a maximised window,
and that "关闭" ends the program.

usage: e2e_drop_and_run.py KORVAN DRAG_SOURCE   (run inside dbus-run-session)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

KORVAN, DRAG_SOURCE = sys.argv[1], sys.argv[2]
TMP = tempfile.mkdtemp(prefix="korvan-e2e-")
HOME = os.path.join(TMP, "home")
SRC = os.path.join(TMP, "src")
procs = []
ENV = {}
WM_LOG = None
WM = None


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def wait_for(what, fn, timeout=15.0, step=0.1):
    end = time.time() + timeout
    while time.time() < end:
        value = fn()
        if value:
            return value
        time.sleep(step)
    raise Failure("timed out waiting for " + what)


def start(args, **kw):
    p = subprocess.Popen(args, env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)
    procs.append(p)
    return p


def xdo(*args):
    return subprocess.run(["xdotool", *map(str, args)], env=ENV, check=True,
                          capture_output=True, text=True).stdout


def windows_named(pattern):
    """Visible windows whose name matches pattern (none is no error)."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern], env=ENV,
                         capture_output=True, text=True).stdout
    return out.split()


def start_display():
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    procs.append(xvfb)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise Failure("Xvfb did not start")
        number += chunk
    os.close(r)
    return ":" + number.decode().strip()


def make_files():
    os.makedirs(HOME)
    os.makedirs(SRC)
    files = {}
    for name, size in [("报告 一.txt", 1500), ("photo.jpg", 300000), ("notes.md", 2048)]:
        path = os.path.join(SRC, name)
        data = os.urandom(size)
        with open(path, "wb") as f:
            f.write(data)
        files[path] = data
    return files


# --- accessibility ------------------------------------------------------

def korvan_app():
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Korvan":
            return app
    return None


def find(node, pred, depth=0):
    if node is None or depth > 12:
        return None
    try:
        if pred(node):
            return node
        for i in range(node.childCount):
            hit = find(node.getChildAtIndex(i), pred, depth + 1)
            if hit is not None:
                return hit
    except Exception:
        return None
    return None


def queue_rows():
    """The main window's queue as a list of rows of six texts."""
    app = korvan_app()
    tree = find(app, lambda n: n.getRoleName() == "tree" and n.name == "要移动的文件队列")
    if tree is None:
        return None
    # Rows may go while they are read (a run's end removes them): then the
    # caller asks again.
    try:
        table = tree.queryTable()
        rows = []
        for r in range(table.nRows):
            rows.append([table.getAccessibleAt(r, c).name for c in range(table.nColumns)])
    except AttributeError:
        return None
    return rows


def press_button(window_name, caption):
    def button():
        app = korvan_app()
        win = find(app, lambda n: n.name == window_name and n.getRoleName() in ("dialog", "frame", "filler", "window"))
        return win and find(win, lambda n: n.getRoleName() == "push button" and n.name == caption)
    b = wait_for("the button %s in %s" % (caption, window_name), button)
    action = b.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "Press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def window_open(name):
    app = korvan_app()
    return find(app, lambda n: n.name == name and n.getRoleName() in ("dialog", "frame", "filler", "window")) is not None


# --- the panel and its menu ----------------------------------------------

def panel_window():
    for wid in windows_named("^Korvan$"):
        geo = xdo("getwindowgeometry", "--shell", wid)
        values = dict(line.split("=", 1) for line in geo.split())
        if values["WIDTH"] == "37" and values["HEIGHT"] == "36":
            return wid, int(values["X"]) + 18, int(values["Y"]) + 18
    return None


def panel_menu(downs):
    """Opens the panel menu with a right click and picks the entry reached by
    pressing Down `downs` times (separators are skipped)."""
    _, x, y = wait_for("the panel", panel_window)
    xdo("mousemove", x, y)
    time.sleep(0.2)
    xdo("click", 3)
    time.sleep(0.5)
    for _ in range(downs):
        xdo("key", "Down")
        time.sleep(0.05)
    xdo("key", "Return")
    time.sleep(0.5)


# Entries of the panel menu, counted in Down presses from a fresh menu.
SET_DESTINATION, START_ALL, USE_DEFAULTS, CLOSE = 4, 2, 6, 11


def drag_onto_panel(files):
    src = start([DRAG_SOURCE, *files])
    wait_for("the drag source", lambda: windows_named("korvan-drag-source"))
    time.sleep(0.5)
    _, px, py = wait_for("the panel", panel_window)
    x, y = 170, 400
    xdo("mousemove", x, y)
    time.sleep(0.2)
    xdo("mousedown", 1)
    steps = 25
    for i in range(1, steps + 1):
        xdo("mousemove", x + (px - x) * i // steps, y + (py - y) * i // steps)
        time.sleep(0.04)
    time.sleep(0.3)
    xdo("mousemove", px + 1, py)
    time.sleep(0.3)
    xdo("mouseup", 1)
    time.sleep(0.5)
    src.terminate()


def stacking():
    out = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"], env=ENV, capture_output=True,
                         text=True).stdout
    return [int(w, 16) for w in out.split("#", 1)[1].replace(",", " ").split()] if "#" in out else []


def main():
    global ENV
    files = make_files()
    display = start_display()
    ENV = dict(os.environ, DISPLAY=display, HOME=HOME, XDG_DATA_HOME=os.path.join(HOME, ".local/share"),
               XDG_CONFIG_HOME=os.path.join(HOME, ".config"), QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANG="C.UTF-8", LC_ALL="C.UTF-8")
    ENV.pop("QT_SCALE_FACTOR", None)
    runtime = os.path.join(TMP, "run")
    os.makedirs(runtime, mode=0o700)
    ENV["XDG_RUNTIME_DIR"] = runtime
    os.environ.update({k: ENV[k] for k in ("DISPLAY", "XDG_RUNTIME_DIR")})
    global WM_LOG, WM
    WM_LOG = os.path.join(TMP, "openbox.log")
    with open(WM_LOG, "wb") as log:
        WM = subprocess.Popen(["openbox"], env=ENV, stdout=log, stderr=log)
    procs.append(WM)
    # The window manager announces itself on the root window once it runs;
    # the stacking checks below mean nothing without it.
    wait_for("the window manager", lambda: "window id #" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=ENV, capture_output=True, text=True).stdout)
    start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    time.sleep(1)
    korvan = start([KORVAN])
    wait_for("Korvan on the accessibility bus", korvan_app, timeout=20)
    wait_for("the panel", panel_window)

    # The default destination: the picker opens at the home folder.
    panel_menu(SET_DESTINATION)
    wait_for("the destination picker", lambda: window_open("保存到的目录"))
    press_button("保存到的目录", "确定")
    wait_for("the picker to close", lambda: not window_open("保存到的目录"))
    panel_menu(USE_DEFAULTS)

    drag_onto_panel(list(files))
    rows = wait_for("three queued rows", lambda: (queue_rows() or []) if len(queue_rows() or []) == 3 else None)
    names = [r[0] for r in rows]
    check(names == [os.path.basename(p) for p in files], "queued names %r" % names)
    check(all(r[2] in files for r in rows), "queued sources %r" % [r[2] for r in rows])
    check(all(r[3] == HOME + "/" for r in rows), "destinations %r" % [r[3] for r in rows])
    check(all(r[4] == "复制" for r in rows), "modes %r" % [r[4] for r in rows])
    check(rows[0][1] == "1.48", "size of a 1500-byte file: %r" % rows[0][1])

    panel_menu(START_ALL)
    for path, data in files.items():
        target = os.path.join(HOME, os.path.basename(path))
        wait_for("the copy " + target, lambda: os.path.exists(target) and os.path.getsize(target) == len(data),
                 timeout=30)
        with open(target, "rb") as f:
            check(f.read() == data, "content of " + target)
        check(os.path.exists(path), "the source of a copy stays: " + path)
    wait_for("the queue emptied after the run", lambda: queue_rows() == [])

    # A task that fails stays queued, the run's account opens, and
    # "重新运行失败的任务" runs it again once the cause is gone.
    gone = os.path.join(SRC, "gone.txt")
    with open(gone, "wb") as f:
        f.write(b"back again")
    drag_onto_panel([gone])
    wait_for("the fourth task queued", lambda: len(queue_rows() or []) == 1)
    os.remove(gone)
    panel_menu(START_ALL)
    press_button("文件操作出错", "确定")
    wait_for("the run's account", lambda: window_open("运行结果"))
    rows = wait_for("the queue read after the run", queue_rows)
    check([r[2] for r in rows] == [gone], "the failed task stays queued: %r" % rows)
    account = find(korvan_app(), lambda n: n.name == "每个任务的结果")
    text = account.queryText().getText(0, -1) if account is not None else ""
    check("【失败】" in text and gone in text, "the account names the failed task: %r" % text)
    with open(gone, "wb") as f:
        f.write(b"back again")
    press_button("运行结果", "重新运行失败的任务")
    wait_for("the retried copy", lambda: os.path.exists(os.path.join(HOME, "gone.txt")), timeout=30)
    wait_for("the queue emptied after the retry", lambda: queue_rows() == [])

    # The panel stays above a maximised window.
    start([DRAG_SOURCE, "--maximized"])

    def managed_pair():
        # Both ids are looked up afresh on every try: the window manager
        # lists a new window only once it has managed it, which takes longer
        # on a busy machine, and a window's id is only known once it shows.
        bigs = windows_named("korvan-maximized")
        found = panel_window()
        order = stacking()
        if not bigs or found is None:
            return None
        listed = [int(w) for w in bigs if int(w) in order]
        big, panel = (listed or [int(bigs[0])])[0], int(found[0])
        if big not in order or panel not in order:
            # Raised to the top of the ordinary windows, as a click on it would.
            subprocess.run(["xdotool", "windowraise", str(big)], env=ENV, capture_output=True)
            return None
        return big, panel

    try:
        big, panel = wait_for("both windows in the stacking list", managed_pair, timeout=30, step=0.25)
    except Failure as e:
        wm_alive = WM.poll() is None
        with open(WM_LOG, errors="replace") as log:
            wm_said = log.read()[-2000:]
        raise Failure("%s (maximised %r, panel %r, stacking %r, window manager running: %s, it said: %r)"
                      % (e, windows_named("korvan-maximized"), panel_window(), [hex(w) for w in stacking()],
                         wm_alive, wm_said))
    subprocess.run(["xdotool", "windowraise", str(big)], env=ENV, capture_output=True)
    time.sleep(0.5)  # let the raise settle before judging the order
    order = stacking()
    check(order.index(panel) > order.index(big), "the panel is above the maximised window")

    panel_menu(CLOSE)
    try:
        korvan.wait(timeout=15)
    except subprocess.TimeoutExpired:
        raise Failure("Korvan did not end on 关闭")
    check(korvan.returncode == 0, "exit status %d" % korvan.returncode)


if __name__ == "__main__":
    status = 0
    try:
        main()
        print("e2e: 1 passed, 0 failed")
    except Failure as e:
        status = 1
        shot = os.path.join(tempfile.gettempdir(), "korvan-e2e-failure.png")
        try:
            subprocess.run(["import", "-window", "root", shot], env=ENV, capture_output=True, timeout=10)
            print("FAIL:", e, "(screen saved to %s)" % shot)
        except (OSError, subprocess.TimeoutExpired):
            print("FAIL:", e)
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        shutil.rmtree(TMP, ignore_errors=True)
    sys.exit(status)
