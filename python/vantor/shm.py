"""Names of the server's shared objects and attaching to them.

Every name carries $VANTOR_IPC_NAMESPACE as a prefix (empty in production),
reduced as the server reduces it. POSIX shared-memory objects live in
/dev/shm on Linux, so an object is opened there like a file: it is only
attached, never created (a reader that made an empty block would hide that no
server runs).
"""

import errno
import mmap
import os
import stat

SHM_DIR = "/dev/shm"
_NAME_CHARS = frozenset("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.")


class VantorError(Exception):
    """A failure of this package; the text says what and why."""


class NotRunning(VantorError):
    """No shared object of that name: the server is not running (in this namespace)."""


def ipc_namespace():
    """The namespace prefix, or "" when unset. Only [A-Za-z0-9_.-] are kept, at most 64."""
    kept = [c for c in os.environ.get("VANTOR_IPC_NAMESPACE", "") if c in _NAME_CHARS]
    return "".join(kept[:64])


def shm_name(base):
    """The object name: "/" + namespace + base."""
    return "/" + ipc_namespace() + base


def runtime_dir():
    """The per-user runtime directory ($XDG_RUNTIME_DIR/vantor, else /tmp/vantor-<uid>)."""
    xdg = os.environ.get("XDG_RUNTIME_DIR", "")
    if xdg.startswith("/"):
        return xdg + "/vantor"
    return f"/tmp/vantor-{os.getuid()}"


def map_existing(name, size):
    """Maps an existing object read/write; returns the mmap.

    Refuses (VantorError) an object that is not a regular file, belongs to
    another user (root's is accepted, as the C readers do), allows more than
    0660 or is smaller than size; NotRunning when it does not exist."""
    path = SHM_DIR + name
    try:
        fd = os.open(path, os.O_RDWR | os.O_NOFOLLOW | os.O_CLOEXEC)
    except FileNotFoundError:
        raise NotRunning(f"no shared memory {name} (looked for {path})") from None
    except OSError as e:
        why = "a symbolic link" if e.errno == errno.ELOOP else os.strerror(e.errno)
        raise VantorError(f"cannot open shared memory {name}: {why}") from None
    try:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode):
            raise VantorError(f"shared memory {name} is not a regular object")
        if st.st_uid not in (os.geteuid(), 0):
            raise VantorError(
                f"shared memory {name} (owner uid {st.st_uid}, mode {st.st_mode & 0o7777:04o}) "
                f"is owned by uid {st.st_uid}, not by you (uid {os.geteuid()}): "
                "refusing to use it")
        if st.st_mode & 0o7777 & ~0o660:
            raise VantorError(
                f"shared memory {name} has mode {st.st_mode & 0o7777:04o}, more than 0660")
        if st.st_size < size:
            raise VantorError(f"shared memory {name} is smaller than expected "
                              f"({st.st_size} < {size} bytes)")
        return mmap.mmap(fd, size, mmap.MAP_SHARED, mmap.PROT_READ | mmap.PROT_WRITE)
    finally:
        os.close(fd)
