"""A peer of the negotiation link (docs/peer-protocol.md): CONNECT with
channel lists to 127.0.0.1:8998, PORT messages on a port of 9000-9021,
DISCONNECT when done. The packet building and parsing here do no I/O."""

import re
import select
import socket
import struct

NEG_HEAD_MARK = 0x55AAAA55
NEG_TAIL_MARK = 0xFFEEFFEE
NEG_CODE_REQUEST = 993
NEG_CODE_REQUEST_ALT = 990
NEG_PACKET_BYTES = 2072
NEG_DATA_OFFSET = 20
NEG_DATA_BYTES = 2048
REQUEST_BYTES = 836
TEXT_BYTES = 512
SERVER_PORT = 8998
FIRST_PEER_PORT = 9000
MAX_PEERS = 22
PEER_NAME_BYTES = 128
PEER_HOST_BYTES = 64
SAMPLE_BUFFER_SIZE = 1000

# (keyword, lowest id, highest id, list size, samples per read allowed)
LISTS = {
    "analog": (0, 15, 16, True),
    "freq": (200, 207, 8, False),
    "counter": (300, 303, 4, False),
    "din": (0, 15, 16, False),
    "dout": (0, 15, 16, False),
}

_INT = re.compile(r"\s*[+-]?[0-9]+")


def _parse_int(text):
    """A decimal number with spaces around it, within +-1,000,000; else None."""
    t = text.strip(" ")
    if not _INT.fullmatch(t):
        return None
    value = int(t)
    return value if -1000000 <= value <= 1000000 else None


def parse_channel_list(text, min_id, max_id, samples_allowed):
    """"id[:samples],..." -> [(id, samples)] (samples 0: the server's default).
    An empty text is an empty list. Raises ValueError with the reason."""
    out = []
    if not text.strip(" "):
        return out
    if text.endswith(","):
        raise ValueError("a list must not end with ','")
    for item in text.split(","):
        head, colon, tail = item.partition(":")
        ident = _parse_int(head)
        if ident is None or not min_id <= ident <= max_id:
            raise ValueError(f"'{item}' is not a channel {min_id}..{max_id}")
        samples = 0
        if colon:
            if not samples_allowed:
                raise ValueError(f"'{item}': samples per read only for analog channels")
            samples = _parse_int(tail)
            if samples is None or not 1 <= samples <= SAMPLE_BUFFER_SIZE:
                raise ValueError(f"'{item}': samples per read must be 1..1000")
        if any(seen == ident for seen, _ in out):
            raise ValueError(f"channel {ident} is listed twice")
        out.append((ident, samples))
    return out


def _as_list(what, value):
    """A list given as text ("3:20,5") or as ids and (id, samples) pairs."""
    min_id, max_id, size, samples_allowed = LISTS[what]
    try:
        if isinstance(value, str):
            items = parse_channel_list(value, min_id, max_id, samples_allowed)
        else:
            text = ",".join(f"{v[0]}:{v[1]}" if isinstance(v, tuple) else str(v) for v in value)
            items = parse_channel_list(text, min_id, max_id, samples_allowed)
    except ValueError as e:
        raise ValueError(f"{what}: {e}") from None
    if len(items) > size:
        raise ValueError(f"{what}: at most {size} channels")
    return items


def _text_field(text):
    raw = text.encode("utf-8", "surrogateescape")[: TEXT_BYTES - 1]
    return raw.ljust(TEXT_BYTES, b"\0")


def build_request(text, lists=None):
    """The 836-byte request: text and channel lists ({"analog": [(id, samples)], ...});
    unused ids are -1, unused counter ids 0."""
    lists = lists or {}
    out = bytearray(_text_field(text))

    def put(items, size, fill, with_samples=False):
        ids = [i for i, _ in items] + [fill] * (size - len(items))
        out.extend(struct.pack("<i", len(items)))
        if with_samples:
            samples = [n for _, n in items] + [0] * (size - len(items))
            out.extend(struct.pack(f"<{size}i", *samples))
        out.extend(struct.pack(f"<{size}i", *ids))

    put(lists.get("counter", []), 4, 0)
    put(lists.get("din", []), 16, -1)
    put(lists.get("dout", []), 16, -1)
    put(lists.get("analog", []), 16, -1, with_samples=True)
    put(lists.get("freq", []), 8, -1)
    assert len(out) == REQUEST_BYTES
    return bytes(out)


def build_packet(request):
    """One 2,072-byte datagram carrying a request (code 993)."""
    head = struct.pack("<IIHHii", NEG_HEAD_MARK, 0, 0, 0, NEG_CODE_REQUEST, len(request))
    data = request.ljust(NEG_DATA_BYTES, b"\0")
    return head + data + struct.pack("<I", NEG_TAIL_MARK)


