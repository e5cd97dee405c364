# The margin engine from Python: sweeps, their interruption, verification and the monitor.
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import threading
import time
import warnings

import pytest

import vrq66208a as vrq
from conftest import sim_chip

LINK_REGISTERS = (0x02, 0x03, 0x07, 0x08)

# The default simulated cables: channel A needs gain 0x6, C needs 0xA; the counters run full
# at the power-on gain, so each measurement starts with a note about PRBS7.
pytestmark = pytest.mark.filterwarnings("ignore::vrq66208a.PrbsWarning")


def link_registers(chip):
    return [chip[reg] for reg in LINK_REGISTERS]


def test_a_sweep_recommends_the_cable_s_gain_and_puts_the_channel_back(chip):
    before = link_registers(chip)
    heard = []
    result = chip.sweep("A", dwell=0.1, checker_on=True, progress=heard.append)
    assert result.recommended.gain == 0x6 and result.recommended.hysteresis == "off"
    assert result.recommended.margin == 3
    assert len(result.points) == 16 and result.complete
    assert [p.done for p in heard] == list(range(1, len(heard) + 1))
    assert heard[-1].done == heard[-1].total
    assert link_registers(chip) == before

    again = vrq.SweepResult.from_json(result.to_json())
    assert again.recommended == result.recommended and again.points == result.points


def test_apply_leaves_the_recommended_gain(chip):
    chip.sweep("A", dwell=0.1, checker_on=True, apply=True)
    assert chip[0x07] & 0x0F == 0x6


def test_no_setting_passing_raises_margin_failed_with_the_result():
    with sim_chip(cables="A=0x14") as chip:
        before = link_registers(chip)
        with pytest.raises(vrq.MarginFailed) as raised:
            chip.sweep("A", dwell=0.1, checker_on=True)
        assert raised.value.exit_code == 6
        assert raised.value.result.recommended is None
        assert not any(p.passed for p in raised.value.result.points)
        assert link_registers(chip) == before


def test_a_checker_that_is_off_is_not_turned_on_unasked(chip):
    with pytest.raises(vrq.BadInput, match="checker_on=True"):
        chip.sweep("A")
    assert chip[0x09] & 0x04 == 0


def _interrupt_soon():
    threading.Timer(0.4, os.kill, (os.getpid(), signal.SIGINT)).start()


def _raise_at_third_point(progress):
    if progress.done == 3:
        raise RuntimeError("stop")


@pytest.mark.parametrize("channels", ["A", "C,A"])  # C first: 0x02 selects it by hand
@pytest.mark.parametrize("stop, progress, raised", [
    (_interrupt_soon, None, KeyboardInterrupt),
    (lambda: None, _raise_at_third_point, RuntimeError),
])
def test_a_stopped_sweep_leaves_the_registers_as_they_were(chip, channels, stop, progress,
                                                           raised):
    chip.write(0x07, [0x3C, 0x5B])  # gains away from the power-on ones, so a write-back shows
    before = link_registers(chip)
    stop()
    with pytest.raises(raised):
        chip.sweep(channels, dwell=0.2, hysteresis=True, checker_on=True, progress=progress)
    assert link_registers(chip) == before


def _cli_sweep(*args):
    cli = os.environ.get("VRQ66208A_CLI")
    if not cli:
        pytest.skip("VRQ66208A_CLI names no command-line tool")
    return subprocess.run([cli, "--simulate", "sweep", "--rate", "148.5", "--dwell", "0.1",
                           "--checker-on", *args], capture_output=True, text=True, timeout=120)


def test_two_channels_get_a_gain_each_as_the_command_line_tool_finds(chip):
    before = link_registers(chip)
    heard = []
    result = chip.sweep("A,C", dwell=0.1, checker_on=True, progress=heard.append)
    assert result.recommended.gains == {"A": 0x6, "C": 0xA}
    assert result.recommended.hysteresis == "off" and result.recommended.margin == 3
    assert [p.point.channel for p in heard] == ["A"] * 16 + ["C"] * 16
    assert heard[-1].done == heard[-1].total == 32
    assert link_registers(chip) == before

    ran = _cli_sweep("--channels", "A,C", "--json")
    assert ran.returncode == 0, ran.stderr
    documents = [line for line in ran.stdout.splitlines()
                 if line.startswith('{"format":"vrq66208a-sweep",')]
    theirs = vrq.SweepResult.from_json("\n".join(documents))
    assert list(theirs.channels) == list(result.channels) == ["A", "C"]
    assert theirs.recommended.gains == result.recommended.gains


