#!/usr/bin/env python3
"""Checks a screenshot of Pinvale's main window: the title bar in the skin's blue
(#0168B7) and, in the status row, the key-present icon rather than the no-key one.

Usage: check_main_window.py SCREENSHOT WINDOW_X WINDOW_Y SKIN_DIR [--no-key]
Exit 0 when both hold, 1 otherwise (with the readings on stderr). With --no-key
the status row must show the no-key icon instead.
"""
import sys

from PIL import Image

TITLE_BLUE = (0x01, 0x68, 0xB7)
TITLE_HEIGHT = 36
STATUS_ROW = (TITLE_HEIGHT, TITLE_HEIGHT + 54)


def close(a, b, tolerance=6):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def on_white(path):
    icon = Image.open(path).convert("RGBA")
    white = Image.new("RGBA", icon.size, (255, 255, 255, 255))
    return Image.alpha_composite(white, icon).convert("RGB")


def best_match(shot, icon, left, top, right, bottom):
    """Smallest mean channel difference of `icon` placed anywhere in the box."""
    width, height = icon.size
    icon_pixels = list(icon.getdata())
    best = None
    for y in range(top, bottom - height + 1):
        for x in range(left, right - width + 1):
            region = shot.crop((x, y, x + width, y + height)).getdata()
            total = 0
            for a, b in zip(region, icon_pixels):
                total += abs(a[0] - b[0]) + abs(a[1] - b[1]) + abs(a[2] - b[2])
                if best is not None and total >= best[0] * 3 * width * height:
                    break
            score = total / (3 * width * height)
            if best is None or score < best[0]:
                best = (score, x, y)
    return best


def main():
    shot_path, wx, wy, skin = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    shot = Image.open(shot_path).convert("RGB")

    # The title bar: a row through its middle, away from the icon and the buttons.
    row = [shot.getpixel((x, wy + TITLE_HEIGHT // 2)) for x in range(wx + 160, wx + 360, 4)]
    blue = sum(1 for p in row if close(p, TITLE_BLUE))
    print(f"title bar: {blue}/{len(row)} samples #0168B7", file=sys.stderr)

    # The key-status icon sits at the left of the status row.
    box = (wx, wy + STATUS_ROW[0], wx + 120, wy + STATUS_ROW[1] + 4)
    present = best_match(shot, on_white(f"{skin}/Tactova-FIDO-UI-Elements-14.png"), *box)
    absent = best_match(shot, on_white(f"{skin}/Tactova-FIDO-UI-Elements-15.png"), *box)
    print(f"status icon: key-present {present[0]:.1f} at ({present[1] - wx},{present[2] - wy}), "
          f"no-key {absent[0]:.1f}", file=sys.stderr)

    if sys.argv[5:] == ["--no-key"]:
        present, absent = absent, present
    ok = blue >= 0.9 * len(row) and present[0] < 4 and absent[0] > 10
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
