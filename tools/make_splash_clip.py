#!/usr/bin/env python3
"""Draws the splash clip and writes it as a RIFF/AVI file (RLE8, "MRLE").

The clip: an open book, seen from above, whose right-hand page turns over to
the left, then rests. 21 frames of 272 x 77 pixels at 10 frames per second, a
16-colour palette, no sound. The background is one plain colour, because the
animation control makes the colour of the first pixel transparent. The last
frame equals the first, so the clip loops without a jump.

Frame 0 is a key frame that codes every pixel; every later frame codes only
the pixels that differ from the frame before it (RLE8 delta moves skip the
rest), which keeps the file under 10 KB.

Usage: make_splash_clip.py OUTPUT.avi
"""

import math
import random
import struct
import sys

WIDTH, HEIGHT = 272, 77
FRAMES = 21
RATE = 10

BACKGROUND, OUTLINE, COVER, COVER_LIGHT, PAGE, PAGE_EDGE, PAGE_TURNING, TEXT, \
    SPINE, RIBBON, HEADING, SHADOW = range(12)
PALETTE = [
    (192, 192, 192),  # background, made transparent by the control
    (44, 30, 26),     # outline
    (122, 36, 32),    # cover
    (160, 62, 50),    # cover highlight
    (252, 250, 242),  # page
    (206, 198, 178),  # page edges
    (238, 233, 219),  # the page while it turns
    (112, 112, 124),  # lines of text
    (186, 178, 160),  # shadow along the spine
    (212, 168, 58),   # bookmark ribbon
    (52, 62, 122),    # heading
    (160, 160, 160),  # the book's shadow on the background
    (0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0),
]

# The book: cover, the two pages, the spine between them.
PAGE_TOP, PAGE_BOTTOM = 18, 57
COVER_BOX = (70, PAGE_TOP - 3, 201, PAGE_BOTTOM + 4)  # x0, y0, x1, y1 inclusive
LEFT_PAGE = (74, PAGE_TOP, 135, PAGE_BOTTOM)
RIGHT_PAGE = (137, PAGE_TOP, 198, PAGE_BOTTOM)
LINES = (PAGE_BOTTOM - PAGE_TOP - 6) // 4 + 1
SPINE_X = 136
HINGE = 136.5                        # where the turning page is fastened
LIFT = 4                             # how far the free edge grows when upright

TURN_FIRST, TURN_LAST = 6, 14        # frames in which the page is moving

# (right page?, row) -> first and last column of that page's line of text.
LINE_EXTENTS = {}


