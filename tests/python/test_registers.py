# The happy paths once each, against a simulated board.
import vrq66208a as vrq


def test_reads_and_writes_by_address_and_name(chip):
    assert chip.read(0x00) == 0x31
    burst = chip.read(0x00, 13)
    assert isinstance(burst, bytes) and len(burst) == 13 and burst[0] == 0x31

    chip.write(0x06, [1, 2, 3])
    assert chip.read(0x06, 3) == bytes([1, 2, 3])
    chip["Input Control"] = 0x12
    assert chip["input control"] == chip[0x03] == 0x12

    chip.write(0x03, 0xFF, mask=0x80, verify=True)  # only bit 7 changes
    assert chip[0x03] == 0x92


def test_decode_and_dump_explain_the_values(chip):
    fields = vrq.decode("Input Control", 0x92)
    assert fields[0] == vrq.Field("7", "Recalibrate", 1, "recalibrating")
    chip[0x03] = 0x92
    assert chip.decode(0x03) == fields

    everything = chip.dump()
    assert [r.register for r in everything] == list(range(0x16))
    changed = chip.dump(changed=True)
    assert 0x03 in [r.register for r in changed]
    assert all(r.value != r.reset for r in changed)


def test_recal_pulses_bit_7_and_leaves_the_rest(chip):
    chip[0x03] = 0x12
    chip.recal()
    assert chip[0x03] == 0x12


def test_register_file_round_trip(chip, tmp_path):
    chip[0x06] = 0x35
    path = str(tmp_path / "regs.txt")
    chip.save(path)
    assert open(path, "rb").read().startswith(b"//VRQ66208A Register File\r\n")
    chip[0x06] = 0x00
    chip.load(path, verify=True)
    assert chip[0x06] == 0x35


def test_board_commands(chip):
    chip.board.led = True
    assert chip.board.led is True
    chip.board.divider = 30
    assert chip.board.clock_khz == 400.0
    chip.board.clock_khz = 100
    assert chip.board.divider == 120
    assert chip.board.firmware == vrq.Firmware(1, 2, "2008-03-15",
                                               "Firmware Version 1.2 - 2008/March/15")


def test_boards_and_chips_are_found():
    boards = vrq.list_boards(simulate=2)
    assert [b.instance for b in boards] == [0, 1]
    assert all(b.firmware is not None and b.error is None for b in boards)
    assert vrq.detect(simulate=True) == [vrq.ChipFound(0x44, 0x31)]
    assert vrq.detect(simulate=True)[0].vrq66208a


def test_threads_share_a_chip():
    import threading

    with vrq.open(simulate=True) as chip:
        failures = []

        def hammer(reg, value):
            for _ in range(20):
                chip[reg] = value
                if chip[reg] != value:
                    failures.append(reg)

        threads = [threading.Thread(target=hammer, args=(0x06 + i, 0x35 + i)) for i in range(3)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert failures == []
