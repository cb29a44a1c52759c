"""The package against the real server: the same values as vantorctl, the
server's own mutex, a reader killed holding it, and a peer from Python."""

import json
import os
import signal
import subprocess
import sys
import time
import unittest

import support
from vantor import Block, Peer

SERVER = None
CLEANUP = None


def setUpModule():
    global SERVER, CLEANUP
    CLEANUP = support.isolate()
    try:
        SERVER = support.Server()
    except Exception:
        CLEANUP()
        raise


def tearDownModule():
    SERVER.stop()
    CLEANUP()


def all_stopped(pid):
    """Whether every thread of process pid is stopped (state T)."""
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/stat") as f:
            stat = f.read()
        if stat[stat.rfind(")") + 2] != "T":
            return False
    return True


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # A peer that keeps channel 7 sampled, so the rings move.
        cls.peer = Peer("pyreader", analog="7:5")
        cls.peer.connect()
        end = time.monotonic() + support.PATIENCE
        while cls.peer.port is None and time.monotonic() < end:
            cls.peer.receive(0.1)
        assert cls.peer.port is not None, "no PORT message for the test's peer"
        cls.block = Block()

    @classmethod
    def tearDownClass(cls):
        cls.block.close()
        cls.peer.disconnect()
        cls.peer.close()

    def next_index(self, channel):
        return self.block.snapshot().ring(channel)[1]

    def advances(self, channel):
        self.peer.connect()  # refreshed, so it never ages out however long the tests run
        first = self.next_index(channel)
        return support.eventually(lambda: self.next_index(channel) != first)

    def test_values_equal_those_of_vantorctl(self):
        self.assertEqual(support.run("vantorctl", "set-output", "7", "1").returncode, 0)
        self.assertEqual(support.run("vantorctl", "hold", "2", "1").returncode, 0)
        self.block.set_output(9, 1)
        self.block.set_counter_hold(1, 1)
        try:
            self.assertEqual(self.block.outputs()[7], 1)
            self.assertEqual(self.block.counter_holds(), [0, 1, 1, 0])
            ours = support.run("vantor.py", "dump", "--json", "--samples", "1023")
            theirs = support.run("vantorctl", "dump", "--json", "--samples", "1023")
            self.assertEqual(ours.returncode, 0, ours.stderr)
            self.assertEqual(theirs.returncode, 0, theirs.stderr)
            ours, theirs = json.loads(ours.stdout), json.loads(theirs.stdout)
            text = [support.run(p, "dump").stdout for p in ("vantor.py", "vantorctl")]
            self.assertEqual(text[0].split("\nring")[0], text[1].split("\nring")[0])
            self.assertEqual(list(ours), list(theirs))
            self.assertEqual(theirs["digitalOutRequest"][9], 1)
            self.assertEqual(theirs["counterHold"], [0, 1, 1, 0])
            self.assertEqual(ours["server"]["pid"], SERVER.process.pid)
            # Only the rings of the tests' peers (7, 11, 12) move between the two reads.
            rings = zip(ours.pop("analogRing"), theirs.pop("analogRing"))
            still = [(a, b) for a, b in rings if a["next"] == b["next"]]
            self.assertGreaterEqual(len(still), 13)
            for a, b in still:
                self.assertEqual(a, b)
            self.assertEqual(ours, theirs)
        finally:
            self.block.set_output(7, 0)
            self.block.set_output(9, 0)
            self.block.set_counter_hold(1, 0)
            self.block.set_counter_hold(2, 0)

    def test_holding_the_mutex_holds_the_server(self):
        self.assertTrue(self.advances(7))
        with self.block.locked() as buf:
            before = bytes(buf)
            time.sleep(0.3)  # the server samples every few milliseconds
            self.assertEqual(bytes(buf), before)
        self.assertTrue(self.advances(7))

    def test_reader_killed_holding_the_mutex_stops_neither_server_nor_next_reader(self):
        holder = subprocess.Popen(
            [sys.executable, "-c",
             "import time, vantor\n"
             "held = vantor.Block().locked()\n"
             "held.__enter__()\n"
             "print('held', flush=True)\n"
             "time.sleep(600)\n"],
            stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "held")
            # The server stopped away from the mutex, so the next reader is
            # the one to find it abandoned.
            SERVER.process.send_signal(signal.SIGSTOP)
            self.assertTrue(support.eventually(lambda: all_stopped(SERVER.process.pid)))
        finally:
            os.kill(holder.pid, signal.SIGKILL)
            holder.wait()
            holder.stdout.close()
        try:
            with Block() as next_reader:
                self.assertGreater(next_reader.snapshot().fill(7), 0)
                self.assertTrue(next_reader.took_over_abandoned)
                next_reader.snapshot()
                self.assertFalse(next_reader.took_over_abandoned)
        finally:
            SERVER.process.send_signal(signal.SIGCONT)
        self.assertTrue(self.advances(7))
        self.assertIsNone(SERVER.process.poll())
        self.assertEqual(support.run("vantorctl", "dump").returncode, 0)

    def test_a_peer_from_python_gets_its_channels_sampled(self):
        with Peer("pyprobe", analog=[(11, 20)], din=[2]) as p:
            p.connect()
            end = time.monotonic() + support.PATIENCE
            text = None
            while text is None and time.monotonic() < end:
                text = p.receive(0.1)
            self.assertEqual(text, f"PORT,pyprobe,{p.port}")
            self.assertEqual(p.listening, [p.port])
            self.assertTrue(support.eventually(lambda: self.block.snapshot().fill(11) > 0))
            first = self.next_index(11)
            self.assertTrue(support.eventually(lambda: self.next_index(11) != first))
            self.assertEqual(len(self.block.newest(11, 20)), 20)
        r = support.run("vantor.py", "peer", "--name", "pycli", "--analog", "12", "--show",
                        "--duration", "3")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("PORT,pycli,", r.stdout)
        self.assertRegex(r.stdout, r"values: a12=[-0-9.e+]+#\d+")
        self.assertTrue(r.stdout.endswith("DISCONNECT sent\n"))

    def test_watch_prints_count_objects(self):
        r = support.run("vantor.py", "watch", "--json", "--count", "2", "--interval", "10")
        self.assertEqual(r.returncode, 0, r.stderr)
        first, end = json.JSONDecoder().raw_decode(r.stdout)
        second = json.loads(r.stdout[end:])
        self.assertEqual((first["size"], second["size"]), (65900, 65900))


if __name__ == "__main__":
    unittest.main()
