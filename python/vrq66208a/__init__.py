"""The VRQ66208A evaluation board from Python: the same board session, register map,
register files and link-margin engine as ``vrq66208a-cli``, with the same checks, the same
board lock and the same classes of failure, raised as exceptions.

    import vrq66208a as vrq

    with vrq.open(simulate=True) as chip:     # board=0, address=0x44 by default
        chip.read(0x00)                       # 0x31
        chip["Input Control"] = 0x12
        result = chip.sweep("all-active", checker_on=True)
        print(result.recommended.gains)       # {'A': 6, 'C': 10}
        result.report("margin", label="cable A, 2 m")

Every call that waits for the board lets other Python threads run. Ctrl+C stops a sweep
(after the channel's registers are put back), a verification or a monitor with
KeyboardInterrupt. ``simulate=``, ``faults=`` and ``cables=`` give simulated boards, as the
command-line tool's ``--simulate``, ``--simulate-fault`` and ``--simulate-cable`` do.
"""

from __future__ import annotations

from . import _native
from ._errors import (BadInput, BoardError, Error, MarginFailed, NoAcknowledge, OutputError,
                      PrbsWarning, ReportWarning, VerifyError)
from ._types import (DEFAULT_RATE_MHZ, BoardInfo, ChipFound, Field, Firmware, Register,
                     fields_of, firmware_of)

# The link-margin results come in on first use, and the typing module is for type checkers
# only: both keep the import quick.
TYPE_CHECKING = False
_MARGIN = ("Ber", "ChannelRecommendation", "ChannelSweep", "LinkReading", "Monitor", "Progress",
           "Reading", "Recommendation", "SegmentState", "SweepPoint", "SweepResult",
           "VerifyResult")
if TYPE_CHECKING:
    from typing import Any, Callable, Iterable, Optional, Sequence, Union

    from ._margin import (Ber, ChannelRecommendation, ChannelSweep, LinkReading, Monitor,
                          Progress, Reading, Recommendation, SegmentState, SweepPoint,
                          SweepResult, VerifyResult)

    RegisterName = Union[int, str]
    Faults = Union[str, Iterable[str], None]


def __getattr__(name: str) -> Any:
    if name in _MARGIN:
        from . import _margin
        return getattr(_margin, name)
    raise AttributeError(f"module 'vrq66208a' has no attribute '{name}'")


def __dir__() -> list[str]:
    return sorted(set(globals()) | set(_MARGIN))

__all__ = [
    "open", "list_boards", "detect", "decode", "register_names", "Chip", "Board",
    "Error", "NoAcknowledge", "BoardError", "BadInput", "VerifyError", "OutputError",
    "MarginFailed", "PrbsWarning", "ReportWarning",
    "BoardInfo", "Firmware", "Field", "Register", "ChipFound",
    "SweepResult", "ChannelSweep", "SweepPoint", "Ber", "Recommendation",
    "ChannelRecommendation", "Progress", "Monitor", "Reading", "LinkReading", "SegmentState",
    "VerifyResult", "DEFAULT_RATE_MHZ", "DEFAULT_ADDRESS",
]

DEFAULT_ADDRESS = 0x44



class Board:
    """The evaluation board a chip is on: its LED, its I2C bus clock and its firmware."""

    def __init__(self, chip: "Chip") -> None:
        self._chip = chip

    @property
    def led(self) -> bool:
        return self._chip._read_led()

    @led.setter
    def led(self, on: bool) -> None:
        self._chip._set_led(bool(on))

    @property
    def base_mhz(self) -> int:
        """The clock the bus clock is divided from."""
        return self._chip._read_clock()[0]

    @property
    def divider(self) -> int:
        """The bus clock divider, 1 to 255: bus clock = base clock / divider."""
        return self._chip._read_clock()[1]

    @divider.setter
    def divider(self, divider: int) -> None:
        self._chip._set_divider(divider)

    @property
    def clock_khz(self) -> float:
        """The I2C bus clock in kHz. Assigning sets the divider that comes nearest."""
        return self._chip._read_clock()[2]

    @clock_khz.setter
    def clock_khz(self, khz: float) -> None:
        self._chip._set_divider(self._chip._nearest_divider(khz))

    @property
    def firmware(self) -> Firmware:
        return Firmware(*self._chip._read_firmware())

    @property
    def path(self) -> str:
        return self._chip.path

    @property
    def instance(self) -> int:
        return self._chip.instance

    def __repr__(self) -> str:
        return f"Board(instance={self.instance}, path={self.path!r})"


