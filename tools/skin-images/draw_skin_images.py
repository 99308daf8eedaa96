#!/usr/bin/python3
"""Draws every picture of Pinvale's skin into skin/.

Flat style in the main window's blue. Every picture is drawn at four times its size and
scaled down, which gives clean anti-aliased edges without any vector library. Each one is
saved twice: "Name.png" at its size and "Name@2x.png" at twice its size, which the program
draws on displays scaled above 100 %. The output is committed; run this again after
changing a picture:

    /usr/bin/python3 tools/skin-images/draw_skin_images.py [output folder]

Needs Pillow (Debian: python3-pil) and DejaVu Sans (fonts-dejavu-core).
"""

import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

SCALE = 4

BLUE = (0x01, 0x68, 0xB7, 255)
BLUE_LIGHT = (0x18, 0x83, 0xD7, 255)
BLUE_DARK = (0x01, 0x4E, 0x8A, 255)
BLUE_PALE = (0xE3, 0xEF, 0xFA, 255)
WHITE = (255, 255, 255, 255)
GREY_TEXT = (0x5F, 0x6B, 0x7A, 255)
GREY_FILL = (0xE8, 0xEC, 0xF0, 255)
GREY_MARK = (0xA7, 0xB1, 0xBC, 255)
RED = (0xE8, 0x11, 0x23, 255)
RED_DARK = (0xB0, 0x0C, 0x1A, 255)
ERROR_RED = (0xD9, 0x36, 0x3E, 255)
GREEN = (0x2E, 0x9E, 0x5B, 255)
AMBER = (0xF2, 0xA9, 0x00, 255)
CLEAR = (0, 0, 0, 0)
MAGENTA = (255, 0, 255, 255)

FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


class Canvas:
    """A picture drawn in the units of its final size on a four times larger bitmap."""

    def __init__(self, width, height, background=CLEAR):
        self.width, self.height = width, height
        self.image = Image.new("RGBA", (width * SCALE, height * SCALE), background)
        self.draw = ImageDraw.Draw(self.image)

    @staticmethod
    def _s(values):
        return [round(v * SCALE) for v in values]

    def rect(self, box, fill, radius=0):
        box = self._s(box)
        box[2] -= 1
        box[3] -= 1
        if radius:
            self.draw.rounded_rectangle(box, radius=round(radius * SCALE), fill=fill)
        else:
            self.draw.rectangle(box, fill=fill)

    def outline_rect(self, box, colour, width, radius=0):
        box = self._s(box)
        box[2] -= 1
        box[3] -= 1
        self.draw.rounded_rectangle(box, radius=round(radius * SCALE), outline=colour,
                                    width=round(width * SCALE))

    def circle(self, cx, cy, r, fill=None, outline=None, width=1):
        box = self._s((cx - r, cy - r, cx + r, cy + r))
        self.draw.ellipse(box, fill=fill, outline=outline,
                          width=round(width * SCALE) if outline else 0)

    def line(self, points, colour, width, round_ends=True):
        pts = [tuple(self._s(p)) for p in points]
        w = round(width * SCALE)
        self.draw.line(pts, fill=colour, width=w, joint="curve")
        if round_ends:
            for p in (pts[0], pts[-1]):
                r = w / 2
                self.draw.ellipse((p[0] - r, p[1] - r, p[0] + r, p[1] + r), fill=colour)

    def arc(self, cx, cy, r, start, end, colour, width):
        box = self._s((cx - r, cy - r, cx + r, cy + r))
        self.draw.arc(box, start, end, fill=colour, width=round(width * SCALE))
        # Round the two ends of the stroke.
        for angle in (start, end):
            a = math.radians(angle)
            rr = r - width / 2
            self.circle(cx + rr * math.cos(a), cy + rr * math.sin(a), width / 2, fill=colour)

    def polygon(self, points, fill):
        self.draw.polygon([tuple(self._s(p)) for p in points], fill=fill)

    def text(self, cx, cy, text, size, colour, font_file=FONT_BOLD):
        font = ImageFont.truetype(font_file, round(size * SCALE))
        self.draw.text((cx * SCALE, cy * SCALE), text, font=font, fill=colour, anchor="mm")

    def scaled(self, factor):
        return self.image.resize((self.width * factor, self.height * factor), Image.LANCZOS)

    def save(self, folder, name):
        for factor in (1, 2):
            save_picture(self.scaled(factor), folder, name, factor)