def test_a_channel_that_cannot_be_swept_is_refused_before_anything_is_written(chip):
    with pytest.raises(vrq.BadInput, match="channel B shows no TMDS clock"):
        chip.sweep("A,B", checker_on=True)  # the default cables leave B unplugged
    assert chip[0x09] & 0x04 == 0  # the checker was not turned on


def test_all_active_applies_a_gain_to_each_channel(chip):
    result = chip.sweep("all-active", dwell=0.1, checker_on=True, apply=True)
    assert list(result.channels) == ["A", "C"] and result.applied
    assert chip[0x07] & 0x0F == 0x6 and chip[0x08] & 0x0F == 0xA


def _report_files(folder):
    return sorted(p.name for p in folder.iterdir())


def test_a_report_folder_holds_the_run_and_reads_back(chip, tmp_path):
    result = chip.sweep("A,C", dwell=0.1, checker_on=True)
    with warnings.catch_warnings():
        warnings.simplefilter("error", vrq.ReportWarning)
        page = result.report(tmp_path / "run", label="cable 2 m", note="45 C")
    folder = page.parent
    plots = [] if os.environ.get("VRQ66208A_NO_PLOTS") else [
        "bathtub-A.png", "bathtub-C.png", "heatmap-A.png", "heatmap-C.png"]
    assert _report_files(folder) == sorted(plots + ["index.html", "points.csv", "run.json"])
    assert all((folder / p).read_bytes().startswith(b"\x89PNG") for p in plots)

    run = json.loads((folder / "run.json").read_text())
    meta = run["metadata"]
    assert (meta["label"], meta["note"], meta["address"]) == ("cable 2 m", "45 C", "0x44")
    assert meta["started"] <= meta["ended"] and meta["registersBefore"]["0x00"] == "0x31"
    assert [(c["channel"], c["gain"]) for c in run["choice"]["channels"]] == [("A", 6), ("C", 10)]
    again = vrq.SweepResult.from_json("\n".join(json.dumps(s) for s in run["sweeps"]))
    assert again.points == result.points
    assert len((folder / "points.csv").read_text().splitlines()) == 1 + 32
    assert "cable 2 m" in page.read_text()


def test_a_report_without_the_plot_library_says_so(tmp_path):
    # The package alone, away from the build tree and from any installed plot library.
    copy = tmp_path / "alone"
    shutil.copytree(pathlib.Path(vrq.__file__).parent, copy / "vrq66208a")
    script = (
        "import warnings, vrq66208a as vrq\n"
        "warnings.simplefilter('ignore', vrq.PrbsWarning)\n"
        "with vrq.open(simulate=True) as chip:\n"
        "    result = chip.sweep('A', dwell=0.1, checker_on=True)\n"
        "with warnings.catch_warnings(record=True) as said:\n"
        "    warnings.simplefilter('always')\n"
        f"    result.report({str(tmp_path / 'run')!r})\n"
        "print([w.category.__name__ for w in said])\n")
    ran = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=120, env=dict(os.environ, PYTHONPATH=str(copy)))
    assert ran.returncode == 0, ran.stderr
    assert ran.stdout.strip() == "['ReportWarning']"
    folder = tmp_path / "run"
    assert _report_files(folder) == ["index.html", "points.csv", "run.json"]
    assert "No plots: the plot library" in (folder / "index.html").read_text()


def test_a_result_read_back_writes_no_report(chip, tmp_path):
    result = chip.sweep("A", dwell=0.1, checker_on=True)
    with pytest.raises(vrq.BadInput):
        vrq.SweepResult.from_json(result.to_json()).report(tmp_path)


