#!/usr/bin/env python3
"""addrstamp against a real kernel's MTD drivers: the scenarios and their checks.

    scenarios.py prepare DIR
        writes DIR/scenario.sh (the guest's script), DIR/data/ (environments to provision,
        made here) and DIR/flash.img (the SPI NOR flash as the board starts with it)
    scenarios.py check CONSOLE_LOG FLASH_IMAGE QEMU_STATUS
        reads what the guest reported on its serial console and the NOR flash image after the
        run, checks every run, and prints one line per check and "N passed, N failed"

Everything about the environment block is computed here independently of the project's code:
the CRC with zlib, the variable list by parsing the bytes.
"""
import base64
import gzip
import re
import sys
import zlib
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the work tree for the helper below
from envblock import ENV_SIZE, env_image, env_parse  # noqa: E402

# The flashes as the guest sets them up (tests/kernel/device.sh, guest-lib.sh); the guest
# reports the geometry the kernel gives, and the check compares it with these.
NAND = dict(kind="nand", erasesize=128 * 1024, writesize=2048, size=133169152,
            dump=256 * 1024)
NOR = dict(kind="nor", erasesize=4096, writesize=1, size=64 * 1024, dump=64 * 1024,
           name="environment")
NOR_FLASH_SIZE = 2 * 1024 * 1024
NOR_PARTS = [(0x000000, 0x080000, "bootloader"), (0x080000, 0x010000, "config"),
             (0x090000, 0x010000, "environment"), (0x0A0000, 0x160000, "data")]
NOR_ENV_OFFSET = 0x090000

# Environments a boot loader would have left, provisioned with the system's own tools. The
# address variables sit among the others, so a run must move them to the end; the padding
# after the list differs (zeros, erased bytes), and the CRC covers it all the same.
VARS_NAND = [("bootdelay", "3"), ("baudrate", "115200"), ("ethaddr", "02:5E:71:AA:BB:CC"),
             ("bootcmd", "nand read ${loadaddr} kernel; bootm ${loadaddr}"),
             ("eth1addr", "02:5E:71:AA:BB:CD"), ("serial#", "BT-000123"),
             ("ipaddr", "192.168.0.50"), ("empty", "")]
# On NOR, a long environment (most of the block) with the addresses early in it: written over
# without an erase, the new, shorter block would be ANDed into the old bytes.
VARS_NOR = [("ethaddr", "02:5E:71:10:20:30"), ("eth1addr", "02:5E:71:10:20:31"),
            ("bootargs", "console=ttymxc1,115200 root=/dev/mmcblk0p2 rootwait " + "x" * 2400),
            ("bootcmd", "run loadkernel; bootz ${loadaddr} - ${fdtaddr}"),
            ("loadkernel", "sf probe; sf read ${loadaddr} 0x100000 0x600000"),
            ("serial#", "BT-000456"), ("ipaddr", "192.168.0.51")]
IMAGES = {"vars-nand.img": (VARS_NAND, b"\0"), "vars-nor.img": (VARS_NOR, b"\xff")}


class Run:
    """One run of the tool: where the partition starts from, the address and the next one."""

    def __init__(self, name, start, mac, next_mac):
        self.name, self.start, self.mac, self.next_mac = name, start, mac, next_mac


class Phase:
    """One flash set-up in the guest and the runs made on it, in order."""

    def __init__(self, name, flash, attach, detach, bad_first, runs, probe=False):
        self.name, self.flash, self.attach, self.detach = name, flash, attach, detach
        self.bad_first, self.runs, self.probe = bad_first, runs, probe


# start: "blank" (the partition as the driver starts: erased), an image name (provisioned in
# the guest right before the run), or "previous" (what the run before left).
PHASES = [
    Phase("nand", NAND, "nand_attach", "nand_detach", False, [
        Run("nand-blank", "blank", "02:5E:71:00:00:01", "02:5E:71:00:00:02"),
        Run("nand-vars", "vars-nand.img", "02:5E:71:00:00:FF", "02:5E:71:00:01:00"),
        Run("nand-again", "previous", "02:5E:71:00:AB:CF", "02:5E:71:00:AB:D0"),
    ]),
    # nandsim's chip block 8 is mtd2's first erase block.
    Phase("nand-bad-first", NAND, "nand_attach 8", "nand_detach", True, [
        Run("nandbad-blank", "blank", "02:5E:71:00:01:0F", "02:5E:71:00:01:10"),
        Run("nandbad-vars", "vars-nand.img", "02:5E:71:FF:FF:FF", "02:5E:72:00:00:00"),
        Run("nandbad-again", "previous", "02:5e:71:00:00:19", "02:5e:71:00:00:1a"),
    ], probe=True),
    Phase("nor", NOR, "nor_attach", None, False, [
        Run("nor-blank", "blank", "02:5E:71:00:02:01", "02:5E:71:00:02:02"),
        Run("nor-vars", "vars-nor.img", "02:5E:71:00:02:9F", "02:5E:71:00:02:a0"),
        Run("nor-again", "previous", "02:5E:71:00:02:EF", "02:5E:71:00:02:F0"),
    ], probe=True),
]