def save_picture(image, folder, name, factor):
    """Writes "Name.png" (factor 1) or "Name@2x.png" (factor 2)."""
    if factor != 1:
        stem, extension = os.path.splitext(name)
        name = f"{stem}@{factor}x{extension}"
    image.save(os.path.join(folder, name), optimize=True)


def masked(canvas, factor=1):
    """Flattens a picture onto magenta for the layouts' mask colour: every pixel that is not
    clearly part of the drawing becomes exact magenta, the rest becomes opaque."""
    small = canvas.scaled(factor)
    out = Image.new("RGBA", small.size, MAGENTA)
    for y in range(small.height):
        for x in range(small.width):
            r, g, b, a = small.getpixel((x, y))
            if a >= 96:
                out.putpixel((x, y), (r, g, b, 255))
    return out


def arrow_arc(c, cx, cy, r, start, end, colour, width, head):
    """An arc drawn clockwise from `start` to `end` degrees with an arrow head at its end."""
    c.arc(cx, cy, r + width / 2, start, end, colour, width)
    a = math.radians(end)
    ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
    tx, ty = -math.sin(a), math.cos(a)  # direction of travel
    nx, ny = math.cos(a), math.sin(a)  # outwards
    c.polygon([(ex + tx * head * 1.3, ey + ty * head * 1.3),
               (ex + nx * head, ey + ny * head),
               (ex - nx * head, ey - ny * head)], colour)


# ---------------------------------------------------------------------------------------
# Glyphs, drawn into a box centred on (cx, cy) of about `size` units.


def glyph_key(c, cx, cy, size, colour, hole=WHITE):
    """A security key seen from above: body, touch ring and USB plug to the right."""
    w, h = size, size * 0.46
    body = (cx - w / 2, cy - h / 2, cx + w * 0.28, cy + h / 2)
    c.rect(body, colour, radius=h * 0.3)
    plug = (cx + w * 0.28 - 1, cy - h * 0.3, cx + w / 2, cy + h * 0.3)
    c.rect(plug, colour, radius=h * 0.06)
    c.rect((plug[0] + (plug[2] - plug[0]) * 0.45, cy - h * 0.14,
            plug[0] + (plug[2] - plug[0]) * 0.65, cy - h * 0.02), hole)
    c.rect((plug[0] + (plug[2] - plug[0]) * 0.45, cy + h * 0.02,
            plug[0] + (plug[2] - plug[0]) * 0.65, cy + h * 0.14), hole)
    ring_x = cx - w * 0.22
    c.circle(ring_x, cy, h * 0.27, outline=hole, width=max(1.2, size * 0.04))
    c.circle(ring_x, cy, h * 0.1, fill=hole)


def glyph_pin_field(c, cx, cy, size, colour, back):
    """A PIN entry field with four masked characters."""
    w, h = size, size * 0.5
    c.rect((cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2), colour, radius=h * 0.22)
    for i in range(4):
        x = cx - w * 0.3 + i * w * 0.2
        c.circle(x, cy, h * 0.11, fill=back)


def glyph_plus_badge(c, cx, cy, r, colour, back):
    c.circle(cx, cy, r + r * 0.28, fill=back)
    c.circle(cx, cy, r, fill=colour)
    c.line([(cx - r * 0.5, cy), (cx + r * 0.5, cy)], back, r * 0.3)
    c.line([(cx, cy - r * 0.5), (cx, cy + r * 0.5)], back, r * 0.3)


