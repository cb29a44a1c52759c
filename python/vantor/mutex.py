"""The block's mutex: a robust, process-shared pthread_mutex_t at offset 0 of
its own shared-memory object "<block>Mutex", taken through libc exactly as a
C reader takes it.

The server initialises the mutex and then writes a ready mark right after it;
a reader only attaches to a mutex that is ready. A holder that died is taken
over (EOWNERDEAD -> pthread_mutex_consistent). Lock and unlock from the same
thread: the mutex belongs to the thread that took it.
"""

import ctypes
import errno
import platform
import time

from .shm import VantorError, map_existing

# sizeof(pthread_mutex_t) in glibc; the ready mark follows it.
_MUTEX_BYTES = {"x86_64": 40, "aarch64": 48, "i686": 24, "i386": 24}
READY_MARK = 0x4D555458  # "MUTX"


class _Timespec(ctypes.Structure):
    _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]


_libc = ctypes.CDLL(None, use_errno=True)
for _fn in ("pthread_mutex_lock", "pthread_mutex_unlock", "pthread_mutex_consistent"):
    getattr(_libc, _fn).argtypes = [ctypes.c_void_p]
    getattr(_libc, _fn).restype = ctypes.c_int
_libc.pthread_mutex_timedlock.argtypes = [ctypes.c_void_p, ctypes.POINTER(_Timespec)]
_libc.pthread_mutex_timedlock.restype = ctypes.c_int

LOCKED, ABANDONED = "locked", "abandoned"


class ProcessMutex:
    """Attaches to the mutex object `name` ("/...Mutex"); raises VantorError
    (NotRunning when the object is missing)."""

    def __init__(self, name):
        mutex_bytes = _MUTEX_BYTES.get(platform.machine())
        if mutex_bytes is None:
            raise VantorError(f"pthread_mutex_t size unknown on {platform.machine()}")
        self.name = name
        self._map = map_existing(name, mutex_bytes + 4)
        ready = int.from_bytes(self._map[mutex_bytes : mutex_bytes + 4], "little")
        if ready != READY_MARK:
            self._map.close()
            raise VantorError(f"mutex {name} is not set up (no ready mark)")
        # Holds an export of the mapping: released again in close().
        self._anchor = ctypes.c_char.from_buffer(self._map)
        self._address = ctypes.addressof(self._anchor)

    def lock(self, timeout=5.0):
        """Waits up to timeout seconds (None: for ever). Returns LOCKED, or
        ABANDONED when the previous holder died holding it (the caller owns it
        now all the same). Raises TimeoutError or VantorError."""
        if timeout is None:
            rc = _libc.pthread_mutex_lock(self._address)
        else:
            deadline = time.time_ns() + max(0, int(timeout * 1e9))
            ts = _Timespec(deadline // 1_000_000_000, deadline % 1_000_000_000)
            rc = _libc.pthread_mutex_timedlock(self._address, ctypes.byref(ts))
        if rc == 0:
            return LOCKED
        if rc == errno.EOWNERDEAD:
            _libc.pthread_mutex_consistent(self._address)
            return ABANDONED
        if rc == errno.ETIMEDOUT:
            raise TimeoutError(f"another program has held {self.name} for {timeout:g} s")
        raise VantorError(f"cannot lock {self.name}: {errno.errorcode.get(rc, rc)}")

    def unlock(self):
        rc = _libc.pthread_mutex_unlock(self._address)
        if rc != 0:
            raise VantorError(f"cannot unlock {self.name}: {errno.errorcode.get(rc, rc)}")

    def close(self):
        if self._map is not None and not self._map.closed:
            del self._anchor
            self._map.close()
