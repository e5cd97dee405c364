"""What the board and the chip's registers tell, as plain values."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Optional


@dataclass(frozen=True)
class Firmware:
    """The board's firmware version: ``text`` as the tools show it
    ("Firmware Version 1.2 - 2008/March/15"), ``date`` as "2008-03-15"."""

    major: int
    minor: int
    date: str
    text: str


@dataclass(frozen=True)
class BoardInfo:
    """A board present, as ``vrq66208a-cli list`` shows it: its instance number (what
    ``open(board=...)`` takes), its device path, and its firmware, or why it cannot be used."""

    instance: int
    path: str
    opened: bool
    firmware: Optional[Firmware]
    error: Optional[str]


@dataclass(frozen=True)
class Field:
    """One bit field of a register value in words: ``bits`` "7:4" or "5"."""

    bits: str
    name: str
    value: int
    meaning: str


@dataclass(frozen=True)
class Register:
    """A register as ``Chip.dump`` read it. ``value`` is None, with ``error`` saying why,
    when the register did not answer."""

    register: int
    name: str
    value: Optional[int]
    reset: int
    error: Optional[str] = None
    fields: list[Field] = field(default_factory=list)

    @property
    def changed(self) -> bool:
        """The value differs from the reset value (or is not known)."""
        return self.value != self.reset


@dataclass(frozen=True)
class ChipFound:
    """An address that answered a read of register 0x00, and what it read: a VRQ66208A
    reads 0x31."""

    address: int
    register_00: int

    @property
    def vrq66208a(self) -> bool:
        return self.register_00 == 0x31


def firmware_of(fields: Optional[tuple]) -> Optional[Firmware]:
    return None if fields is None else Firmware(*fields)


def fields_of(fields: list) -> list[Field]:
    return [Field(*f) for f in fields]