def glyph_swap_badge(c, cx, cy, r, colour, back):
    """Two arrows chasing each other: the PIN is replaced."""
    c.circle(cx, cy, r + r * 0.28, fill=back)
    c.circle(cx, cy, r, fill=colour)
    arrow_arc(c, cx, cy, r * 0.62, 200, 320, back, r * 0.2, r * 0.3)
    arrow_arc(c, cx, cy, r * 0.62, 20, 140, back, r * 0.2, r * 0.3)


def glyph_shield_check(c, cx, cy, size, colour, back):
    w, h = size * 0.8, size
    top = cy - h / 2
    pts = [(cx, top), (cx + w / 2, top + h * 0.16), (cx + w / 2, top + h * 0.5)]
    # The lower half of the shield curves into a point.
    steps = 12
    for i in range(1, steps + 1):
        t = i / steps
        x = cx + (w / 2) * math.cos(t * math.pi / 2)
        y = top + h * 0.5 + (h * 0.5) * math.sin(t * math.pi / 2)
        pts.append((x, y))
    left = [(2 * cx - x, y) for (x, y) in reversed(pts[1:-1])]
    c.polygon(pts + left, colour)
    c.line([(cx - w * 0.22, cy + h * 0.02), (cx - w * 0.04, cy + h * 0.2),
            (cx + w * 0.26, cy - h * 0.16)], back, size * 0.09)


def glyph_reset(c, cx, cy, size, colour, back):
    """A circular arrow around a small key: the key goes back to its factory state."""
    arrow_arc(c, cx, cy, size * 0.46, 300, 210, colour, size * 0.09, size * 0.13)
    glyph_key(c, cx, cy, size * 0.52, colour, hole=back)


def glyph_fingerprint(c, cx, cy, size, colour, width=None):
    """Ridges of a fingertip: loops over the top that run down on both sides, each one's legs
    of their own length, around a short core."""
    width = width or size * 0.058
    step = size * 0.1
    top = cy - size * 0.12
    # (radius in steps, left leg, right leg) with legs in units of the size.
    ridges = [(1, 0.12, 0.22), (2, 0.3, 0.2), (3, 0.38, 0.34), (4, 0.3, 0.42), (5, 0.16, 0.3)]
    for n, left, right in ridges:
        r = step * n
        points = [(cx - r, top + size * left)]
        for k in range(0, 25):
            a = math.pi + math.pi * k / 24
            points.append((cx + r * math.cos(a), top + r * math.sin(a)))
        points.append((cx + r, top + size * right))
        c.line(points, colour, width)
    c.line([(cx, top - size * 0.01), (cx, top + size * 0.16)], colour, width)


def glyph_passkey(c, cx, cy, size, colour, back):
    """A person with a key badge: a sign-in kept on the key."""
    head_r = size * 0.17
    c.circle(cx - size * 0.08, cy - size * 0.2, head_r, fill=colour)
    body = (cx - size * 0.42, cy + size * 0.02, cx + size * 0.26, cy + size * 0.5)
    c.rect(body, colour, radius=size * 0.24)
    c.rect((body[0], cy + size * 0.3, body[2], body[3]), colour)
    # The badge: a small key on a disc, lower right.
    bx, by, r = cx + size * 0.3, cy + size * 0.24, size * 0.2
    c.circle(bx, by, r * 1.28, fill=back)
    c.circle(bx, by, r, fill=colour)
    c.circle(bx - r * 0.32, by, r * 0.3, outline=back, width=r * 0.16)
    c.line([(bx - r * 0.02, by), (bx + r * 0.6, by)], back, r * 0.16)
    c.line([(bx + r * 0.45, by), (bx + r * 0.45, by + r * 0.3)], back, r * 0.14)


def glyph_finger(c, cx, top, width, length, skin, nail):
    """A fingertip pointing down, its tip at `top + length`."""
    c.rect((cx - width / 2, top, cx + width / 2, top + length), skin, radius=width / 2)
    c.rect((cx - width * 0.3, top + length - width * 0.95, cx + width * 0.3, top + length - width * 0.25),
           nail, radius=width * 0.22)


