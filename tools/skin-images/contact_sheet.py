#!/usr/bin/python3
"""Lays every PNG of a folder out on one sheet, enlarged, for looking the skin over.

    /usr/bin/python3 tools/skin-images/contact_sheet.py skin/ sheet.png [zoom]
"""

import os
import sys

from PIL import Image, ImageDraw, ImageFont


def main():
    folder, target = sys.argv[1], sys.argv[2]
    zoom = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    names = sorted(n for n in os.listdir(folder) if n.endswith(".png"))
    font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 11)
    tiles = []
    for name in names:
        img = Image.open(os.path.join(folder, name)).convert("RGBA")
        img = img.resize((img.width * zoom, img.height * zoom), Image.NEAREST)
        tiles.append((name, img))
    width = 1200
    x = y = 10
    row_h = 0
    places = []
    for name, img in tiles:
        w, h = max(img.width, 150), img.height + 16
        if x + w > width:
            x, y = 10, y + row_h + 10
            row_h = 0
        places.append((x, y, name, img))
        x += w + 10
        row_h = max(row_h, h)
    sheet = Image.new("RGBA", (width, y + row_h + 10), (200, 204, 208, 255))
    draw = ImageDraw.Draw(sheet)
    for x, y, name, img in places:
        # A checker board under each picture shows its transparent parts.
        for cy in range(0, img.height, 8):
            for cx in range(0, img.width, 8):
                shade = 255 if (cx // 8 + cy // 8) % 2 == 0 else 230
                draw.rectangle((x + cx, y + cy, x + min(cx + 7, img.width - 1),
                                y + min(cy + 7, img.height - 1)), fill=(shade, shade, shade, 255))
        sheet.alpha_composite(img, (x, y))
        draw.text((x, y + img.height + 2), name, font=font, fill=(0, 0, 0, 255))
    sheet.save(target)


if __name__ == "__main__":
    main()
