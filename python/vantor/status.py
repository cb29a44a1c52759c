"""The running server's status file: board model, mode and whether its card
answers ("<namespace>Vantor.status" in the runtime directory, key=value lines)."""

import os
import stat

from .shm import ipc_namespace, runtime_dir


def status_path():
    return f"{runtime_dir()}/{ipc_namespace()}Vantor.status"


def _number(text):
    """The leading decimal number of text; 0 when there is none."""
    digits = ""
    for i, c in enumerate(text):
        if c.isdigit() or (i == 0 and c == "-"):
            digits += c
        else:
            break
    try:
        return int(digits)
    except ValueError:
        return 0


def read_status():
    """{"board", "mode", "pid", "boardLost", "boardLosses"} or None when there is no file."""
    # Only our own private directory and a plain file of ours are trusted: the
    # /tmp fallback is a shared place, where a FIFO would hang the read.
    try:
        d = os.stat(os.path.dirname(status_path()), follow_symlinks=False)
        if (not stat.S_ISDIR(d.st_mode) or d.st_uid != os.geteuid()
                or d.st_mode & 0o077):
            return None
        fd = os.open(status_path(), os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError:
        return None
    try:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode) or st.st_uid != os.geteuid():
            return None
        lines = os.read(fd, 8192).decode("utf-8", errors="replace").splitlines()[:16]
    except OSError:
        return None
    finally:
        os.close(fd)
    status = {"board": "", "mode": 0, "pid": 0, "boardLost": 0, "boardLosses": 0}
    keys = {"board": "board", "mode": "mode", "pid": "pid", "board_lost": "boardLost",
            "board_losses": "boardLosses"}
    for line in lines:
        key, eq, value = line.partition("=")
        if eq and key in keys:
            value = value[:128]
            status[keys[key]] = value if key == "board" else _number(value)
    return status


def process_runs(pid):
    """Whether process pid still runs (a server killed outright leaves its file behind)."""
    if pid <= 0 or pid > 0x7FFFFFFF:
        return False
    try:
        os.kill(pid, 0)
    except PermissionError:
        pass  # it runs, under another user
    except OSError:
        return False
    try:
        with open(f"/proc/{pid}/stat", encoding="utf-8", errors="replace") as f:
            line = f.readline()
    except OSError:
        return True
    close = line.rfind(")")  # the command name may hold anything
    return close < 0 or close + 2 >= len(line) or line[close + 2] != "Z"