# ---------------------------------------------------------------------------------------
# The pictures of the archive.


def title_bar_button(name, kind, background, out):
    c = Canvas(48, 36, background)
    if kind == "min":
        c.line([(19, 18.5), (29, 18.5)], WHITE, 1.4)
    else:
        c.line([(19, 13), (29, 23)], WHITE, 1.4)
        c.line([(29, 13), (19, 23)], WHITE, 1.4)
    c.save(out, name)


def title_icon(out):
    c = Canvas(35, 36, CLEAR)
    # A white shield with the key hole: the program's mark, on the blue title bar.
    glyph_shield_check(c, 17.5, 18, 24, WHITE, BLUE)
    c.save(out, "title_icon.png")


def dialog_close(name, background, mark, out):
    c = Canvas(48, 32, background)
    c.line([(19.5, 11.5), (28.5, 20.5)], mark, 1.3)
    c.line([(28.5, 11.5), (19.5, 20.5)], mark, 1.3)
    c.save(out, name)


def help_button(name, fill, mark, out):
    c = Canvas(16, 16)
    c.circle(8, 8, 7.6, fill=fill)
    c.text(8, 8.4, "?", 11, mark)
    c.save(out, name)


ACTIONS = [
    ("SetPin", "Set PIN"),
    ("ChangePin", "Change PIN"),
    ("VerifyPin", "Verify PIN"),
    ("ResetDevice", "Reset Device"),
]

# The key's own contents, offered below the four PIN actions on keys that manage them: cards
# of the same kind, one third as high, the glyph beside the label.
CONTENT_ACTIONS = [
    ("Fingerprints", "Fingerprints"),
    ("Passkeys", "Passkeys"),
]


def action_glyph(c, action, cx, cy, colour, back):
    if action == "SetPin":
        glyph_pin_field(c, cx - 2, cy + 2, 46, colour, back)
        glyph_plus_badge(c, cx + 21, cy - 10, 8, colour, back)
    elif action == "ChangePin":
        glyph_pin_field(c, cx - 2, cy + 2, 46, colour, back)
        glyph_swap_badge(c, cx + 21, cy - 10, 8.5, colour, back)
    elif action == "VerifyPin":
        glyph_shield_check(c, cx, cy, 46, colour, back)
    elif action == "Fingerprints":
        glyph_fingerprint(c, cx, cy + 2, 50, colour)
    elif action == "Passkeys":
        glyph_passkey(c, cx - 2, cy - 2, 50, colour, back)
    else:
        glyph_reset(c, cx, cy, 48, colour, back)


def action_button(action, label, state, out):
    w, h = 171, 120
    c = Canvas(w, h)
    if state == "Active":
        card, ink = BLUE, WHITE
    elif state == "Highlight":
        card, ink = BLUE_LIGHT, WHITE
    else:
        card, ink = GREY_FILL, GREY_MARK
    if state == "Highlight":
        # A soft shadow lifts the hovered card off the page.
        c.rect((2, 4, w - 2, h), (0x01, 0x3E, 0x6E, 60), radius=8)
    c.rect((1, 1, w - 1, h - 3), card, radius=8)
    action_glyph(c, action, w / 2, 45, ink, card)
    c.text(w / 2, 92, label, 15, ink)
    c.save(out, f"{action}_{state}.png")


def card_colours(state):
    if state == "Active":
        return BLUE, WHITE
    if state == "Highlight":
        return BLUE_LIGHT, WHITE
    return GREY_FILL, GREY_MARK


def content_button(action, label, state, out):
    w, h = 171, 48
    c = Canvas(w, h)
    card, ink = card_colours(state)
    if state == "Highlight":
        c.rect((2, 3, w - 2, h), (0x01, 0x3E, 0x6E, 60), radius=8)
    c.rect((1, 1, w - 1, h - 2), card, radius=8)
    if action == "Fingerprints":
        glyph_fingerprint(c, 30, 25, 28, ink, width=1.7)
    else:
        glyph_passkey(c, 30, 22, 32, ink, card)
    c.text(108, 23.5, label, 15, ink)
    c.save(out, f"{action}_{state}.png")


