# The examples run as a user runs them, against a simulated board.
import json
import os
import pathlib
import subprocess
import sys

import vrq66208a

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def run(name, *args):
    env = dict(os.environ,
               PYTHONPATH=str(pathlib.Path(vrq66208a.__file__).parent.parent))
    return subprocess.run([sys.executable, str(EXAMPLES / name), "--simulate", *args],
                          capture_output=True, text=True, env=env, timeout=120)


def test_register_dump_to_json(tmp_path):
    out = tmp_path / "regs.json"
    ran = run("dump_registers.py", str(out))
    assert ran.returncode == 0, ran.stderr
    document = json.loads(out.read_text())
    assert len(document["registers"]) == 22 and document["registers"][0]["value"] == 0x31


def test_sweep_of_every_active_channel(tmp_path):
    ran = run("sweep_report.py", "--checker-on", "--dwell", "0.1", "--label", "bench",
              str(tmp_path))
    assert ran.returncode == 0, ran.stderr
    assert "channel A: gain 0x6" in ran.stdout and "channel C: gain 0xA" in ran.stdout
    run_json = json.loads((tmp_path / "run.json").read_text())
    assert [s["settings"]["channel"] for s in run_json["sweeps"]] == ["A", "C"]
    assert run_json["metadata"]["label"] == "bench"


def test_monitor_log(tmp_path):
    log = tmp_path / "run.jsonl"
    ran = run("monitor_log.py", "--checker-on", "--interval", "0.2", "--count", "3", str(log))
    assert ran.returncode == 0, ran.stderr
    lines = [json.loads(line) for line in log.read_text().splitlines()]
    assert len(lines) == 3 and all(line["segment"] == 1 for line in lines)
