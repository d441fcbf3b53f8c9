#!/usr/bin/env python3
"""Writes the application icon for the desktop's icon theme (hicolor) at every size the
menu and the task switcher ask for: quillmark-<size>.png next to this script. The drawing
is the one of the program's own icon 128 (resources/art/make-artwork.py)."""
import importlib.util
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "..", "..", "resources", "art", "make-artwork.py")

found = importlib.util.spec_from_file_location("make_artwork", ART)
art = importlib.util.module_from_spec(found)
found.loader.exec_module(art)

for size in (16, 24, 32, 48, 64, 128, 256):
    with open(os.path.join(HERE, "quillmark-%d.png" % size), "wb") as f:
        f.write(art.png_bytes(art.icon_app(size)))