def key_status(name, present, out):
    c = Canvas(63, 54)
    if present:
        glyph_key(c, 29, 27, 46, BLUE, WHITE)
        c.circle(50, 15, 8.5, fill=WHITE)
        c.circle(50, 15, 7, fill=GREEN)
        c.line([(46.6, 15.2), (49, 17.6), (53.4, 12.6)], WHITE, 1.6)
    else:
        glyph_key(c, 29, 27, 46, GREY_MARK, WHITE)
        c.circle(50, 15, 8.5, fill=WHITE)
        c.circle(50, 15, 7, fill=ERROR_RED)
        c.line([(47.2, 12.2), (52.8, 17.8)], WHITE, 1.6)
        c.line([(52.8, 12.2), (47.2, 17.8)], WHITE, 1.6)
    c.save(out, name)


def logo(out):
    c = Canvas(140, 32)
    glyph_shield_check(c, 15, 16, 26, BLUE, WHITE)
    c.text(78, 16, "Pinvale", 20, BLUE)
    c.save(out, "logo_icon.png")


def scroll_strip(out):
    """Ten 16 x 16 cells stacked: up arrow (normal, hot, pushed), down arrow (normal, hot,
    pushed), thumb (normal, hot, pushed) and the rail, on the mask colour #FFFF00FF."""
    cells = []
    for fill in (GREY_MARK, BLUE_LIGHT, BLUE):
        c = Canvas(16, 16)
        c.polygon([(8, 5), (12.5, 10.5), (3.5, 10.5)], fill)
        cells.append(c)
    for fill in (GREY_MARK, BLUE_LIGHT, BLUE):
        c = Canvas(16, 16)
        c.polygon([(8, 11), (12.5, 5.5), (3.5, 5.5)], fill)
        cells.append(c)
    for fill in ((0xC4, 0xCC, 0xD4, 255), BLUE_LIGHT, BLUE):
        c = Canvas(16, 16)
        c.rect((4, 0, 12, 16), fill, radius=0)
        cells.append(c)
    c = Canvas(16, 16)
    c.rect((7, 0, 9, 16), (0xEE, 0xF1, 0xF4, 255))
    cells.append(c)
    for factor in (1, 2):
        side = 16 * factor
        strip = Image.new("RGBA", (side, side * len(cells)), MAGENTA)
        for i, cell in enumerate(cells):
            strip.paste(masked(cell, factor), (0, side * i))
        save_picture(strip, out, "scroll.png", factor)


def pin_button(out):
    c = Canvas(48, 48)
    c.rect((2, 2, 46, 46), BLUE, radius=10)
    for row in range(3):
        for col in range(3):
            c.circle(14 + col * 10, 14 + row * 10, 3, fill=WHITE)
    c.save(out, "PIN_Button.png")


def message_icons(out):
    c = Canvas(32, 32)
    c.polygon([(16, 2.5), (30.5, 28.5), (1.5, 28.5)], AMBER)
    c.line([(16, 11), (16, 19.5)], WHITE, 3)
    c.circle(16, 24, 1.8, fill=WHITE)
    c.save(out, "Png_Msg_warning.png")

    c = Canvas(32, 32)
    c.circle(16, 16, 14.5, fill=ERROR_RED)
    c.line([(11, 11), (21, 21)], WHITE, 3)
    c.line([(21, 11), (11, 21)], WHITE, 3)
    c.save(out, "Png_Msg_error.png")


