"""Link-margin results: sweeps, verifications and monitor readings, read from the documents
the command-line tool writes (``--json``), so that a script and the tool say the same thing.
"""

from __future__ import annotations

import json
import os
import pathlib
import warnings
from dataclasses import dataclass, field
from datetime import datetime
from typing import Any, Iterator, Optional, Union

from ._errors import BadInput
from ._types import DEFAULT_RATE_MHZ


@dataclass(frozen=True)
class Ber:
    """A bit error ratio and what kind of figure it is: ``"measured"`` (errors over bits, with
    its two-sided interval ``lower``..``upper``), ``"at least"`` (a counter ran full: ``value``
    is a floor, ``upper`` is None) or ``"upper bound"`` (no error: below ``upper`` with the
    confidence; ``value`` is 0)."""

    kind: str
    value: float
    lower: float
    upper: Optional[float]

    @staticmethod
    def of(doc: Optional[dict]) -> Optional["Ber"]:
        if doc is None:
            return None
        return Ber(doc["kind"], doc["value"], doc["lower"], doc["upper"])


@dataclass(frozen=True)
class SweepPoint:
    """One setting measured: ``seconds`` of counted time, ``errors`` and ``at_least`` per data
    link, time not counted by reason, and the verdict (``"pass"``, ``"fail"``, ``"short"``,
    ``"not-measured"``). It passes only when its upper bound is at or below the target."""

    channel: str
    gain: int
    hysteresis: str
    seconds: float
    wall_seconds: float
    errors: tuple[int, int, int]
    at_least: tuple[bool, bool, bool]
    uncounted: dict[str, float]
    measurements: int
    stopped_early: bool
    verdict: str
    ber: Optional[Ber]

    @property
    def passed(self) -> bool:
        return self.verdict == "pass"

    @staticmethod
    def of(channel: str, doc: dict) -> "SweepPoint":
        return SweepPoint(
            channel, doc["gain"], doc["hysteresis"], doc["seconds"], doc["wallSeconds"],
            tuple(doc["errors"]), tuple(doc["atLeast"]), dict(doc["uncounted"]),
            doc["measurements"], doc["stoppedEarly"], doc["verdict"], Ber.of(doc["ber"]))


@dataclass(frozen=True)
class ChannelRecommendation:
    """The setting recommended for one channel: the passing gain farthest in steps from any
    point that did not pass. ``margin_below``/``margin_above`` are None where the passing
    window reaches the end of the range (that side is unmeasured)."""

    channel: str
    gain: int
    hysteresis: str
    window_first: int
    window_last: int
    margin_below: Optional[int]
    margin_above: Optional[int]
    reaches_bottom: bool
    reaches_top: bool
    bound: Optional[Ber]
    equally_good: list[tuple[int, str]]

    @property
    def margin(self) -> Optional[int]:
        """The smaller measured margin in steps; None when neither side was bounded."""
        sides = [m for m in (self.margin_below, self.margin_above) if m is not None]
        return min(sides) if sides else None

    @staticmethod
    def of(channel: str, doc: Optional[dict]) -> Optional["ChannelRecommendation"]:
        if doc is None:
            return None
        return ChannelRecommendation(
            channel, doc["gain"], doc["hysteresis"], doc["windowFirst"], doc["windowLast"],
            doc["marginBelow"], doc["marginAbove"], doc["reachesBottom"], doc["reachesTop"],
            Ber.of(doc["bound"]), [(e["gain"], e["hysteresis"]) for e in doc["equallyGood"]])


@dataclass(frozen=True)
class Recommendation:
    """The recommended setting of a sweep: one hysteresis (it is shared by all four inputs)
    and a gain for each channel swept, with each channel's window and margins."""

    hysteresis: str
    channels: dict[str, ChannelRecommendation]

    @property
    def gains(self) -> dict[str, int]:
        return {letter: r.gain for letter, r in self.channels.items()}

    @property
    def gain(self) -> int:
        """The gain, for a sweep of one channel (``gains`` for several)."""
        if len(self.channels) != 1:
            raise ValueError("this sweep recommends a gain per channel: use .gains")
        return next(iter(self.channels.values())).gain

    @property
    def margin(self) -> Optional[int]:
        """The smallest measured margin across the channels; None when none is bounded."""
        margins = [r.margin for r in self.channels.values() if r.margin is not None]
        return min(margins) if margins else None