def test_other_threads_run_during_a_sweep(chip):
    ticks = []
    running = threading.Event()
    running.set()

    def tick():
        while running.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.005)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        started = time.monotonic()
        chip.sweep("A", dwell=0.1, checker_on=True)
        ended = time.monotonic()
    finally:
        running.clear()
        ticker.join()
    during = [t for t in ticks if started < t < ended]
    # A tick every 5 ms had it the interpreter to itself: at least a quarter of them came.
    assert len(during) > (ended - started) / 0.005 / 4


def test_verify_passes_at_the_cable_s_gain(chip):
    chip[0x07] = (chip[0x07] & 0xF0) | 0x6
    result = chip.verify(target_ber=1e-8, checker_on=True)
    assert result.passed and result.upper_bound <= 1e-8


def test_verify_that_fails_raises_margin_failed(chip):
    with pytest.raises(vrq.MarginFailed) as raised:
        chip.verify(target_ber=1e-8, checker_on=True)  # the power-on gain is far off
    assert raised.value.exit_code == 7 and raised.value.result.outcome == "fail"


def test_the_monitor_counts_readings_made_by_anyone(chip):
    with chip.monitor(interval=0.2, count=3, checker_on=True) as readings:
        got = []
        for reading in readings:
            got.append(reading)
            chip.read(0x0A, 3)  # clears the counters: the monitor must still count these
    assert [r.segment for r in got] == [1, 1, 1]
    assert got[-1].state.channel == "A" and got[-1].state.checker_on
    totals = [r.links[0].total for r in got]
    assert totals == sorted(totals) and totals[-1] > totals[0]
    # The chip's counters run full within each interval at this gain: every reading is a floor.
    assert got[-1].links[0].total_at_least


def test_ctrl_c_ends_a_monitor_inside_its_wait(chip):
    readings = chip.monitor(interval=5.0, checker_on=True)
    _interrupt_soon()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        for _ in readings:
            pass
    assert time.monotonic() - started < 2.0
    assert chip.read(0x00) == 0x31  # the chip is free again


def test_a_sweep_saved_by_the_command_line_tool_reads_as_the_module_s_own():
    cli = os.environ.get("VRQ66208A_CLI")
    if not cli:
        pytest.skip("VRQ66208A_CLI names no command-line tool")
    # A cable no gain passes: both fail alike, with the same status and the same points.
    ran = subprocess.run([cli, "--simulate", "--simulate-cable", "A=0x14", "sweep", "--rate",
                          "148.5", "--channel", "A", "--dwell", "0.1", "--checker-on", "--json"],
                         capture_output=True, text=True, timeout=60)
    document = next(line for line in ran.stdout.splitlines()
                    if line.startswith('{"format":"vrq66208a-sweep",'))
    saved = vrq.SweepResult.from_json(document)
    with sim_chip(cables="A=0x14") as chip:
        with pytest.raises(vrq.MarginFailed) as raised:
            chip.sweep("A", dwell=0.1, checker_on=True)
    ours = raised.value.result
    assert ran.returncode == raised.value.exit_code == 6, ran.stderr
    assert saved.recommended is None and ours.recommended is None
    assert len(saved.points) == len(ours.points) == 16
    assert [p.verdict for p in saved.points] == [p.verdict for p in ours.points]


def test_a_monitor_log_matches_the_command_line_tool_s(chip):
    readings = list(chip.monitor(interval=0.2, duration=0.7, checker_on=True))
    ours = [json.loads(r.to_json()) for r in readings]
    times = [line["t"] for line in ours]
    assert times == sorted(times) and times[-1] >= 0.7 and times[-2] < 0.7  # ends by itself
    cli = os.environ.get("VRQ66208A_CLI")
    if not cli:
        return
    ran = subprocess.run([cli, "--simulate", "monitor", "--rate", "148.5", "--interval", "0.2",
                          "--duration", "0.7", "--checker-on", "--json"],
                         capture_output=True, text=True, timeout=60)
    assert ran.returncode == 0, ran.stderr
    theirs = [json.loads(line) for line in ran.stdout.splitlines()]
    assert sorted(theirs[-1]) == sorted(ours[-1])
    assert sorted(theirs[-1]["links"][0]) == sorted(ours[-1]["links"][0])
