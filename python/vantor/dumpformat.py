"""Text and JSON renderings of a block snapshot, line for line those of
`vantorctl dump`, so the two can be compared."""

import math

from .layout import (ANALOG_CHANNELS, BLOCK_SIZE, FIRST_COUNTER_ID, FIRST_FREQUENCY_ID,
                     RING_SLOTS)

MAX_SHOWN_SAMPLES = RING_SLOTS - 1

_MODE_WORDS = {1: "asynchronous", 2: "synchronous", 3: "asynchronous, simulated board"}


def _json_string(text):
    out = '"'
    for c in text:
        if c in '"\\':
            out += "\\" + c
        elif ord(c) < 0x20:
            out += f"\\u{ord(c):04x}"
        else:
            out += c
    return out + '"'


def _json_float(value):
    # Nine significant digits bring every float32 back exactly.
    return "%.9g" % value if math.isfinite(value) else "null"


def _ints(values):
    return "[" + ",".join(str(v) for v in values) + "]"


def _clamp(samples):
    return max(0, min(samples, MAX_SHOWN_SAMPLES))


def format_text(snap, name, namespace, server, ended_pid, samples):
    """server: the status dict of a running server or None; ended_pid: the pid
    of a status file whose server has ended (0 if none)."""
    out = [f"block {name} (namespace '{namespace}'), {BLOCK_SIZE} bytes\n"]
    if server:
        out.append(f"server: board {server['board']}, mode {server['mode']} "
                   f"({_MODE_WORDS.get(server['mode'], 'none')})\n")
        if server["boardLost"]:
            out.append("board: LOST, the card does not answer and its values are not updated "
                       f"(losses: {server['boardLosses']})\n")
        elif server["boardLosses"]:
            out.append(f"board: answering again (losses: {server['boardLosses']})\n")
    elif ended_pid:
        out.append(f"server: no running server (pid {ended_pid}, which wrote the status, "
                   "has ended)\n")
    else:
        out.append("server: no status (is the server running?)\n")
    out.append(f"marks: headMark 0x{snap.head_mark:08X}  tailMark 0x{snap.tail_mark:08X}  "
               f"firstRingOffset {snap.first_ring_offset}\n")
    for label, values in (("digitalIn", snap.inputs), ("digitalOutRequest", snap.outputs)):
        out.append(f"{label:<18} 0..7: " + " ".join(map(str, values[:8])) + "   8..15: "
                   + " ".join(map(str, values[8:])) + "\n")
    out.append("frequency  id   resetFlag  value\n")
    for i, (flag, value) in enumerate(snap.frequencies):
        out.append(f"           {FIRST_FREQUENCY_ID + i:<4} {flag:<10} {'%g' % value}\n")
    out.append("counter    id   hold       value\n")
    for i, (hold, value) in enumerate(zip(snap.counter_holds, snap.counters)):
        out.append(f"           {FIRST_COUNTER_ID + i:<4} {hold:<10} {'%g' % value}\n")
    out.append("ring       ch   oldest next fill newest first\n")
    for ch in range(ANALOG_CHANNELS):
        oldest, next_ = snap.ring(ch)
        line = f"           {ch:<4} {oldest:<6} {next_:<4} {snap.fill(ch):<4}"
        line += "".join(" %g" % v for v in snap.newest(ch, _clamp(samples)))
        out.append(line.rstrip(" ") + "\n")
    return "".join(out)


def format_json(snap, name, namespace, server, samples):
    out = ["{\n", f'  "name": {_json_string(name)},\n',
           f'  "namespace": {_json_string(namespace)},\n', f'  "size": {BLOCK_SIZE},\n']
    if server:
        out.append(f'  "server": {{"board": {_json_string(server["board"])}, '
                   f'"mode": {server["mode"]}, "pid": {server["pid"]}, '
                   f'"boardLost": {"true" if server["boardLost"] else "false"}, '
                   f'"boardLosses": {server["boardLosses"]}}},\n')
    else:
        out.append('  "server": null,\n')
    out.append(f'  "headMark": {snap.head_mark},\n')
    out.append(f'  "firstRingOffset": {snap.first_ring_offset},\n')
    out.append(f'  "tailMark": {snap.tail_mark},\n')
    out.append(f'  "digitalIn": {_ints(snap.inputs)},\n')
    out.append(f'  "digitalOutRequest": {_ints(snap.outputs)},\n')
    slots = [f'\n    {{"id": {FIRST_FREQUENCY_ID + i}, "resetFlag": {flag}, '
             f'"value": {_json_float(value)}}}' for i, (flag, value) in enumerate(snap.frequencies)]
    out.append('  "frequencySlot": [' + ",".join(slots) + "\n  ],\n")
    out.append(f'  "counterHold": {_ints(snap.counter_holds)},\n')
    out.append('  "counterValue": [' + ",".join(_json_float(v) for v in snap.counters) + "],\n")
    rings = []
    for ch in range(ANALOG_CHANNELS):
        oldest, next_ = snap.ring(ch)
        newest = ",".join(_json_float(v) for v in snap.newest(ch, _clamp(samples)))
        rings.append(f'\n    {{"channel": {ch}, "oldest": {oldest}, "next": {next_}, '
                     f'"fill": {snap.fill(ch)}, "newest": [{newest}]}}')
    out.append('  "analogRing": [' + ",".join(rings) + "\n  ]\n}\n")
    return "".join(out)
