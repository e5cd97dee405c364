# Every exception class from a simulated fault, with the command-line tool's exit status.
import os
import subprocess
import time

import pytest

import vrq66208a as vrq
from conftest import sim_chip


@pytest.mark.parametrize("faults, options, reason", [
    ("absent", {}, "none-found"),
    ("open-in-use", {}, "in-use"),
    ("open-no-permission", {}, "no-permission"),
    ("open-fails", {}, "cannot-open"),
    (None, {"board": 1}, "no-such-board"),
])
def test_a_board_that_cannot_be_had_says_why(faults, options, reason):
    with pytest.raises(vrq.BoardError) as raised:
        sim_chip(faults=faults, **options)
    assert raised.value.reason == reason
    assert raised.value.exit_code == 2
    if reason == "no-permission":
        assert "udev rule" in str(raised.value)


@pytest.mark.parametrize("fault, reason", [
    ("lost-answer", "no-answer"),
    ("failed-write", "not-written"),
    ("unplug", "gone"),
])
def test_a_board_that_fails_an_exchange_raises_board_error(fault, reason):
    with sim_chip(faults=fault, timeout_ms=50) as chip:
        with pytest.raises(vrq.BoardError) as raised:
            chip.read(0x00)
        assert raised.value.reason == reason
        assert str(raised.value).startswith("reading register 0x00")


def test_retries_repeat_an_exchange_that_failed_on_the_usb_side():
    with sim_chip(faults="lost-answer", timeout_ms=50, retries=1) as chip:
        assert chip.read(0x00) == 0x31


def test_a_silent_chip_raises_no_acknowledge():
    with sim_chip(faults="no-ack") as chip:
        with pytest.raises(vrq.NoAcknowledge) as raised:
            chip.write(0x03, 0x12)
        assert raised.value.exit_code == 1
        assert "0x44 did not acknowledge" in str(raised.value)
        with pytest.raises(vrq.NoAcknowledge) as raised:
            chip.dump()
        assert all(r.value is None for r in raised.value.registers)


def test_detect_first_without_a_vrq66208a_raises_no_acknowledge():
    with pytest.raises(vrq.NoAcknowledge) as raised:
        vrq.detect(simulate=True, faults="other-chip", first=True)
    assert raised.value.chips == [vrq.ChipFound(0x44, 0x12)]  # another chip answered


@pytest.mark.parametrize("call", [
    lambda c: c.read(0xFF, 2),                   # runs past 0xFF
    lambda c: c.read(0x00, 63),
    lambda c: c.read("No Such Register"),
    lambda c: c.write(0x00, 0x12),               # read-only
    lambda c: c.write(0x03, list(range(60))),
    lambda c: c.write(0x03, 0x100),
    lambda c: c.write(0x03, 0x12, mask=0x1FF),
    lambda c: c.sweep("A,C,A"),                  # a channel twice
    lambda c: c.sweep("E"),
    lambda c: c.sweep("A", target_ber=1.0),
    lambda c: c.sweep("A", apply_hysteresis=True),
    lambda c: c.monitor(interval=0.01),
    lambda c: c.board.__setattr__("divider", 0),
])
def test_bad_input_is_refused_before_anything_is_sent(call):
    # The board is pulled out at its first command: a call that sent anything would fail.
    with sim_chip(faults="unplug") as chip:
        with pytest.raises(vrq.BadInput) as raised:
            call(chip)
        assert isinstance(raised.value, ValueError) and raised.value.exit_code == 3
        with pytest.raises(vrq.BoardError):
            chip.read(0x00)


@pytest.mark.parametrize("options", [
    {"address": 0x03},                 # reserved without force
    {"address": 0x80},
    {"timeout_ms": 0},
    {"faults": "no-such-fault"},
    {"cables": "A=99"},
])
def test_bad_options_are_refused_at_open(options):
    with pytest.raises(vrq.BadInput):
        sim_chip(**options)


def test_a_bad_register_file_is_refused_before_anything_is_written(chip, tmp_path):
    path = tmp_path / "bad.txt"
    path.write_bytes(b"//VRQ66208A Register File\r\n0x06\t35\r\n0xZZ\t00\r\n")
    chip[0x06] = 0x00
    with pytest.raises(vrq.BadInput, match="Line 3"):
        chip.load(str(path))
    assert chip[0x06] == 0x00


def test_a_read_back_that_differs_names_the_register(chip):
    with pytest.raises(vrq.VerifyError) as raised:
        chip.write(0x00, 0x12, force=True, verify=True)  # the identification stays 0x31
    assert raised.value.differences == [(0x00, 0x12, 0x31)]
    assert "register 0x00" in str(raised.value) and raised.value.exit_code == 4


def test_a_file_that_cannot_be_saved_raises_output_error(chip, tmp_path):
    with pytest.raises(vrq.OutputError) as raised:
        chip.save(os.path.join(tmp_path, "no-such-folder", "regs.txt"))
    assert isinstance(raised.value, OSError) and raised.value.exit_code == 5


def test_a_closed_chip_is_closed():
    chip = sim_chip()
    chip.close()
    assert chip.closed
    with pytest.raises(vrq.BoardError) as raised:
        chip.read(0x00)
    assert raised.value.reason == "closed"


def test_the_list_says_why_a_board_cannot_be_used():
    boards = vrq.list_boards(simulate=2, faults=["open-in-use:0", "lost-answer:1"],
                             timeout_ms=50)
    assert not boards[0].opened and "in use" in boards[0].error
    assert boards[1].opened and boards[1].firmware is None and boards[1].error == "no answer"
    assert vrq.list_boards(simulate=True, faults="absent") == []


def _flock_held(path):
    """Whether some process holds a flock on path, from /proc/locks (looking takes no lock)."""
    inode = os.stat(path).st_ino
    with open("/proc/locks") as locks:
        return any(" FLOCK " in line and line.split()[5].endswith(":%d" % inode) for line in locks)


def test_the_board_lock_names_python_to_the_tool_and_the_tool_to_python(tmp_path, monkeypatch):
    cli = os.environ.get("VRQ66208A_CLI")
    if not cli:
        pytest.skip("VRQ66208A_CLI names no command-line tool")
    # Simulated boards in one lock folder contend for it as real ones for a device node.
    monkeypatch.setenv("VRQ66208A_SIM_LOCK_DIR", str(tmp_path))
    with sim_chip() as chip:
        chip.read(0x00)
        refused = subprocess.run([cli, "--simulate", "firmware"], capture_output=True, text=True,
                                 timeout=60)
        assert refused.returncode == 2
        # Named as the system names this interpreter (python3, python3.11, ...).
        assert "in use by python3" in refused.stderr
        assert "(process %d)" % os.getpid() in refused.stderr

    (tmp_path / "hold.txt").write_text("led on\nsleep 5\n")
    holder = subprocess.Popen([cli, "--simulate", "batch", "hold.txt"], cwd=tmp_path)
    try:
        deadline = time.monotonic() + 10
        while not ((tmp_path / "board0").exists() and _flock_held(tmp_path / "board0")):
            assert time.monotonic() < deadline, "the tool never took its board"
            time.sleep(0.05)
        with pytest.raises(vrq.BoardError) as raised:
            sim_chip()
        assert raised.value.reason == "in-use" and raised.value.exit_code == 2
        assert "in use by vrq66208a-cli (process %d)" % holder.pid in str(raised.value)
    finally:
        holder.kill()
        holder.wait()