class Chip(_native.Chip):
    """A VRQ66208A on an evaluation board, opened with ``vrq66208a.open()``.

    ``read``, ``write``, ``chip[reg]`` and ``chip[reg] = value`` take a register's address or
    its name ("Input Control"). The board stays locked against other programs until the chip
    is closed (``close()``, or the end of a ``with`` block).
    """

    def __enter__(self) -> "Chip":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return (f"<vrq66208a.Chip at 0x{self.address:02X} on board {self.instance} "
                f"({self.path}), {state}>")

    @property
    def board(self) -> Board:
        """The board's LED, bus clock and firmware."""
        return Board(self)

    def decode(self, register: RegisterName, value: Optional[int] = None) -> list[Field]:
        """The register's bit fields in words: of value, or of the chip's register."""
        if value is not None:
            return decode(register, value)
        return fields_of(self._decode(register))

    def dump(self, changed: bool = False) -> list[Register]:
        """Registers 0x00 to 0x15 with their names, values, reset values and fields (only
        those that differ from their reset value with ``changed``). Reading clears the error
        counters (0x0A to 0x0C), as every read of them does.

        When some registers do not answer, NoAcknowledge is raised with the others in its
        ``registers`` (the silent ones with value None)."""
        registers = [Register(reg, name, value, reset, error, fields_of(fields))
                     for reg, name, value, error, reset, fields in self._dump()]
        shown = [r for r in registers if r.changed] if changed else registers
        silent = sum(1 for r in registers if r.value is None)
        if silent:
            raise NoAcknowledge(
                f"{silent} of {len(registers)} registers did not answer (value None in "
                f".registers): check the chip's power and address=", registers=shown)
        return shown

    def detect(self, all: bool = False, first: bool = False) -> list[ChipFound]:
        """The 7-bit addresses 0x08 to 0x77 (0x00 to 0x7F with ``all``) that acknowledge a
        read of register 0x00, and what they read (a VRQ66208A reads 0x31). ``first`` stops
        at the first VRQ66208A, and raises NoAcknowledge (with what did answer in ``chips``)
        when none does, as ``vrq66208a-cli detect --first`` fails."""
        found = [ChipFound(address, id) for address, id in self._detect(all, first)]
        if first and not any(chip.vrq66208a for chip in found):
            low, high = (0x00, 0x7F) if all else (0x08, 0x77)
            raise NoAcknowledge(f"no chip at 0x{low:02X} to 0x{high:02X} reads 0x31 in register "
                                "0x00: check the chip's power and the bus wiring", chips=found)
        return found

    def sweep(self, channels: Union[str, Sequence[str]] = "A", *,
              rate_mhz: Optional[float] = None, pixel_clock_mhz: Optional[float] = None,
              colour_depth: Optional[int] = None, target_ber: Optional[float] = None,
              confidence: float = 0.95, dwell: Optional[float] = None,
              hysteresis: bool = False, stop_after_errors: int = 20, apply: bool = False,
              apply_hysteresis: bool = False, checker_on: bool = False,
              progress: Optional[Callable[[Progress], None]] = None) -> SweepResult:
        """Measures each receive equalization gain of one or more channels to a target bit
        error ratio and recommends the setting farthest from a failure, as
        ``vrq66208a-cli sweep`` does, through the same engine.

        ``channels``: one channel ("A"), which must be the selected one; several ("A,C" or
        ["A", "C"]), swept in turn, each selected by hand (register 0x02) for its sweep; or
        "all-active", every channel that shows a TMDS clock. With several, the recommendation
        is one hysteresis for all of them (it is shared by the four inputs: the one whose
        smallest margin across the channels is greatest) and each channel's gain at it
        (``result.recommended.gains``).

        The source must send PRBS7 on all three data links. Each point counts until its
        upper bound shows ``target_ber`` (default 1e-9) with ``confidence``, or for a fixed
        ``dwell`` in seconds, or until a link has ``stop_after_errors`` errors. The figures
        are computed at the TMDS character rate ``rate_mhz`` (default 148.5, 1080p60 at 8
        bits a colour), or ``pixel_clock_mhz`` at ``colour_depth`` bits a colour. Each
        channel needs its clock; the PRBS checker must be on, or ``checker_on=True`` turns it
        on. ``hysteresis`` sweeps each gain at off, 10 mV and 20 mV. A PrbsWarning says when
        a channel's counters ran full at once at the setting in force.

        Registers 0x02, 0x03, 0x07 and 0x08 are put back at the end, on a failure, on Ctrl+C
        and when ``progress`` raises. ``apply`` leaves the recommended gains instead (one
        transfer); for one channel the hysteresis only with ``apply_hysteresis``, for several
        the hysteresis chosen for all. ``progress(Progress)`` hears of each point as it is
        measured. ``result.report(dir)`` writes the report folder of ``sweep --report``.

        Raises MarginFailed, with the result in ``.result``, when no setting showed the
        target ratio (for several channels: at one hysteresis on every channel) or the chip
        stopped counting; BadInput, before anything is written, when a channel cannot be
        swept.
        """
        import json

        from ._margin import (ChannelSweep, Progress, SweepPoint, SweepResult, channels_of,
                              character_rate, confidence_of, ratio_of, seconds_of)
        wanted, by_hand = channels_of(channels)
        rate = character_rate(rate_mhz, pixel_clock_mhz, colour_depth)
        target = None if target_ber is None else ratio_of("target_ber", target_ber)
        seconds = None if dwell is None else seconds_of("dwell", dwell, 0.1, 3600.0)
        if isinstance(stop_after_errors, bool) or not isinstance(stop_after_errors, int) \
                or not 0 <= stop_after_errors <= 1_000_000:
            raise BadInput(f"stop_after_errors must be 0 to 1000000, not {stop_after_errors!r}")
        if apply_hysteresis and not apply:
            raise BadInput("apply_hysteresis goes with apply=True")
        heard = None
        if progress is not None:
            def heard(point: str, done: int, total: int, left: float) -> None:
                doc = json.loads(point)
                progress(Progress(SweepPoint.of(doc["channel"], doc), done, total, left))

        out = self._sweep(wanted, by_hand, rate, target, confidence_of(confidence), seconds,
                          bool(hysteresis), stop_after_errors, bool(apply),
                          bool(apply_hysteresis), bool(checker_on), heard)
        result = SweepResult([ChannelSweep.of(doc) for doc in out["json"]], out["text"],
                             out["csv"], out["applied"], out["choice"], out["record"])
        if out["state"] == "failed":
            error = MarginFailed(out["failure"], result=result)
            error.exit_code = 7
            raise error
        if result.recommended is None:
            several = len(result.channels) > 1
            raise MarginFailed(
                ("no hysteresis has a setting that showed the target ratio on every channel"
                 if several else "no setting showed the target ratio") +
                "; the registers hold their values from before", result=result)
        return result

    def verify(self, *, rate_mhz: Optional[float] = None,
               pixel_clock_mhz: Optional[float] = None, colour_depth: Optional[int] = None,
               target_ber: float = 1e-9, confidence: float = 0.95,
               limit: Optional[float] = None, checker_on: bool = False) -> VerifyResult:
        """Measures the settings in force on the selected channel until the upper bound is at
        or below ``target_ber`` (returns the result) or not within ``limit`` seconds of
        counted time (default three times what the target needs): MarginFailed, with the
        result in ``.result``. The rate and checker as for ``sweep``."""
        from ._margin import VerifyResult, character_rate, confidence_of, ratio_of, seconds_of
        rate = character_rate(rate_mhz, pixel_clock_mhz, colour_depth)
        seconds = 0.0 if limit is None else seconds_of("limit", limit, 0.1, 31536000.0)
        out = self._verify(rate, ratio_of("target_ber", target_ber), confidence_of(confidence),
                           seconds, bool(checker_on))
        result = VerifyResult.of(out["json"], out["text"])
        if not result.passed:
            error = MarginFailed(result.text, result=result)
            error.exit_code = 7
            raise error
        return result

    def monitor(self, interval: float = 1.0, duration: Optional[float] = None,
                count: Optional[int] = None, *, rate_mhz: Optional[float] = None,
                pixel_clock_mhz: Optional[float] = None, colour_depth: Optional[int] = None,
                checker_on: bool = False) -> Monitor:
        """The selected channel's PRBS error counters every ``interval`` seconds, one
        ``Reading`` per step of a ``for`` loop, in segments of one chip state, until
        ``count`` readings or ``duration`` seconds (or the loop stops). The first read only
        clears the counters, so each reading covers one interval. The rate and checker as
        for ``sweep``."""
        from ._margin import Monitor, character_rate, seconds_of
        rate = character_rate(rate_mhz, pixel_clock_mhz, colour_depth)
        every = seconds_of("interval", interval, 0.1, 3600.0)
        until = None if duration is None else seconds_of("duration", duration, 0.1, 31536000.0)
        if count is not None and (isinstance(count, bool) or not isinstance(count, int)
                                  or count < 1):
            raise BadInput(f"count must be 1 or more, not {count!r}")
        return Monitor(self._monitor(every, until, count, rate, bool(checker_on)))


