#!/usr/bin/env python3
"""The boot environment block, read and written here independently of the project's code:
a CRC-32 (zlib's, little-endian) over the 4092-byte data area, then NUL-terminated
name=value entries ended by an empty string.

    envblock.py show FILE [OFFSET]   prints the block found at OFFSET of FILE (default 0)
"""
import sys
import zlib

ENV_SIZE = 4096
ENV_DATA_SIZE = ENV_SIZE - 4


def env_image(variables, pad=b"\0"):
    """A block holding the (name, value) pairs in order, the rest of the data area PAD."""
    data = b"".join(f"{n}={v}".encode() + b"\0" for n, v in variables) + b"\0"
    data += pad * (ENV_DATA_SIZE - len(data))
    assert len(data) == ENV_DATA_SIZE
    return zlib.crc32(data).to_bytes(4, "little") + data


def env_parse(block):
    """(crc_ok, [(name, value), ...]) of a block; the list is None when it has no end."""
    crc_ok = int.from_bytes(block[:4], "little") == zlib.crc32(block[4:ENV_SIZE])
    entries, pos = [], 4
    while pos < ENV_SIZE and block[pos] != 0:
        end = block.find(b"\0", pos, ENV_SIZE)
        if end < 0:
            return crc_ok, None
        name, _, value = block[pos:end].decode("latin-1").partition("=")
        entries.append((name, value))
        pos = end + 1
    return crc_ok, entries


def show(block, indent="    "):
    """The block as a person reads it: the CRC verdict, then one variable a line."""
    stored = int.from_bytes(block[:4], "little")
    crc_ok, entries = env_parse(block)
    if not crc_ok:
        if all(b == 0xFF for b in block):
            return [f"{indent}(erased flash: no environment)"]
        return [f"{indent}(no valid environment: stored CRC-32 0x{stored:08x},"
                f" computed 0x{zlib.crc32(block[4:ENV_SIZE]):08x})"]
    lines = [f"{indent}CRC-32 0x{stored:08x}: valid"]
    for name, value in entries or []:
        lines.append(f"{indent}{name}={value}")
    return lines


def main(argv):
    if len(argv) in (3, 4) and argv[1] == "show":
        with open(argv[2], "rb") as f:
            f.seek(int(argv[3], 0) if len(argv) == 4 else 0)
            block = f.read(ENV_SIZE)
        if len(block) != ENV_SIZE:
            print(f"{argv[2]}: no {ENV_SIZE}-byte block there", file=sys.stderr)
            return 1
        print("\n".join(show(block)))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
