"""python3 -m vantor dump|watch|peer: the reading subcommands of vantorctl,
with the same options, output and exit codes."""

import argparse
import os
import signal
import sys
import time

from . import dumpformat
from .peer import SERVER_PORT, Peer
from .reader import Block
from .shm import NotRunning, VantorError, ipc_namespace
from .status import process_runs, read_status

EXIT_OK, EXIT_FAILURE, EXIT_USAGE = 0, 1, 2
PROG = "python3 -m vantor"
CLEAR_SCREEN = "\x1b[H\x1b[2J"


class _Stop:
    """SIGINT/SIGTERM end a loop cleanly; a second one ends the program at once."""

    def __init__(self):
        self.requested = False
        self._old = {}

    def __enter__(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            self._old[sig] = signal.signal(sig, self._handle)
        return self

    def _handle(self, signum, _frame):
        if self.requested:
            signal.signal(signum, signal.SIG_DFL)
            signal.raise_signal(signum)
        self.requested = True

    def __exit__(self, *exc):
        for sig, old in self._old.items():
            signal.signal(sig, old)

    def sleep(self, seconds):
        end = time.monotonic() + seconds
        while not self.requested and time.monotonic() < end:
            time.sleep(min(0.05, max(0.0, end - time.monotonic())))


def _error(text):
    print(f"{PROG}: {text}", file=sys.stderr)


def _attach():
    """The attached block, or the exit code to end with after saying why not."""
    try:
        return Block()
    except NotRunning as e:
        _error(f"no shared data block: is the server running? (namespace '{ipc_namespace()}'; "
               f"{e})")
        return EXIT_USAGE
    except VantorError as e:
        _error(f"cannot attach to the shared data block: {e}")
        return EXIT_FAILURE


def _read(block):
    """A snapshot, or None after saying why not."""
    try:
        snap = block.snapshot()
    except (TimeoutError, VantorError) as e:
        _error(f"cannot read the shared data block: {e}; try again")
        return None
    if block.took_over_abandoned:
        _error("note: a program died while holding the block's mutex; it was taken over")
    return snap


def _dump_once(block, args):
    snap = _read(block)
    if snap is None:
        return False
    server, ended = read_status(), 0
    if server and not process_runs(server["pid"]):
        server, ended = None, server["pid"]
    if args.json:
        text = dumpformat.format_json(snap, block.name, ipc_namespace(), server, args.samples)
    else:
        text = dumpformat.format_text(snap, block.name, ipc_namespace(), server, ended,
                                      args.samples)
    sys.stdout.write(text)
    sys.stdout.flush()
    return True


def _check_samples(args):
    if 0 <= args.samples <= dumpformat.MAX_SHOWN_SAMPLES:
        return True
    _error(f"{args.command}: --samples must be 0..{dumpformat.MAX_SHOWN_SAMPLES} "
           f"(got {args.samples})")
    return False


def run_dump(args):
    if not _check_samples(args):
        return EXIT_USAGE
    block = _attach()
    if isinstance(block, int):
        return block
    with block:
        return EXIT_OK if _dump_once(block, args) else EXIT_FAILURE


def run_watch(args):
    if not _check_samples(args):
        return EXIT_USAGE
    if not 10 <= args.interval <= 3600000:
        _error(f"watch: --interval must be 10..3600000 ms (got {args.interval})")
        return EXIT_USAGE
    if args.count < 0:
        _error(f"watch: --count must be 0 or more (got {args.count})")
        return EXIT_USAGE
    block = _attach()
    if isinstance(block, int):
        return block
    tty = sys.stdout.isatty()
    with block, _Stop() as stop:
        shown = 0
        while args.count == 0 or shown < args.count:
            if shown > 0:
                stop.sleep(args.interval / 1000)
                if stop.requested:
                    break
            if tty:
                sys.stdout.write(CLEAR_SCREEN)
            elif shown > 0:
                sys.stdout.write("\n")
            if not _dump_once(block, args):
                return EXIT_FAILURE
            shown += 1
    return EXIT_OK


def values_line(snap, lists):
    """The newest value of each listed channel, as vantorctl peer --show prints it."""
    parts = []
    for ch, _ in lists.get("analog", []):
        newest = snap.newest(ch, 1)
        parts.append(f"a{ch}=" + (f"{newest[0]:g}#{snap.ring(ch)[1]}" if newest else "-"))
    parts += [f"f{i}={snap.frequencies[i - 200][1]:g}" for i, _ in lists.get("freq", [])]
    parts += [f"c{i}={snap.counters[i - 300]:g}" for i, _ in lists.get("counter", [])]
    parts += [f"din{i}={snap.inputs[i]}" for i, _ in lists.get("din", [])]
    parts += [f"dout{i}={snap.outputs[i]}" for i, _ in lists.get("dout", [])]
    return "values:" + "".join(" " + p for p in parts) + "\n"


def run_peer(args):
    if not (0.01 <= args.every <= 3600) or not args.duration >= 0:
        _error("peer: --every must be 0.01..3600 s and --duration 0 or more")
        return EXIT_USAGE
    lists = {k: getattr(args, k) for k in ("analog", "freq", "counter", "din", "dout")}
    try:
        peer = Peer(args.name, host=args.host, peer_count=args.peer_count,
                    peer_extra=args.peer_extra, **lists)
    except ValueError as e:
        _error(f"peer: {e}")
        return EXIT_USAGE
    if not peer.listening:
        _error("peer: ports 9000-9021 are all taken: PORT messages go unheard")
    print(f"peer {peer.name}: CONNECT to 127.0.0.1:{SERVER_PORT} every {args.every:g} s",
          flush=True)
    block, warned = None, False
    with _Stop() as stop:
        start = time.monotonic()
        next_connect, next_show = start, start + 1.0
        while not stop.requested:
            now = time.monotonic()
            if args.duration > 0 and now - start >= args.duration:
                break
            if now >= next_connect:
                if not peer.connect():
                    _error("peer: CONNECT not sent")
                next_connect = now + args.every
            if args.show and now >= next_show:
                next_show = now + 1.0
                if block is None:
                    try:
                        block = Block()
                    except VantorError:
                        if not warned:
                            _error("peer: no shared data block yet")
                        warned = True
                if block is not None:
                    snap = _read(block)
                    if snap is not None:
                        print(values_line(snap, peer.lists), end="", flush=True)
            text = peer.receive(0.05)
            if text is not None:
                print(text, flush=True)
    sent = peer.disconnect()
    peer.close()
    if block is not None:
        block.close()
    print("DISCONNECT sent" if sent else "DISCONNECT could not be sent")
    return EXIT_OK if sent else EXIT_FAILURE


def parser():
    p = argparse.ArgumentParser(
        prog=PROG,
        description="Reads the shared data block of the Vantor server, under its mutex, as any "
                    "client program does, and speaks the peer link.")
    sub = p.add_subparsers(dest="command", metavar="{dump,watch,peer}")

    def samples_and_json(cmd, json_help):
        cmd.add_argument("--json", action="store_true", help=json_help)
        cmd.add_argument("--samples", type=int, default=5,
                         help="Newest samples shown per ring (0..1023, default 5).")

    dump = sub.add_parser("dump", help="Print everything in the block once.",
                          description="Print everything in the block once.")
    samples_and_json(dump, "Print one JSON object (see docs/shared-block.md).")
    watch = sub.add_parser("watch", help="Print the block again and again.",
                           description="Print the block again and again.")
    samples_and_json(watch, "Print JSON objects instead of text.")
    watch.add_argument("--interval", type=int, default=500,
                       help="Milliseconds between refreshes (default 500).")
    watch.add_argument("--count", type=int, default=0,
                       help="Refreshes to show; 0 runs until interrupted (default 0).")

    peer_help = ("Act as a peer of the server: CONNECT with channel lists, print the PORT "
                 "messages, DISCONNECT on SIGINT/SIGTERM (see docs/peer-protocol.md).")
    peer = sub.add_parser("peer", help=peer_help, description=peer_help)
    peer.add_argument("--name", required=True, help="Peer name (1..127 bytes, no ',').")
    peer.add_argument("--analog", default="",
                      help="Analog channels 0..15, e.g. 3:20,5 (channel 3 with 20 samples per "
                           "read, 5 with the server's default).")
    peer.add_argument("--freq", default="", help="Frequency ids 200..207, e.g. 200,203.")
    peer.add_argument("--counter", default="", help="Counter ids 300..303.")
    peer.add_argument("--din", default="", help="Digital input lines 0..15.")
    peer.add_argument("--dout", default="", help="Digital output lines 0..15.")
    peer.add_argument("--host", default="127.0.0.1", help="Host field of the CONNECT.")
    peer.add_argument("--every", type=float, default=5.0,
                      help="Seconds between CONNECTs (the server drops a peer silent for 21 s; "
                           "default 5).")
    peer.add_argument("--duration", type=float, default=0.0,
                      help="Seconds to run; 0 until SIGINT/SIGTERM (default 0).")
    peer.add_argument("--peer-count", type=int, default=1, help="CONNECT field 4 (default 1).")
    peer.add_argument("--peer-extra", type=int, default=0, help="CONNECT field 5 (default 0).")
    peer.add_argument("--show", action="store_true",
                      help="Print the newest values of the channels from the block every second.")
    return p


def main(argv=None):
    args = parser().parse_args(argv)  # usage errors end with 2, --help with 0
    run = {"dump": run_dump, "watch": run_watch, "peer": run_peer}.get(args.command)
    if run is None:
        _error("a subcommand is required (dump, watch, peer)\n"
               "Run with --help for more information.")
        return EXIT_USAGE
    try:
        return run(args)
    except BrokenPipeError:  # the reader of our output went away (| head)
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_FAILURE
