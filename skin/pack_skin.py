#!/usr/bin/env python3
"""Packs the skin into a ZIP archive the way the program reads it.

Every entry is deflated (pictures too, although PNG data hardly shrinks), sits at the top
level, carries a fixed time stamp and no extra fields, and the entries are in name order,
so the same files always give the same archive, byte for byte.

    pack_skin.py OUTPUT.zip FILE...
"""

import os
import sys
import zipfile

FIXED_TIME = (2020, 1, 1, 0, 0, 0)


def main():
    target, files = sys.argv[1], sys.argv[2:]
    names = sorted(files, key=os.path.basename)
    seen = set()
    tmp = target + ".tmp"
    with zipfile.ZipFile(tmp, "w") as archive:
        for path in names:
            name = os.path.basename(path)
            if name in seen:
                sys.exit(f"pack_skin.py: two files named {name}")
            seen.add(name)
            info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    os.replace(tmp, target)


if __name__ == "__main__":
    main()
