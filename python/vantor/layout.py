"""Layout of the shared data block "NXSharedMemory" and a parsed copy of it.

65,900 bytes, little-endian, no gaps; the offsets are those of
src/protocol/BlockLayout.h, where each one is pinned by a static_assert.
"""

import struct
import sys
from array import array

BLOCK_NAME = "NXSharedMemory"
BLOCK_SIZE = 65900
ANALOG_CHANNELS = 16
RING_SLOTS = 1024
DIGITAL_LINES = 16
FREQUENCY_SLOTS = 8
COUNTERS = 4
HEAD_MARK = 0x55AAAA55
TAIL_MARK = 0xBBEEEEBB
FIRST_FREQUENCY_ID = 200
FIRST_COUNTER_ID = 300

OFF_HEAD_MARK = 0
OFF_FIRST_RING_OFFSET = 4
OFF_DIGITAL_IN = 8
OFF_DIGITAL_OUT_REQUEST = 72
OFF_ANALOG_RING = 136
RING_BYTES = 4104  # oldest, next, 1024 float samples
OFF_RING_SAMPLES = 8
OFF_FREQUENCY_SLOT = 65800
FREQUENCY_SLOT_BYTES = 8  # resetFlag, value
OFF_COUNTER_HOLD = 65864
OFF_COUNTER_VALUE = 65880
OFF_TAIL_MARK = 65896

assert OFF_ANALOG_RING + ANALOG_CHANNELS * RING_BYTES == OFF_FREQUENCY_SLOT
assert OFF_TAIL_MARK + 4 == BLOCK_SIZE


def ring_offset(channel):
    """Byte offset of ring `channel` (0..15) in the block."""
    if not 0 <= channel < ANALOG_CHANNELS:
        raise ValueError(f"analog channel must be 0..{ANALOG_CHANNELS - 1} (got {channel})")
    return OFF_ANALOG_RING + channel * RING_BYTES


def wrap(index):
    """An index read from the block, reduced into the ring whatever a writer left there."""
    return (index & 0xFFFFFFFF) % RING_SLOTS


def ring_fill(oldest, next_):
    """Samples a ring holds (0..1023), from its stored indices."""
    return (wrap(next_) - wrap(oldest)) % RING_SLOTS


def ring_newest(ring, n):
    """Up to n newest samples of a ring image (RING_BYTES bytes: oldest, next,
    samples), newest first, as array('f')."""
    oldest, next_ = struct.unpack_from("<ii", ring, 0)
    samples = array("f", bytes(ring[OFF_RING_SAMPLES:RING_BYTES]))
    if sys.byteorder != "little":
        samples.byteswap()
    count = max(0, min(n, ring_fill(oldest, next_)))
    end = wrap(next_)
    if count <= end:
        out = samples[end - count : end]
    else:  # the newest run wraps past the ring's start
        out = samples[RING_SLOTS - (count - end) :] + samples[:end]
    out.reverse()
    return out


class Snapshot:
    """A copy of the whole block, taken in one piece under its mutex.

    Built from exactly BLOCK_SIZE bytes or more (the rest is ignored); fewer
    raise ValueError. Any content is accepted: ring indices are reduced into
    the ring, so garbage gives garbage values but never an error."""

    def __init__(self, data):
        if len(data) < BLOCK_SIZE:
            raise ValueError(f"a block image is {BLOCK_SIZE} bytes (got {len(data)})")
        self.data = bytes(data[:BLOCK_SIZE])

    def _words(self, fmt, offset):
        return struct.unpack_from("<" + fmt, self.data, offset)

    @property
    def head_mark(self):
        return self._words("I", OFF_HEAD_MARK)[0]

    @property
    def tail_mark(self):
        return self._words("I", OFF_TAIL_MARK)[0]

    @property
    def first_ring_offset(self):
        return self._words("i", OFF_FIRST_RING_OFFSET)[0]

    @property
    def inputs(self):
        """digitalIn of lines 0..15."""
        return list(self._words(f"{DIGITAL_LINES}i", OFF_DIGITAL_IN))

    @property
    def outputs(self):
        """digitalOutRequest of lines 0..15."""
        return list(self._words(f"{DIGITAL_LINES}i", OFF_DIGITAL_OUT_REQUEST))

    @property
    def frequencies(self):
        """(resetFlag, value) of frequency ids 200..207."""
        flat = self._words("if" * FREQUENCY_SLOTS, OFF_FREQUENCY_SLOT)
        return [(flat[i], flat[i + 1]) for i in range(0, len(flat), 2)]

    @property
    def counter_holds(self):
        return list(self._words(f"{COUNTERS}i", OFF_COUNTER_HOLD))

    @property
    def counters(self):
        """counterValue of counter ids 300..303."""
        return list(self._words(f"{COUNTERS}f", OFF_COUNTER_VALUE))

    def ring(self, channel):
        """(oldest, next) as stored, raw."""
        return self._words("ii", ring_offset(channel))

    def fill(self, channel):
        return ring_fill(*self.ring(channel))

    def newest(self, channel, n):
        """Up to n newest samples of a channel, newest first, as array('f')."""
        off = ring_offset(channel)
        return ring_newest(self.data[off : off + RING_BYTES], n)