def finger_on_key(out):
    c = Canvas(120, 120)
    c.circle(60, 60, 58, fill=BLUE_PALE)
    # The key lies across the lower half, its touch ring under the finger.
    key_cy = 80
    c.rect((14, key_cy - 14, 84, key_cy + 14), BLUE, radius=9)
    c.rect((83, key_cy - 9, 102, key_cy + 9), BLUE, radius=2)
    c.rect((91, key_cy - 5, 95, key_cy - 1), WHITE)
    c.rect((91, key_cy + 1, 95, key_cy + 5), WHITE)
    c.circle(36, key_cy, 8.5, outline=WHITE, width=2)
    c.circle(36, key_cy, 3.5, fill=WHITE)
    # Ripples show the touch being sensed.
    for r in (14, 19):
        c.arc(36, key_cy, r, 195, 345, BLUE_LIGHT, 2)

    # The hand comes in from the top: a fist with the index finger stretched down onto the
    # ring, drawn on its own layer and cut to the round background.
    hand = Canvas(120, 120)
    skin = (0xF2, 0xC4, 0x9E, 255)
    shade = (0xD9, 0xA2, 0x7A, 255)
    nail = (0xFB, 0xE4, 0xD2, 255)
    cuff = BLUE_DARK
    hand.rect((34, -20, 92, 36), skin, radius=14)
    for i in range(3):
        x = 48 + i * 14
        hand.rect((x, 24, x + 14, 44), skin, radius=7)
        hand.line([(x + 1, 30), (x + 1, 38)], shade, 1.2)
    hand.rect((27, 8, 46, key_cy - 10), skin, radius=9.5)
    hand.line([(46, 12), (46, 40)], shade, 1.2)
    hand.rect((31, key_cy - 27, 42, key_cy - 14), nail, radius=5)
    hand.rect((30, -20, 96, 6), cuff, radius=3)
    mask = Image.new("L", hand.image.size, 0)
    ImageDraw.Draw(mask).ellipse([round(v * SCALE) for v in (2, 2, 118, 118)], fill=255)
    layer = Image.new("RGBA", hand.image.size, CLEAR)
    layer.paste(hand.image, (0, 0), Image.composite(hand.image.split()[3], mask, mask))
    c.image.alpha_composite(layer)
    c.save(out, "Rec_Finger_Add.png")


def outcome_pictures(out):
    c = Canvas(120, 120)
    c.circle(60, 60, 56, fill=GREEN)
    c.line([(36, 62), (52, 78), (85, 44)], WHITE, 9)
    c.save(out, "Pass.png")

    c = Canvas(120, 120)
    c.circle(60, 60, 56, fill=ERROR_RED)
    c.line([(40, 40), (80, 80)], WHITE, 9)
    c.line([(80, 40), (40, 80)], WHITE, 9)
    c.save(out, "Fail.png")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "skin")
    os.makedirs(out, exist_ok=True)

    title_icon(out)
    title_bar_button("Minimize_1.png", "min", BLUE, out)
    title_bar_button("Minimize_3.png", "min", BLUE_LIGHT, out)
    title_bar_button("Minimize_2.png", "min", BLUE_DARK, out)
    title_bar_button("Close_1.png", "close", BLUE, out)
    title_bar_button("Close_5.png", "close", RED, out)
    title_bar_button("Close_4.png", "close", RED_DARK, out)

    dialog_close("Close_Active.png", WHITE, GREY_TEXT, out)
    dialog_close("Close_MouseOver.png", RED, WHITE, out)
    dialog_close("Close_Click.png", RED_DARK, WHITE, out)

    help_button("Help_Active.png", BLUE, WHITE, out)
    help_button("Help_Highlight.png", BLUE_LIGHT, WHITE, out)
    help_button("Help_Inactive.png", (0xC9, 0xD1, 0xD9, 255), WHITE, out)

    for action, label in ACTIONS:
        for state in ("Active", "Highlight", "Inactive"):
            action_button(action, label, state, out)
    for action, label in CONTENT_ACTIONS:
        for state in ("Active", "Highlight", "Inactive"):
            content_button(action, label, state, out)

    key_status("Tactova-FIDO-UI-Elements-14.png", True, out)
    key_status("Tactova-FIDO-UI-Elements-15.png", False, out)
    logo(out)
    scroll_strip(out)
    pin_button(out)
    message_icons(out)
    finger_on_key(out)
    outcome_pictures(out)


if __name__ == "__main__":
    main()