def parse_packet(datagram):
    """The request text of a received datagram, or None when its code carries
    no request. A short datagram reads as if the missing bytes were zero, a
    long one is cut; the text ends at its first NUL or after 512 bytes."""
    packet = bytes(datagram[:NEG_PACKET_BYTES]).ljust(NEG_PACKET_BYTES, b"\0")
    (code,) = struct.unpack_from("<i", packet, 12)
    if code not in (NEG_CODE_REQUEST, NEG_CODE_REQUEST_ALT):
        return None
    text = packet[NEG_DATA_OFFSET : NEG_DATA_OFFSET + TEXT_BYTES].split(b"\0", 1)[0]
    return text.decode("utf-8", "surrogateescape")


def parse_port_text(text):
    """(name, port) of a PORT message text, or None when it is not one."""
    fields = text.split(",")
    if len(fields) < 3 or fields[0].strip(" ").lower() != "port":
        return None
    port = _parse_int(fields[2])
    return None if port is None else (fields[1], port)


def same_name(a, b):
    """Names compare ignoring ASCII case, as the server compares them."""
    def fold(s):
        return s.encode("utf-8", "surrogateescape").lower()
    return fold(a) == fold(b)


def connect_text(name, host="127.0.0.1", program="vantor-python", peer_count=1, peer_extra=0):
    """The CONNECT text; raises ValueError for a name or host the server cannot keep."""
    name = name.strip(" ")
    if not name or "," in name or len(name.encode("utf-8", "surrogateescape")) >= PEER_NAME_BYTES:
        raise ValueError("the peer name must be 1..127 bytes without ','")
    if not host or "," in host or len(host.encode("utf-8", "surrogateescape")) >= PEER_HOST_BYTES:
        raise ValueError("the host must be 1..63 bytes without ','")
    if "," in program:
        raise ValueError("the program field must not hold ','")
    return f"CONNECT,{name},{program},{host},{peer_count},{peer_extra}"


class Peer:
    """A peer: Peer("probe1", analog="3:20,5") or Peer("probe1", analog=[3, (5, 20)]).

    Listens on every free port of 9000-9021 until the first PORT message that
    names it, then keeps only that port (self.port). Raises ValueError for
    bad names or lists. Use as a context manager: DISCONNECT on exit."""

    def __init__(self, name, host="127.0.0.1", peer_count=1, peer_extra=0, **lists):
        unknown = set(lists) - set(LISTS)
        if unknown:
            raise TypeError(f"unknown channel lists: {', '.join(sorted(unknown))}")
        parsed = {what: _as_list(what, value) for what, value in lists.items()}
        self.name = name.strip(" ")
        self.lists = parsed
        self._connect = build_packet(build_request(
            connect_text(name, host, peer_count=peer_count, peer_extra=peer_extra), parsed))
        self.port = None
        self._sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._listeners = {}
        for port in range(FIRST_PEER_PORT, FIRST_PEER_PORT + MAX_PEERS):
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                s.bind(("127.0.0.1", port))
                self._listeners[port] = s
            except OSError:
                s.close()

    @property
    def listening(self):
        """The ports held for PORT messages (all free ones until the first arrives)."""
        return sorted(self._listeners)

    def _send(self, request):
        return self._sender.sendto(build_packet(request), ("127.0.0.1", SERVER_PORT)) \
            == NEG_PACKET_BYTES

    def connect(self):
        """Sends CONNECT; repeat it within 21 s or the server drops the peer."""
        return self._sender.sendto(self._connect, ("127.0.0.1", SERVER_PORT)) == NEG_PACKET_BYTES

    def disconnect(self):
        return self._send(build_request(f"DISCONNECT,{self.name}"))

    def receive(self, timeout):
        """Waits up to timeout seconds for a PORT message naming this peer;
        returns its text, or None. Other datagrams are skipped."""
        ready, _, _ = select.select(list(self._listeners.values()), [], [], timeout)
        for port, s in list(self._listeners.items()):
            if s not in ready:
                continue
            try:
                text = parse_packet(s.recv(NEG_PACKET_BYTES + 1))
            except OSError:
                continue
            port_message = parse_port_text(text) if text is not None else None
            if port_message is None or not same_name(port_message[0], self.name):
                continue  # another peer's message on a port held while listening widely
            if self.port is None:
                self.port = port
                for other in [p for p in self._listeners if p != port]:
                    self._listeners.pop(other).close()
            return text
        return None

    def close(self):
        for s in self._listeners.values():
            s.close()
        self._listeners = {}
        self._sender.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        try:
            self.disconnect()
        finally:
            self.close()
