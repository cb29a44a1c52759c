"""Reader of the Vantor server's shared data block and peer of its negotiation link.

Standard library only:

    from vantor import Block, Peer
    with Block() as block:
        snap = block.snapshot()          # the whole block, copied under its mutex
        print(snap.inputs, block.newest(3, 10))
"""

from .layout import BLOCK_SIZE, Snapshot
from .peer import Peer, parse_packet, parse_port_text
from .reader import Block
from .shm import NotRunning, VantorError

__all__ = ["BLOCK_SIZE", "Block", "NotRunning", "Peer", "Snapshot", "VantorError",
           "parse_packet", "parse_port_text"]