@dataclass(frozen=True)
class ChannelSweep:
    """One channel's sweep: its settings, the setting before it (``current``, what was put
    back), every point, and its recommendation. ``document`` is the command-line tool's JSON
    document for it (format ``vrq66208a-sweep``)."""

    channel: str
    settings: dict[str, Any]
    current: tuple[int, str]
    complete: bool
    failure: Optional[str]
    points: list[SweepPoint]
    recommendation: Optional[ChannelRecommendation]
    other_hysteresis: Optional[ChannelRecommendation]
    document: str = field(repr=False)

    @staticmethod
    def of(document: str) -> "ChannelSweep":
        doc = json.loads(document)
        if doc.get("format") != "vrq66208a-sweep" or doc.get("version") != 1:
            raise BadInput("not a sweep document of version 1 (format vrq66208a-sweep)")
        channel = doc["settings"]["channel"]
        return ChannelSweep(
            channel, doc["settings"], (doc["current"]["gain"], doc["current"]["hysteresis"]),
            doc["complete"], doc["failure"], [SweepPoint.of(channel, p) for p in doc["points"]],
            ChannelRecommendation.of(channel, doc["recommendation"]),
            ChannelRecommendation.of(channel, doc["otherHysteresis"]), document)


class SweepResult:
    """What a sweep measured, for one or more channels.

    ``recommended`` is the setting to use (None when no setting showed the target ratio),
    ``points`` every point of every channel in the order measured, ``channels`` each
    channel's sweep by letter. ``to_json()`` gives the command-line tool's document for each
    channel, one a line; ``to_csv()`` its CSV; ``str()`` the map it prints; ``report(dir)``
    the folder ``sweep --report DIR`` writes.
    """

    def __init__(self, channels: list[ChannelSweep], text: str = "", csv: str = "",
                 applied: bool = False, choice: Optional[list[Optional[str]]] = None,
                 record: Any = None) -> None:
        self.channels: dict[str, ChannelSweep] = {c.channel: c for c in channels}
        self.applied = applied
        self._text = text
        self._csv = csv
        self._record = record
        # Several channels swept in one run: the engine's setting of each at the one
        # hysteresis chosen for all of them (None for a channel with none there).
        self._choice: Optional[dict[str, Optional[ChannelRecommendation]]] = None
        if choice:
            self._choice = {c.channel: ChannelRecommendation.of(c.channel, json.loads(doc))
                            if doc else None for c, doc in zip(channels, choice)}

    @classmethod
    def from_json(cls, text: str) -> "SweepResult":
        """A sweep saved with ``to_json()`` (or by ``vrq66208a-cli sweep --json``: its last
        line), back."""
        documents = [line for line in text.splitlines()
                     if line.strip() and '"vrq66208a-sweep-point"' not in line]
        if not documents:
            raise BadInput("no sweep document in the text")
        return cls([ChannelSweep.of(d) for d in documents])

    @property
    def points(self) -> list[SweepPoint]:
        return [p for c in self.channels.values() for p in c.points]

    @property
    def complete(self) -> bool:
        return all(c.complete for c in self.channels.values())

    @property
    def failure(self) -> Optional[str]:
        failures = [c.failure for c in self.channels.values() if c.failure]
        return "; ".join(failures) if failures else None

    @property
    def recommended(self) -> Optional[Recommendation]:
        """The setting to use. With several channels swept in one run, one hysteresis for all
        (the one whose smallest margin across them is greatest) and each channel's gain at it;
        None unless every channel has a passing setting there."""
        if self._choice is not None:
            return self._joined(lambda c: self._choice.get(c.channel))
        return self._joined(lambda c: c.recommendation)

    @property
    def other_hysteresis(self) -> Optional[Recommendation]:
        """With the hysteresis swept: the best setting at another hysteresis, when its margin
        is greater than the recommendation's (applying it changes all four inputs)."""
        return self._joined(lambda c: c.other_hysteresis)

    def _joined(self, pick: Any) -> Optional[Recommendation]:
        chosen = {letter: pick(c) for letter, c in self.channels.items()}
        if not chosen or any(r is None for r in chosen.values()):
            return None
        first = next(iter(chosen.values()))
        if any(r.hysteresis != first.hysteresis for r in chosen.values()):
            return None  # read back: the run's choice of one hysteresis for all is not known
        return Recommendation(first.hysteresis, chosen)

    def report(self, dir: Union[str, "os.PathLike[str]"], *, label: str = "",
               note: str = "") -> pathlib.Path:
        """Writes the report folder ``vrq66208a-cli sweep --report DIR`` writes: index.html
        (opens offline), the plots as PNG, points.csv and run.json with the run's metadata
        (start and end, host, board, firmware, chip address, registers before and after) and
        ``label`` and ``note`` (cable, fixture, temperature). Returns the page's path.

        The plots are drawn by the library the programs' package installs (vrq66208a): without
        it the rest is written and the page says why, and so does a ReportWarning. OutputError
        when the folder cannot be written; BadInput for a result read back from JSON, which
        lacks the run's metadata."""
        if self._record is None:
            raise BadInput("only a sweep measured by this module writes a report: a result "
                           "read back from JSON lacks the run's metadata")
        folder = pathlib.Path(dir)
        missing = self._record.write(str(folder), str(label), str(note))
        if missing:
            from ._errors import ReportWarning
            warnings.warn(f"the report in {folder} has no plots: {missing}", ReportWarning, 2)
        return folder / "index.html"

    def to_json(self) -> str:
        return "\n".join(c.document for c in self.channels.values())

    def to_csv(self) -> str:
        return self._csv

    def __str__(self) -> str:
        return self._text

    def __repr__(self) -> str:
        return (f"SweepResult(channels={list(self.channels)}, points={len(self.points)}, "
                f"recommended={self.recommended!r})")


