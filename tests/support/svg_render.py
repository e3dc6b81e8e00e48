"""Headless Chromium drawing an SVG file, for the tests of pictures."""
import os
import shutil
import subprocess
import tempfile
import time


def render(svg, png, height):
    """Seconds Chromium takes to draw svg into png; None when it failed."""
    profile = tempfile.mkdtemp()
    begin = time.monotonic()
    try:
        subprocess.run(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu",
             "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync",
             f"--user-data-dir={profile}", f"--screenshot={png}",
             f"--window-size=1000,{min(int(height), 4000)}",
             "file://" + os.path.abspath(svg)],
            capture_output=True, timeout=240)
    except subprocess.TimeoutExpired:
        return None
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return time.monotonic() - begin if os.path.exists(png) else None


def drawn(png):
    """Share of pixels that are not the page's white."""
    from PIL import Image
    with Image.open(png) as image:
        counts = image.convert("L").histogram()
    return sum(counts[:240]) / sum(counts)
