#!/usr/bin/env python3
"""Checks a screenshot of Pinvale's main window: the title bar in the skin's blue
(#0168B7) and, in the status row, the key-present icon rather than the no-key one.

Usage: check_main_window.py SCREENSHOT WINDOW_X WINDOW_Y SKIN_DIR [--no-key] [--scale 2]
Exit 0 when both hold, 1 otherwise (with the readings on stderr). With --no-key
the status row must show the no-key icon instead.

With --scale 2 the window is drawn at display scale 2: the icons are the pictures
drawn for twice the size, and the status text must be rendered at the doubled font
size, not stretched. Stretched text gives itself away: without filtering every 2x2
block of pixels is one colour; filtered, no two neighbouring pixels differ by half
the contrast. At 1 the status text is 11 pixels high.
"""
import sys

from PIL import Image, ImageChops, ImageStat

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
    best = None
    for y in range(top, bottom - height + 1):
        for x in range(left, right - width + 1):
            diff = ImageChops.difference(shot.crop((x, y, x + width, y + height)), icon)
            score = sum(ImageStat.Stat(diff).mean) / 3
            if best is None or score < best[0]:
                best = (score, x, y)
    return best


def text_readings(gray):
    """Ink height, steep edges among edges, mixed 2x2 blocks among inked ones."""
    width, height = gray.size
    px = gray.load()
    rows = [y for y in range(height) if any(px[x, y] < 128 for x in range(width))]
    contrast = 255 - min(gray.getdata())
    edges = steep = blocks = mixed = 0
    for y in range(height):
        for x in range(width - 1):
            step = abs(px[x, y] - px[x + 1, y])
            edges += step >= 0.1 * contrast
            steep += step >= 0.5 * contrast
            if x % 2 == 0 and y % 2 == 0 and y + 1 < height:
                values = (px[x, y], px[x + 1, y], px[x, y + 1], px[x + 1, y + 1])
                if min(values) < 200:
                    blocks += 1
                    mixed += max(values) - min(values) > 0.1 * contrast
    ink_height = rows[-1] - rows[0] + 1 if rows else 0
    return ink_height, steep / max(edges, 1), mixed / max(blocks, 1)


def main():
    shot_path, wx, wy, skin = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    options = sys.argv[5:]
    s = int(options[options.index("--scale") + 1]) if "--scale" in options else 1
    suffix = "@2x" if s > 1 else ""
    shot = Image.open(shot_path).convert("RGB")

    # The title bar: a row through its middle, away from the icon and the buttons.
    middle = wy + s * TITLE_HEIGHT // 2
    row = [shot.getpixel((x, middle)) for x in range(wx + 160 * s, wx + 360 * s, 4)]
    blue = sum(1 for p in row if close(p, TITLE_BLUE))
    print(f"title bar: {blue}/{len(row)} samples #0168B7", file=sys.stderr)

    # The key-status icon sits at the left of the status row.
    box = (wx, wy + s * STATUS_ROW[0], wx + 120 * s, wy + s * (STATUS_ROW[1] + 4))
    present = best_match(shot, on_white(f"{skin}/Tactova-FIDO-UI-Elements-14{suffix}.png"), *box)
    absent = best_match(shot, on_white(f"{skin}/Tactova-FIDO-UI-Elements-15{suffix}.png"), *box)
    print(f"status icon: key-present {present[0]:.1f} at ({present[1] - wx},{present[2] - wy}), "
          f"no-key {absent[0]:.1f}", file=sys.stderr)

    if "--no-key" in options:
        present, absent = absent, present
    ok = blue >= 0.9 * len(row) and present[0] < 4 and absent[0] > 10
    if s > 1:
        text = shot.convert("L").crop((wx + 95 * s, wy + 40 * s, wx + 330 * s, wy + 88 * s))
        ink_height, steep, mixed = text_readings(text)
        print(f"status text: {ink_height} px high, steep edges {steep:.2f}, "
              f"mixed 2x2 blocks {mixed:.2f}", file=sys.stderr)
        ok = ok and ink_height >= 9 * s and steep >= 0.25 and mixed >= 0.5
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