@dataclass(frozen=True)
class Progress:
    """What a sweep's progress callback hears after each point: the point, how many points
    are done of how many, and at most how long the rest takes."""

    point: SweepPoint
    done: int
    total: int
    seconds_left: float


@dataclass(frozen=True)
class LinkReading:
    """One data link in a monitor reading: the latest reading's errors per second (None when
    it did not cover the link), and the segment's totals and bit error ratio
    (``ber_kind``: ``"measured"``, ``"at least"`` or ``"upper bound 95%"``)."""

    link: int
    per_second: Optional[float]
    at_least: bool
    total: int
    total_at_least: bool
    seconds: float
    error_free_seconds: float
    ber: Optional[float]
    ber_kind: Optional[str]


@dataclass(frozen=True)
class SegmentState:
    """The chip's state a monitor segment was measured in."""

    channel: str
    gain: int
    hysteresis: str
    powered_down: bool
    clock_active: bool
    checker_on: bool


@dataclass(frozen=True)
class Reading:
    """One monitor reading, as ``vrq66208a-cli monitor --json`` prints it: ``t`` seconds since
    the start, the segment (a stretch in one chip state) with its counted time and the time
    not counted by reason, and each link's figures. ``to_json()`` is the tool's line."""

    t: Optional[float]
    time: datetime
    checker_off: bool
    segment: Optional[int]
    state: Optional[SegmentState]
    segment_from: Optional[float]
    counted: Optional[float]
    uncounted: dict[str, float]
    not_counted_why: Optional[str]
    links: tuple[LinkReading, ...]
    line: str = field(repr=False)

    def to_json(self) -> str:
        return self.line

    @staticmethod
    def of(line: str) -> "Reading":
        doc = json.loads(line)
        state = doc.get("state")
        links = tuple(
            LinkReading(link["link"], link["perSecond"], link["atLeast"], link["total"],
                        link["totalAtLeast"], link["seconds"], link["errorFreeSeconds"],
                        link["ber"], link["berKind"]) for link in doc["links"])
        return Reading(
            doc["t"], datetime.fromisoformat(doc["time"].replace("Z", "+00:00")),
            doc["checkerOff"], doc.get("segment"),
            None if state is None else SegmentState(
                state["channel"], state["gain"], state["hysteresis"], state["poweredDown"],
                state["clockActive"], state["checkerOn"]),
            doc.get("segmentFrom"), doc.get("counted"), dict(doc.get("uncounted", {})),
            doc.get("notCountedWhy"), links, line)


