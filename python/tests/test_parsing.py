"""Block images, packets and PORT texts as bytes: defined results for any
input, and the command line's refusals (no server needed)."""

import random
import struct
import unittest

import support
from vantor import layout, peer
from vantor.layout import BLOCK_SIZE, RING_SLOTS, Snapshot


def image_with_ring(channel, oldest, next_, samples):
    data = bytearray(BLOCK_SIZE)
    off = layout.ring_offset(channel)
    struct.pack_into("<ii", data, off, oldest, next_)
    struct.pack_into(f"<{len(samples)}f", data, off + 8, *samples)
    return Snapshot(data)


class RingTest(unittest.TestCase):
    def test_newest_first_across_the_wrap_and_garbage_indices_reduced(self):
        snap = image_with_ring(3, 5, 2, [float(i) for i in range(RING_SLOTS)])
        self.assertEqual(snap.fill(3), 1021)
        self.assertEqual(list(snap.newest(3, 4)), [1.0, 0.0, 1023.0, 1022.0])
        self.assertEqual(len(snap.newest(3, 5000)), 1021)
        # Indices as a broken writer may leave them: reduced as unsigned words.
        snap = image_with_ring(0, -1, 1024 + 2, [7.0, 8.0, 9.0])
        self.assertEqual(snap.fill(0), 3)
        self.assertEqual(list(snap.newest(0, 10)), [8.0, 7.0, 0.0])
        self.assertEqual(len(image_with_ring(15, 4, 4, []).newest(15, 10)), 0)
        with self.assertRaises(ValueError):
            snap.newest(16, 1)


class PacketTest(unittest.TestCase):
    def test_connect_packet_carries_text_and_lists(self):
        lists = {"analog": peer._as_list("analog", "3:20, 5"), "counter": [(300, 0), (303, 0)],
                 "din": [(1, 0)]}
        packet = peer.build_packet(peer.build_request(
            peer.connect_text(" probe1 ", peer_count=5, peer_extra=7), lists))
        self.assertEqual(len(packet), peer.NEG_PACKET_BYTES)
        head, code, length = struct.unpack_from("<I8xii", packet, 0)
        self.assertEqual((head, code, length), (0x55AAAA55, 993, 836))
        self.assertEqual(struct.unpack_from("<I", packet, 2068)[0], 0xFFEEFFEE)
        self.assertEqual(peer.parse_packet(packet), "CONNECT,probe1,vantor-python,127.0.0.1,5,7")
        req = packet[20:]
        self.assertEqual(struct.unpack_from("<i4i", req, 512), (2, 300, 303, 0, 0))
        self.assertEqual(struct.unpack_from("<i2i", req, 532), (1, 1, -1))
        self.assertEqual(struct.unpack_from("<i", req, 668)[0], 2)
        self.assertEqual(struct.unpack_from("<2i", req, 672), (20, 0))
        self.assertEqual(struct.unpack_from("<3i", req, 736), (3, 5, -1))
        self.assertEqual(struct.unpack_from("<i", req, 800)[0], 0)

    def test_bad_names_and_lists_are_refused(self):
        for bad in ("16", "-1", "3:0", "3:1001", "x", "3,3", "3,", "3:", ",3", "5_0"):
            with self.assertRaises(ValueError, msg=bad):
                peer.parse_channel_list(bad, 0, 15, True)
        with self.assertRaisesRegex(ValueError, "only for analog"):
            peer.parse_channel_list("200:5", 200, 207, False)
        for name in ("a,b", "n" * 128, "  "):
            with self.assertRaises(ValueError, msg=name):
                peer.connect_text(name)
        with self.assertRaisesRegex(ValueError, "counter: "):
            peer.Peer("ok", counter="300,301,302,303,300")

    def test_port_texts(self):
        self.assertEqual(peer.parse_port_text(" port ,Probe1,9003"), ("Probe1", 9003))
        for text in ("PORT,a", "PORT,a,", "PORT,a,x", "CONNECT,a,9000", ""):
            self.assertIsNone(peer.parse_port_text(text), text)
        self.assertTrue(peer.same_name("Probe1", "pROBE1"))


class GarbageTest(unittest.TestCase):
    """Random and truncated bytes give a value or a defined refusal, never
    another exception and never an index outside the data."""

    def test_random_block_images_packets_and_port_texts(self):
        rng = random.Random(20261207)
        for _ in range(300):
            size = rng.choice([0, 1, 100, BLOCK_SIZE - 1, BLOCK_SIZE, BLOCK_SIZE + 9])
            data = rng.randbytes(size)
            if size < BLOCK_SIZE:
                with self.assertRaises(ValueError):
                    Snapshot(data)
                continue
            snap = Snapshot(data)
            self.assertEqual(len(snap.inputs + snap.outputs), 32)
            self.assertEqual(len(snap.frequencies), 8)
            self.assertEqual(len(snap.counters + snap.counter_holds), 8)
            for ch in range(16):
                self.assertLessEqual(len(snap.newest(ch, 1023)), snap.fill(ch))
        good = peer.build_packet(peer.build_request("PORT,probe,9000"))
        for _ in range(2000):
            kind = rng.randrange(3)
            if kind == 0:
                datagram = rng.randbytes(rng.randrange(0, 2100))
            elif kind == 1:
                datagram = good[: rng.randrange(0, len(good) + 1)]
            else:
                datagram = bytearray(good)
                for _ in range(rng.randrange(1, 20)):
                    datagram[rng.randrange(20, 532)] = rng.randrange(256)
            text = peer.parse_packet(datagram)
            if text is None:
                continue
            self.assertLessEqual(len(text.encode("utf-8", "surrogateescape")), 512)
            result = peer.parse_port_text(text)
            self.assertTrue(result is None or (isinstance(result[0], str) and
                                               -1000000 <= result[1] <= 1000000))
        # A short datagram reads as if the missing bytes were zero.
        self.assertEqual(peer.parse_packet(good[:40]), "PORT,probe,9000")
        self.assertIsNone(peer.parse_packet(good[:13]))


class CommandLineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cleanup = support.isolate()  # a namespace where no server runs

    @classmethod
    def tearDownClass(cls):
        cls.cleanup()

    def test_no_server_and_bad_arguments_end_with_2_and_say_why(self):
        r = support.run("vantor.py", "dump")
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("is the server running?", r.stderr)
        self.assertIn(f"/dev/shm/vp{__import__('os').getpid()}_NXSharedMemory", r.stderr)
        for args, why in ((["dump", "--samples", "1024"], "--samples must be 0..1023"),
                          (["watch", "--interval", "5"], "--interval must be"),
                          (["peer", "--name", "a,b"], "peer name"),
                          (["peer", "--name", "a", "--analog", "16"], "analog: '16'"),
                          (["frobnicate"], "invalid choice"), ([], "subcommand is required")):
            r = support.run("vantor.py", *args)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn(why, r.stderr, args)
        for sub in ("dump", "watch", "peer"):
            r = support.run("vantor.py", sub, "--help")
            self.assertEqual(r.returncode, 0)
            self.assertIn("usage:", r.stdout)


if __name__ == "__main__":
    unittest.main()