# What the kernel's MTD character device answers to the requests addrstamp makes, and to the
# edge cases its simulated flash models (tests/kernel/probe.cpp asks; question: (result,
# errno)). "size" stands for the partition's size. These are facts of Linux 6.1's mtdchar,
# nand_base (nandsim) and spi-nor, checked on every run so the simulation's model stays true.
PROBE_EXPECT = {
    "nand": {
        "memgetinfo_type": (4, "0"), "memgetinfo_writesize": (2048, "0"),
        # MEMGETBADBLOCK: 1 for any offset inside a bad block, 0 for a good one.
        "badblock_first_block": (1, "0"), "badblock_inside_bad_block": (1, "0"),
        "badblock_good_block": (0, "0"), "badblock_at_end": (-1, "EINVAL"),
        # An erase touching a bad block fails with EIO; one not on block bounds with EINVAL.
        "erase_bad_block": (-1, "EIO"), "erase_from_bad_block_on": (-1, "EIO"),
        "erase_unaligned_start": (-1, "EINVAL"), "erase_partial_block": (-1, "EINVAL"),
        "erase_past_end": (-1, "EINVAL"), "erase_good_block": (0, "0"),
        "lseek_to_end": ("size", "0"), "lseek_past_end": (-1, "EINVAL"),
        # Whole pages only; a write crossing the end is cut short, one at the end refused.
        "write_unaligned_offset": (-1, "EINVAL"), "write_partial_page": (-1, "EINVAL"),
        "write_two_pages": (4096, "0"), "write_one_erase_block": (131072, "0"),
        "write_across_end": (2048, "0"), "write_at_end": (-1, "ENOSPC"),
        # The driver does not stop a write into a block marked bad.
        "write_into_bad_block": (2048, "0"),
        "read_across_end": (2048, "0"), "read_at_end": (0, "0"), "read_unaligned": (100, "0"),
        "read_back_written_page": (0x5A, "0"),
    },
    "nor": {
        "memgetinfo_type": (3, "0"), "memgetinfo_writesize": (1, "0"),
        "badblock_first_block": (0, "0"), "badblock_at_end": (-1, "EINVAL"),
        # spi-nor checks an erase's length, not its start: an unaligned start is passed on to
        # the chip (a real chip erases the sector the address falls in; QEMU's model erases
        # from the address itself, so which bytes it clears is not checked here).
        "erase_good_block": (0, "0"), "erase_unaligned_start": (0, "0"),
        "erase_partial_block": (-1, "EINVAL"), "erase_past_end": (-1, "EINVAL"),
        "erase_again": (0, "0"),
        "lseek_to_end": ("size", "0"), "lseek_past_end": (-1, "EINVAL"),
        # Any offset and length; a second write without an erase leaves old AND new
        # (0xF0 then 0x3C reads 0x30).
        "write_unaligned": (10, "0"), "write_same_bytes_again": (10, "0"),
        "read_after_second_write": (0x30, "0"),
        "write_across_end": (10, "0"), "write_at_end": (-1, "ENOSPC"),
        "read_across_end": (10, "0"), "erase_last_block": (0, "0"),
    },
}