def open(board: Union[int, str] = 0, address: int = DEFAULT_ADDRESS,
         simulate: Union[bool, int] = False, timeout_ms: int = 6000, retries: int = 0, *,
         force: bool = False, faults: Faults = None, cables: Optional[str] = None,
         trace: bool = False) -> Chip:
    """Opens the chip at ``address`` (7-bit, default 0x44) on board ``board`` (its instance
    number, as ``list_boards()`` shows it, or its device path) and locks the board against
    other programs until the chip is closed; use it in a ``with`` block.

    timeout_ms: how long to wait for each answer. retries: how often to repeat an exchange
    that failed on the USB side. force: allow a reserved address (0x00-0x07, 0x78-0x7F) and
    writes to read-only registers. trace: every report exchanged on standard error.

    simulate: work on simulated boards instead (True for one, or how many); faults: what
    they do wrong ("no-ack", "lost-answer", "unplug", ..., "KIND:N" for board N only), as
    ``vrq66208a-cli --simulate-fault``; cables: their input cables ("A=6,C=0xA"), as
    ``--simulate-cable``.

    Raises BoardError (none found, no such board, cannot be opened: ``reason`` says why, and
    ``holder`` names the program that has the board) and BadInput.
    """
    return Chip(board, address, simulate, timeout_ms, retries, force, faults, cables, trace)


