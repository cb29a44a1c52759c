"""A reader of the shared data block, going in exactly as every reader must:
attach by name, take the block's mutex, copy whole regions, release."""

import struct
from contextlib import contextmanager

from .layout import (BLOCK_NAME, BLOCK_SIZE, COUNTERS, DIGITAL_LINES, OFF_COUNTER_HOLD,
                     OFF_DIGITAL_OUT_REQUEST, RING_BYTES, Snapshot, ring_newest, ring_offset)
from .mutex import ABANDONED, ProcessMutex
from .shm import VantorError, map_existing, shm_name


class Block:
    """The server's block and its mutex, attached on construction.

    Raises NotRunning when there is no block in this namespace, VantorError
    when it exists but cannot be used. Every access waits at most
    lock_timeout seconds for the mutex (TimeoutError after that), so a
    program that sits on it never hangs the reader."""

    def __init__(self, lock_timeout=5.0):
        self.name = shm_name(BLOCK_NAME)
        self.lock_timeout = lock_timeout
        # True when the last access found the mutex abandoned by a dead holder.
        self.took_over_abandoned = False
        self._map = map_existing(self.name, BLOCK_SIZE)
        try:
            self._mutex = ProcessMutex(self.name + "Mutex")
        except Exception:
            self._map.close()
            raise

    def close(self):
        self._mutex.close()
        self._map.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @contextmanager
    def locked(self):
        """Holds the mutex for a with-block and yields the mapped block (a
        writable buffer). Keep it short: never sleep or wait while holding it."""
        self.took_over_abandoned = self._mutex.lock(self.lock_timeout) == ABANDONED
        try:
            yield self._map
        finally:
            self._mutex.unlock()

    def _copy(self, offset, length):
        with self.locked() as buf:
            return buf[offset : offset + length]

    def snapshot(self):
        """The whole block, copied in one piece under the mutex."""
        return Snapshot(self._copy(0, BLOCK_SIZE))

    def newest(self, channel, n):
        """Up to n newest samples of analog channel 0..15, newest first, as array('f')."""
        return ring_newest(self._copy(ring_offset(channel), RING_BYTES), n)

    # One region each; take one snapshot() to see several regions of one moment.
    def inputs(self):
        return self.snapshot().inputs

    def outputs(self):
        return self.snapshot().outputs

    def frequencies(self):
        return self.snapshot().frequencies

    def counters(self):
        return self.snapshot().counters

    def counter_holds(self):
        return self.snapshot().counter_holds

    def _write_word(self, offset, value):
        with self.locked() as buf:
            struct.pack_into("<i", buf, offset, value)

    def set_output(self, line, level):
        """Requests a level on digital output line 0..15 (digitalOutRequest)."""
        if not 0 <= line < DIGITAL_LINES:
            raise VantorError(f"output line must be 0..{DIGITAL_LINES - 1} (got {line})")
        self._write_word(OFF_DIGITAL_OUT_REQUEST + 4 * line, level)

    def set_counter_hold(self, counter, value):
        """Holds (1) or releases (0) counter 0..3 (counter id 300 + counter)."""
        if not 0 <= counter < COUNTERS:
            raise VantorError(f"counter must be 0..{COUNTERS - 1} (got {counter})")
        self._write_word(OFF_COUNTER_HOLD + 4 * counter, value)
