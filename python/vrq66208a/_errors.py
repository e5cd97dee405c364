"""The module's exceptions: the command-line tool's classes of failure, one class each.

Each class carries the exit status ``vrq66208a-cli`` gives for the same failure
(``exit_code``), so a script can treat both alike.
"""

from __future__ import annotations

TYPE_CHECKING = False
if TYPE_CHECKING:  # the typing module only for type checkers: a quicker import
    from typing import Any, Optional


class Error(Exception):
    """Every failure of this module: something the board, the chip or the caller did not do."""

    exit_code: int = 2

    def __init__(self, message: str, **details: Any) -> None:
        super().__init__(message)
        for name, value in details.items():
            setattr(self, name, value)


class NoAcknowledge(Error):
    """The chip did not acknowledge a transfer: wrong address, or the chip has no power."""

    exit_code = 1


class BoardError(Error):
    """The board could not be used: none found, it cannot be opened (``reason``, with
    ``holder`` naming the program that has it), it did not answer, or it is gone.

    ``reason`` is one of ``"none-found"``, ``"no-such-board"``, ``"in-use"``,
    ``"no-permission"``, ``"cannot-open"``, ``"no-answer"``, ``"not-written"``, ``"gone"``,
    ``"ambiguous"`` and ``"closed"``.
    """

    exit_code = 2
    reason: str = "cannot-open"
    holder: Optional[str] = None


class BadInput(Error, ValueError):
    """An argument or a register file was refused before anything was sent to the board."""

    exit_code = 3


class VerifyError(Error):
    """A read-back differs from what was written.

    ``differences`` holds ``(register, written, read)`` for every register that differs.
    """

    exit_code = 4
    differences: list[tuple[int, int, int]] = []


class OutputError(Error, OSError):
    """A file could not be written (``Chip.save``, ``SweepResult.report``)."""

    exit_code = 5


class MarginFailed(Error):
    """A link-margin measurement did not show what was asked: no setting of a sweep passed
    (``exit_code`` 6), or the target was not reached: a verification failed or the chip
    could no longer count (7). ``result`` holds what was measured.
    """

    exit_code = 6
    result: Any = None


class PrbsWarning(UserWarning):
    """The error counters ran full at once: the setting is far off, or the source is not
    sending PRBS7 (ordinary video runs the counters full at every setting)."""


class ReportWarning(UserWarning):
    """A report was written without its plots: the library that draws them (installed with
    the programs' package, vrq66208a) was not found or could not be loaded. The page says
    why too."""