def nor_pattern():
    """The NOR flash at power-on: the neighbouring partitions hold data, mtd2 is erased."""
    image = bytearray()
    for offset, size, name in NOR_PARTS:
        if offset == NOR_ENV_OFFSET:
            image += b"\xff" * size
        else:
            text = f"<{name} partition contents>".encode()
            image += (text * (size // len(text) + 1))[:size]
    assert len(image) == NOR_FLASH_SIZE
    return bytes(image)


def guest_script():
    lines = ["# Written by scenarios.py: the runs of addrstamp on the kernel's MTD drivers."]
    for phase in PHASES:
        flash = phase.flash
        dump = f"dump_{flash['kind']} "
        lines += ["", f'echo "@@ PHASE {phase.name}"',
                  f"{phase.attach} && flash_info {phase.name}"]
        for run in phase.runs:
            if run.start not in ("blank", "previous"):
                lines.append(f"provision_{flash['kind']} /data/{run.start}")
            lines += [dump + f"{run.name}.before {flash['dump']}",
                      f"tool_run {run.name} {run.mac}",
                      dump + f"{run.name}.after {flash['dump']}"]
        if phase.probe:
            lines.append("/data/mtdprobe")
            if flash["kind"] == "nor":
                lines.append(dump + f"nor.final {flash['dump']}")
        if phase.detach:
            lines.append(phase.detach)
    return "\n".join(lines) + "\n"


def prepare(out):
    out = Path(out)
    (out / "data").mkdir(parents=True, exist_ok=True)
    for name, (variables, pad) in IMAGES.items():
        (out / "data" / name).write_bytes(env_image(variables, pad))
    (out / "scenario.sh").write_text(guest_script())
    (out / "flash.img").write_bytes(nor_pattern())


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"  ok    {name}")
        else:
            self.failed += 1
            if len(detail) > 800:
                detail = detail[:800] + "..."
            print(f"  FAIL  {name}" + (f": {detail}" if detail else ""))
        return ok


def read_console(path):
    """The marker lines and the base64 sections (decoded) the guest wrote."""
    markers, sections, current = [], {}, None
    for line in Path(path).read_text(errors="replace").splitlines():
        m = re.match(r"@@ BEGIN (\S+)$", line)
        if m:
            current = m.group(1)
            sections[current] = []
        elif line.startswith("@@ END ") and current:
            try:
                sections[current] = base64.b64decode("".join(sections[current]))
            except ValueError:
                sections[current] = None
            current = None
        elif current:
            sections[current].append(line.strip())
        elif line.startswith("@@ "):
            markers.append(line)
    return markers, {k: v for k, v in sections.items() if isinstance(v, bytes) or v is None}


def dump(sections, key):
    raw = sections.get(key)
    if raw is None:
        return None
    try:
        return gzip.decompress(raw)
    except OSError:
        return None


def expected_stdout(run, loaded_ok, bad_first):
    """The tool's standard output as lines; "%m" stands for any error text."""
    lines = [] if loaded_ok else ["failed to crc,clear all,%m\n"]
    lines += [f"Got MAC address {run.mac} \n", f"Got MAC address {run.next_mac} \n"]
    if bad_first:
        lines.append("Skipping bad block at 0x00000000\n")
    return "".join(lines)


def stdout_matches(want, got):
    pattern = "[^\n]*".join(re.escape(part) for part in want.split("%m"))
    return got is not None and re.fullmatch(pattern, got.decode("latin-1")) is not None


def check_run(c, phase, run, before, after, status, stdout, stderr, provisioned):
    flash = phase.flash
    tag = run.name
    if not c.check(f"{tag}: partition read back before and after the run",
                   before is not None and after is not None and
                   len(before) == len(after) == flash["dump"]):
        return
    # Where the block lies: NOR, the partition's first bytes; NAND, the first good erase block.
    at = flash["erasesize"] if phase.bad_first else 0
    if provisioned is not None:
        c.check(f"{tag}: provisioned environment in place before the run",
                before[at:at + ENV_SIZE] == provisioned)
    loaded_ok, old = env_parse(before[at:at + ENV_SIZE])
    if not loaded_ok:
        old = []

    c.check(f"{tag}: exit status 0", status == "0", f"exit status {status}")
    want = expected_stdout(run, loaded_ok, phase.bad_first)
    c.check(f"{tag}: standard output", stdout_matches(want, stdout),
            f"got {stdout!r}, expected {want.encode()!r}")
    c.check(f"{tag}: nothing on standard error", stderr == b"", repr(stderr))

    block = after[at:at + ENV_SIZE]
    crc_ok, entries = env_parse(block)
    c.check(f"{tag}: block at 0x{at:x} with a valid CRC-32", crc_ok,
            f"stored 0x{int.from_bytes(block[:4], 'little'):08x},"
            f" computed 0x{zlib.crc32(block[4:]):08x}")
    kept = [e for e in old if e[0] not in ("ethaddr", "eth1addr")]
    want = kept + [("ethaddr", run.mac), ("eth1addr", run.next_mac)]
    c.check(f"{tag}: variables kept, ethaddr and eth1addr last", entries == want,
            f"got {entries}, expected {want}")

    # Nothing else changed: NAND, the rest of the erased block is erased and every other block
    # (a bad one included) as it was; NOR, everything after the block as it was.
    if flash["kind"] == "nand":
        span = (at, at + flash["erasesize"])
        rest_ok = after[at + ENV_SIZE:span[1]] == b"\xff" * (span[1] - at - ENV_SIZE)
    else:
        span = (0, ENV_SIZE)
        rest_ok = True
    outside = after[:span[0]] == before[:span[0]] and after[span[1]:] == before[span[1]:]
    c.check(f"{tag}: the rest of the partition untouched", rest_ok and outside)


def check_probe(c, flash, markers):
    kind = flash["kind"]
    answers = {}
    for m in markers:
        got = re.match(rf"@@ PROBE {kind} (\S+) result=(-?\d+) errno=(\S+)$", m)
        if got:
            answers[got.group(1)] = (int(got.group(2)), got.group(3))
    for question, (result, error) in PROBE_EXPECT[kind].items():
        want = (flash["size"] if result == "size" else result, error)
        c.check(f"{kind} driver: {question.replace('_', ' ')} gives {want[0]}"
                + (f" ({want[1]})" if want[1] != "0" else ""),
                answers.get(question) == want, f"got {answers.get(question)}")


def check(console, flash_image, qemu_status):
    c = Checks()
    markers, sections = read_console(console)
    text = Path(console).read_text(errors="replace")
    c.check("guest started (marker)", "@@ GUEST START" in "\n".join(markers))
    c.check("guest finished (marker)", "@@ GUEST END" in markers)
    c.check("no kernel panic, oops or BUG",
            not re.search(r"Kernel panic|Internal error: Oops|\bBUG: ", text))
    c.check("QEMU ended by itself (no timeout)", qemu_status == "0", f"status {qemu_status}")
    errors = [m for m in markers if m.startswith("@@ ERROR")]
    c.check("guest helpers reported no error", not errors, "; ".join(errors))

    images = {name: env_image(v, pad) for name, (v, pad) in IMAGES.items()}
    statuses = dict(re.match(r"@@ RUN (\S+) status=(\S+)$", m).groups()
                    for m in markers if re.match(r"@@ RUN \S+ status=\S+$", m))
    infos = {m.split()[2]: dict(kv.split("=", 1) for kv in m.split()[3:] if "=" in kv)
             for m in markers if m.startswith("@@ FLASH ")}
    for phase in PHASES:
        flash, info = phase.flash, infos.get(phase.name)
        want = {k: str(flash[k]) for k in ("erasesize", "writesize", "size")}
        want["type"] = flash["kind"]
        want["bad_blocks"] = "1" if phase.bad_first else "0"
        if "name" in flash:
            want["name"] = flash["name"]
        got = {k: (info or {}).get(k) for k in want}
        c.check(f"{phase.name}: /dev/mtd2 is {flash['kind']} as set up", got == want,
                f"got {got}, expected {want}")
        for run in phase.runs:
            after = dump(sections, f"{run.name}.after")
            check_run(c, phase, run, dump(sections, f"{run.name}.before"), after,
                      statuses.get(run.name), sections.get(f"{run.name}.stdout"),
                      sections.get(f"{run.name}.stderr"), images.get(run.start))
        if phase.probe:
            check_probe(c, flash, markers)

    # The NOR flash as QEMU left it in the image file: the other partitions as they were, and
    # the environment partition as the guest last read it.
    image = Path(flash_image).read_bytes()
    start = bytes(nor_pattern())
    env_end = NOR_ENV_OFFSET + NOR["size"]
    c.check("nor: other partitions unchanged in the flash image",
            len(image) == len(start) and image[:NOR_ENV_OFFSET] == start[:NOR_ENV_OFFSET]
            and image[env_end:] == start[env_end:])
    last_nor = dump(sections, "nor.final")
    c.check("nor: flash image holds what the guest read from /dev/mtd2",
            last_nor is not None and image[NOR_ENV_OFFSET:env_end] == last_nor)
    print(f"{c.passed} passed, {c.failed} failed")
    return c.failed == 0


def main(argv):
    if len(argv) == 3 and argv[1] == "prepare":
        prepare(argv[2])
        return 0
    if len(argv) == 5 and argv[1] == "check":
        return 0 if check(argv[2], argv[3], argv[4]) else 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
