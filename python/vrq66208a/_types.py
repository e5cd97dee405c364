"""What the board and the chip's registers tell, as plain values."""

from __future__ import annotations

TYPE_CHECKING = False
if TYPE_CHECKING:
    from typing import Optional

# The TMDS character rate the link-margin figures are computed at unless told: 1080p60 at 8
# bits a colour.
DEFAULT_RATE_MHZ = 148.5


class _Record:
    """A small value type: its fields in order (``__slots__``), compared and shown by value,
    not changed once made. (Plain classes rather than dataclasses: importing dataclasses would
    more than double the module's import time.)"""

    __slots__: tuple[str, ...] = ()

    def __init__(self, *values: object, **named: object) -> None:
        if len(values) > len(self.__slots__):
            raise TypeError(f"{type(self).__name__} takes {len(self.__slots__)} values")
        given = dict(zip(self.__slots__, values), **named)
        for name in self.__slots__:
            if name in given:
                value = given.pop(name)
            elif name in self._defaults():
                value = self._defaults()[name]()
            else:
                raise TypeError(f"{type(self).__name__} needs {name}")
            object.__setattr__(self, name, value)
        if given:
            raise TypeError(f"{type(self).__name__} has no field {next(iter(given))}")

    @classmethod
    def _defaults(cls) -> dict:
        return {}

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"{type(self).__name__} cannot be changed")

    def _values(self) -> tuple:
        return tuple(getattr(self, name) for name in self.__slots__)

    def as_dict(self) -> dict:
        return dict(zip(self.__slots__, self._values()))

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return self._values() == other._values()  # type: ignore[attr-defined]

    def __hash__(self) -> int:
        return hash(self._values())

    def __repr__(self) -> str:
        shown = ", ".join(f"{name}={getattr(self, name)!r}" for name in self.__slots__)
        return f"{type(self).__name__}({shown})"


class Firmware(_Record):
    """The board's firmware version: ``text`` as the tools show it
    ("Firmware Version 1.2 - 2008/March/15"), ``date`` as "2008-03-15"."""

    __slots__ = ("major", "minor", "date", "text")
    major: int
    minor: int
    date: str
    text: str


class BoardInfo(_Record):
    """A board present, as ``vrq66208a-cli list`` shows it: its instance number (what
    ``open(board=...)`` takes), its device path, and its firmware, or why it cannot be used."""

    __slots__ = ("instance", "path", "opened", "firmware", "error")
    instance: int
    path: str
    opened: bool
    firmware: Optional[Firmware]
    error: Optional[str]


class Field(_Record):
    """One bit field of a register value in words: ``bits`` "7:4" or "5"."""

    __slots__ = ("bits", "name", "value", "meaning")
    bits: str
    name: str
    value: int
    meaning: str


class Register(_Record):
    """A register as ``Chip.dump`` read it. ``value`` is None, with ``error`` saying why,
    when the register did not answer."""

    __slots__ = ("register", "name", "value", "reset", "error", "fields")
    register: int
    name: str
    value: Optional[int]
    reset: int
    error: Optional[str]
    fields: list[Field]

    @classmethod
    def _defaults(cls) -> dict:
        return {"error": lambda: None, "fields": list}

    @property
    def changed(self) -> bool:
        """The value differs from the reset value (or is not known)."""
        return self.value != self.reset


class ChipFound(_Record):
    """An address that answered a read of register 0x00, and what it read: a VRQ66208A
    reads 0x31."""

    __slots__ = ("address", "register_00")
    address: int
    register_00: int

    @property
    def vrq66208a(self) -> bool:
        return self.register_00 == 0x31


def firmware_of(fields: Optional[tuple]) -> Optional[Firmware]:
    return None if fields is None else Firmware(*fields)


def fields_of(fields: list) -> list[Field]:
    return [Field(*f) for f in fields]