class Monitor:
    """The chip's error counters read every ``interval`` seconds, one ``Reading`` per step of
    a loop, until the count or duration is reached (or the loop stops). The chip may be used
    between two readings: what anyone reads of the counters counts too. A context manager;
    ``close()`` stops it."""

    def __init__(self, native: Any) -> None:
        self._native = native

    def __iter__(self) -> Iterator[Reading]:
        return self

    def __next__(self) -> Reading:
        line = self._native.next()
        if line is None:
            raise StopIteration
        return Reading.of(line)

    def close(self) -> None:
        self._native.close()

    def __enter__(self) -> "Monitor":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


@dataclass(frozen=True)
class VerifyResult:
    """A verification of the settings in force: ``outcome`` ``"pass"`` (the upper bound came
    to or below the target), ``"fail"`` or ``"disturbed"``; the counted time, errors per link
    and the bound shown."""

    channel: str
    outcome: str
    target_ber: float
    confidence: float
    character_rate_mhz: float
    limit_seconds: float
    seconds: float
    errors: tuple[int, int, int]
    upper_bound: Optional[float]
    not_counted_seconds: float
    text: str
    document: str = field(repr=False)

    @property
    def passed(self) -> bool:
        return self.outcome == "pass"

    def to_json(self) -> str:
        return self.document

    @staticmethod
    def of(document: str, text: str) -> "VerifyResult":
        doc = json.loads(document)
        return VerifyResult(
            doc["channel"], doc["outcome"], doc["targetBer"], doc["confidence"],
            doc["characterRateMHz"], doc["limitSeconds"], doc["seconds"], tuple(doc["errors"]),
            doc["upperBound"], doc["notCountedSeconds"], text, document)


# ---- Arguments, checked as the command-line tool checks them --------------------------------

_CHARACTERS_A_PIXEL = {8: 1.0, 10: 1.25, 12: 1.5, 16: 2.0}


def _number(name: str, value: Any, low: float, high: float, example: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{name} must be a number")
    if not low <= value <= high:
        raise BadInput(f"{name} must be {low:g} to {high:g} ({example}), not {value!r}")
    return float(value)


def character_rate(rate_mhz: Optional[float], pixel_clock_mhz: Optional[float],
                   colour_depth: Optional[int]) -> float:
    """The TMDS character rate the figures are computed at."""
    if rate_mhz is not None and pixel_clock_mhz is not None:
        raise BadInput("give rate_mhz or pixel_clock_mhz, not both")
    if colour_depth is not None and pixel_clock_mhz is None:
        raise BadInput("colour_depth goes with pixel_clock_mhz")
    if pixel_clock_mhz is not None:
        pixel = _number("pixel_clock_mhz", pixel_clock_mhz, 1e-3, 1000.0, "148.5")
        depth = 8 if colour_depth is None else colour_depth
        if depth not in _CHARACTERS_A_PIXEL:
            raise BadInput(f"colour_depth must be 8, 10, 12 or 16, not {depth!r}")
        return pixel * _CHARACTERS_A_PIXEL[depth]
    if rate_mhz is None:
        return DEFAULT_RATE_MHZ
    return _number("rate_mhz", rate_mhz, 1e-3, 1000.0, "148.5")


def confidence_of(value: float) -> float:
    return _number("confidence", value, 0.5, 0.9999, "0.95")


def ratio_of(name: str, value: float) -> float:
    return _number(name, value, 1e-18, 1e-3, "1e-9")


def seconds_of(name: str, value: float, low: float, high: float) -> float:
    return _number(name, value, low, high, "0.5")


def channels_of(channels: Any) -> tuple[list[int], bool]:
    """The channels a sweep takes, from "A", "a,c", ["A", "C"] or "all-active" (an empty
    list: every channel with a clock), and whether each is selected by hand: one channel named
    alone must be the selected one, as ``vrq66208a-cli sweep --channel`` wants it."""
    if isinstance(channels, str):
        names = [c.strip() for c in channels.split(",")]
    else:
        names = [str(c).strip() for c in channels]
    letters = [n.upper() for n in names]
    if letters == ["ALL-ACTIVE"]:
        return [], True
    if not letters or any(letter not in ("A", "B", "C", "D") for letter in letters) \
            or len(set(letters)) != len(letters):
        raise BadInput(f"channels must be 'all-active' or channels A to D once each ('A,C'), "
                       f"not {channels!r}")
    return ["ABCD".index(letter) for letter in letters], len(letters) > 1