def list_boards(simulate: Union[bool, int] = False, faults: Faults = None,
                cables: Optional[str] = None, timeout_ms: int = 6000,
                retries: int = 0) -> list[BoardInfo]:
    """Every board present, with its firmware, or why it cannot be used (in use by another
    program, no permission: the udev rule), as ``vrq66208a-cli list`` shows them. Each is
    opened and let go again. An empty list when there is none."""
    return [BoardInfo(instance, path, opened, firmware_of(firmware), error)
            for instance, path, opened, firmware, error in
            _native.list_boards(simulate, faults, cables, timeout_ms, retries)]


def detect(board: Union[int, str] = 0, *, all: bool = False, first: bool = False,
           simulate: Union[bool, int] = False, faults: Faults = None,
           cables: Optional[str] = None, timeout_ms: int = 6000,
           retries: int = 0) -> list[ChipFound]:
    """The addresses on board ``board``'s bus that answer, as ``Chip.detect``; the board is
    opened for the probe and let go again."""
    with open(board, DEFAULT_ADDRESS, simulate, timeout_ms, retries, faults=faults,
              cables=cables) as chip:
        return chip.detect(all=all, first=first)


def decode(register: RegisterName, value: int) -> list[Field]:
    """A value's bit fields in words, for registers 0x00 to 0x15; needs no board."""
    return fields_of(_native.decode(register, value))


def register_names() -> dict[str, int]:
    """Every register's name and its address."""
    return _native.register_names()
