#!/usr/bin/env python3
"""Builds scrambled containers with Python's own zlib, for comparison.

Usage: container_reference.py DIR

For every NAME.data in DIR (with its key in NAME.key, raw bytes, possibly
empty), writes
  NAME.container  the scrambled container: the 8-byte little-endian length,
                  then zlib.compress(data, 6), the whole XORed with the key
                  read from its last character backwards
  NAME.file       the container file: "ORVANTIS COMPRESSED v1", a zero byte,
                  then the container
An empty key file stands for the built-in default key.
"""
import pathlib
import struct
import sys
import zlib

DEFAULT_KEY = b"(K) 2031 Orvantis Works, Tarnby, Halvia"
MAGIC = b"ORVANTIS COMPRESSED v1\0"


def scramble(data: bytes, key: bytes) -> bytes:
    key = key or DEFAULT_KEY
    backwards = key[::-1]
    stream = (backwards * (len(data) // len(key) + 1))[: len(data)]
    mixed = int.from_bytes(data, "little") ^ int.from_bytes(stream, "little")
    return mixed.to_bytes(len(data), "little")


def container(data: bytes, key: bytes) -> bytes:
    plain = struct.pack("<Q", len(data)) + zlib.compress(data, 6)
    return scramble(plain, key)


def main() -> int:
    directory = pathlib.Path(sys.argv[1])
    for data_path in sorted(directory.glob("*.data")):
        key = data_path.with_suffix(".key").read_bytes()
        box = container(data_path.read_bytes(), key)
        data_path.with_suffix(".container").write_bytes(box)
        data_path.with_suffix(".file").write_bytes(MAGIC + box)
    return 0


if __name__ == "__main__":
    sys.exit(main())