def text_lines(page, rng):
    """The lines of one page: (y, x0, x1, colour) runs, words split by gaps."""
    x0, y0, x1, _ = page
    runs = []
    left, right = x0 + 5, x1 - 5
    for i in range(LINES):
        y = y0 + 5 + 4 * i
        colour = TEXT
        end = right
        if i == 0:
            colour, end = HEADING, left + 28
        elif i in (LINES // 2 - 1, LINES - 1):
            end = left + rng.randint(14, 36)   # the end of a paragraph
        x = left + (8 if i in (1, LINES // 2) else 0)   # the start of a paragraph
        while x < end:
            word = min(rng.randint(3, 9), end - x)
            runs.append((y, x, x + word - 1, colour))
            x += word + 2
    return runs


def draw_book():
    img = [[BACKGROUND] * WIDTH for _ in range(HEIGHT)]

    def box(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                img[y][x] = c

    cx0, cy0, cx1, cy1 = COVER_BOX
    box(cx0 + 3, cy0 + 3, cx1 + 3, cy1 + 3, SHADOW)
    box(cx0, cy0, cx1, cy1, OUTLINE)
    box(cx0 + 1, cy0 + 1, cx1 - 1, cy1 - 1, COVER)
    box(cx0 + 1, cy0 + 1, cx1 - 1, cy0 + 1, COVER_LIGHT)
    # Page edges under the open pages show the thickness of the book.
    box(LEFT_PAGE[0] - 1, LEFT_PAGE[1] + 1, RIGHT_PAGE[2] + 1, LEFT_PAGE[3] + 2, PAGE_EDGE)
    box(*LEFT_PAGE, PAGE)
    box(*RIGHT_PAGE, PAGE)
    box(SPINE_X, LEFT_PAGE[1], SPINE_X, LEFT_PAGE[3] + 2, SPINE)
    box(LEFT_PAGE[2], LEFT_PAGE[1], LEFT_PAGE[2], LEFT_PAGE[3], SPINE)
    rng = random.Random(1729)
    for page in (LEFT_PAGE, RIGHT_PAGE):
        for y, x0, x1, c in text_lines(page, rng):
            box(x0, y, x1, y, c)
            # A page in motion shows its lines whole, without the word gaps.
            key = (page is RIGHT_PAGE, y)
            start, end = LINE_EXTENTS.get(key, (x0, x1))
            LINE_EXTENTS[key] = (min(start, x0), max(end, x1))
    # The ribbon hangs out of the book below the spine.
    box(SPINE_X - 1, cy1 - 2, SPINE_X + 1, cy1 + 6, RIBBON)
    box(SPINE_X, cy1 + 7, SPINE_X, cy1 + 7, RIBBON)
    return img


def draw_turning(book, angle):
    """The book with its right page turned by angle (0 flat right, pi flat left)."""
    img = [row[:] for row in book]
    c, s = math.cos(angle), math.sin(angle)
    width = RIGHT_PAGE[2] - HINGE + 0.5
    top0, bottom0 = RIGHT_PAGE[1], RIGHT_PAGE[3]
    edge = HINGE + width * c
    columns = range(int(math.floor(min(edge, HINGE))), int(math.ceil(max(edge, HINGE))) + 1)
    covered = []
    for x in columns:
        centre = x + 0.5
        if not min(edge, HINGE) <= centre <= max(edge, HINGE):
            continue
        u = (centre - HINGE) / c if abs(c) > 1e-6 else width
        u = max(0.0, min(width, abs(u)))
        lift = LIFT * s * u / width
        top, bottom = top0 - lift, bottom0 + lift
        ys = [y for y in range(HEIGHT) if top <= y + 0.5 <= bottom + 1]
        if not ys:
            continue
        covered.append(x)
        scale = (bottom + 1 - top) / (bottom0 + 1 - top0)
        # The front shows the right page; the back, seen from the left,
        # becomes the left page once it lies flat. Each line of text stays
        # one pixel high, moved to where the lifted page puts it.
        sx = int(HINGE + u) if c > 0 else int(HINGE - u)
        for y in ys:
            img[y][x] = PAGE_TURNING
        for (front, v), (start, end) in LINE_EXTENTS.items():
            if front == (c > 0) and start <= sx <= end:
                img[int(top + (v + 0.5 - top0) * scale)][x] = TEXT
        img[ys[0]][x] = PAGE_EDGE
        img[ys[-1]][x] = PAGE_EDGE
    if covered:
        far = covered[-1] if c > 0 else covered[0]
        for y in range(HEIGHT):
            if img[y][far] in (PAGE_TURNING, TEXT):
                img[y][far] = PAGE_EDGE
    return img


def frames():
    book = draw_book()
    out = []
    steps = TURN_LAST - TURN_FIRST + 2
    for f in range(FRAMES):
        if TURN_FIRST <= f <= TURN_LAST:
            t = (f - TURN_FIRST + 1) / steps
            out.append(draw_turning(book, math.pi * (1 - math.cos(math.pi * t)) / 2))
        else:
            out.append(book)
    return out


# ---- RLE8 ----

def encode_pixels(pixels):
    """Runs of equal pixels as (count, colour) pairs; stretches of single
    pixels as absolute runs (0, n, bytes, padding to a whole word)."""
    runs = []
    i = 0
    while i < len(pixels):
        j = i
        while j < len(pixels) and pixels[j] == pixels[i] and j - i < 255:
            j += 1
        runs.append((j - i, pixels[i]))
        i = j
    out = bytearray()
    k = 0
    while k < len(runs):
        m = k
        while m < len(runs) and runs[m][0] == 1 and m - k < 255:
            m += 1
        if m - k >= 4:
            literal = bytes(colour for _, colour in runs[k:m])
            out += bytes([0, len(literal)]) + literal + (b"\0" if len(literal) % 2 else b"")
            k = m
        else:
            out += bytes(runs[k])
            k += 1
    return out


def encode_key(img):
    out = bytearray()
    for r in range(HEIGHT):            # bottom row first
        out += encode_pixels(img[HEIGHT - 1 - r])
        out += b"\0\0" if r < HEIGHT - 1 else b""
    return out + b"\0\1"


def moves(dx, dy):
    out = bytearray()
    while dx or dy:
        sx, sy = min(dx, 255), min(dy, 255)
        out += bytes([0, 2, sx, sy])
        dx, dy = dx - sx, dy - sy
    return out


def encode_delta(prev, img):
    out = bytearray()
    cx, cr = 0, 0
    for r in range(HEIGHT):
        y = HEIGHT - 1 - r
        changed = [x for x in range(WIDTH) if prev[y][x] != img[y][x]]
        if not changed:
            continue
        segments = [[changed[0], changed[0]]]
        for x in changed[1:]:
            if x - segments[-1][1] <= 4:   # re-coding a short gap beats a move
                segments[-1][1] = x
            else:
                segments.append([x, x])
        for x0, x1 in segments:
            if r > cr and x0 < cx:
                out += b"\0\0"             # end of line: back to column 0, one up
                cx, cr = 0, cr + 1
            out += moves(x0 - cx, r - cr)
            out += encode_pixels(img[y][x0:x1 + 1])
            cx, cr = x1 + 1, r
    return out + b"\0\1"


# ---- AVI ----

def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def riff_list(kind, fourcc, items):
    body = fourcc + b"".join(items)
    return kind + struct.pack("<I", len(body)) + body


def make_avi(images):
    coded = [encode_key(images[0])]
    for prev, img in zip(images, images[1:]):
        coded.append(encode_delta(prev, img))
    largest = max(len(c) for c in coded)
    avih = struct.pack("<14I", 1000000 // RATE, largest * RATE, 0, 0x10, FRAMES, 0, 1,
                       largest, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = b"vids" + b"mrle" + struct.pack("<IHHIIIIIIII4h", 0, 0, 0, 0, 1, RATE, 0, FRAMES,
                                           largest, 0xFFFFFFFF, 0, 0, 0, WIDTH, HEIGHT)
    strf = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, largest, 0, 0,
                       len(PALETTE), 0)
    strf += b"".join(bytes([b, g, r, 0]) for r, g, b in PALETTE)
    hdrl = riff_list(b"LIST", b"hdrl", [chunk(b"avih", avih),
                                        riff_list(b"LIST", b"strl", [chunk(b"strh", strh),
                                                                     chunk(b"strf", strf)])])
    movi_items, index, offset = [], bytearray(), 4
    for i, data in enumerate(coded):
        item = chunk(b"00dc", data)
        index += b"00dc" + struct.pack("<III", 0x10 if i == 0 else 0, offset, len(data))
        movi_items.append(item)
        offset += len(item)
    movi = riff_list(b"LIST", b"movi", movi_items)
    return riff_list(b"RIFF", b"AVI ", [hdrl, movi, chunk(b"idx1", bytes(index))])


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = frames()
    assert images[0] == images[-1], "the clip must loop without a jump"
    data = make_avi(images)
    with open(sys.argv[1], "wb") as f:
        f.write(data)
    print(f"{sys.argv[1]}: {len(data)} bytes, {FRAMES} frames")


if __name__ == "__main__":
    main()
