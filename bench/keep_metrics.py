#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Figures for the document-keeping PDF compression (scripts/bench pdfs).

  keep_metrics.py SOURCE.pdf RESULT.pdf
      Prints one JSON object comparing RESULT with SOURCE:
      pages (both counts), boxes_kept (every page's media box, crop box and rotation equal),
      recall (share of SOURCE's words, as pdftotext extracts them, lower-cased \\w+ tokens
      with multiplicity, that RESULT also holds), links and links_kept (link annotations of
      SOURCE, and those RESULT holds on the same page with the same target: the same URI or
      the same page), outline and outline_kept (outline items, by title and target page),
      ssim (per measured page: the first, the middle one and the first other page that shows
      an image, rendered gray at 100 dpi, or less for pages over 30 inches) and ssim_min.
"""
import collections
import json
import re
import subprocess
import sys
import tempfile

import numpy
import pikepdf
from skimage.metrics import structural_similarity

WORD = re.compile(r"\w+")


def words(path):
    text = subprocess.run(["pdftotext", "-q", path, "-"], capture_output=True).stdout
    return collections.Counter(w.lower() for w in WORD.findall(text.decode("utf-8", "replace")))


def recall(source, result):
    expected = words(source)
    found = words(result)
    total = sum(expected.values())
    return 1.0 if total == 0 else sum((expected & found).values()) / total


def page_index(pdf):
    return {page.obj.objgen: i for i, page in enumerate(pdf.pages)}


def named_destinations(pdf):
    names = {}
    try:
        if "/Names" in pdf.Root and "/Dests" in pdf.Root.Names:
            for key, value in pikepdf.NameTree(pdf.Root.Names.Dests).items():
                names[str(key)] = value
        if "/Dests" in pdf.Root:
            for key, value in pdf.Root.Dests.items():
                names[str(key).lstrip("/")] = value
    except Exception:
        pass
    return names


def target(pdf, destination, pages, names, depth=0):
    if isinstance(destination, (pikepdf.String, pikepdf.Name)) and depth < 4:
        key = str(destination).lstrip("/")
        return target(pdf, names.get(key), pages, names, depth + 1)
    if isinstance(destination, pikepdf.Dictionary) and "/D" in destination:
        return target(pdf, destination.D, pages, names, depth + 1)
    if isinstance(destination, pikepdf.Array) and len(destination) > 0:
        first = destination[0]
        if isinstance(first, pikepdf.Dictionary) and first.objgen in pages:
            return ("page", pages[first.objgen])
    return None


def links(pdf):
    pages = page_index(pdf)
    names = named_destinations(pdf)
    found = collections.Counter()
    for number, page in enumerate(pdf.pages):
        for annot in page.obj.get("/Annots", []):
            if annot.get("/Subtype") != "/Link":
                continue
            action = annot.get("/A")
            if action is not None and action.get("/S") == "/URI":
                found[(number, "uri", str(action.get("/URI")))] += 1
            elif "/Dest" in annot:
                found[(number,) + (target(pdf, annot.Dest, pages, names) or ("none",))] += 1
            elif action is not None and action.get("/S") == "/GoTo":
                found[(number,) + (target(pdf, action.get("/D"), pages, names) or ("none",))] += 1
            else:
                found[(number, "other")] += 1
    return found


def outline(pdf):
    pages = page_index(pdf)
    names = named_destinations(pdf)
    found = collections.Counter()
    with pdf.open_outline() as root:
        pending = list(root.root)
        while pending:
            item = pending.pop()
            destination = item.destination
            if destination is None and item.action is not None and item.action.get("/S") == "/GoTo":
                destination = item.action.get("/D")
            found[(item.title, target(pdf, destination, pages, names))] += 1
            pending.extend(item.children)
    return found


def boxes(pdf):
    def box(page, key):
        value = page.obj.get(key) if key in page.obj else page.get(key)
        return None if value is None else [round(float(v), 3) for v in value]

    return [(box(p, "/MediaBox"), box(p, "/CropBox"), int(p.get("/Rotate", 0)) % 360)
            for p in pdf.pages]


def measured_pages(pdf):
    count = len(pdf.pages)
    chosen = [0, count // 2]
    for i, page in enumerate(pdf.pages):
        if i not in chosen and len(page.images) > 0:
            chosen.append(i)
            break
    return sorted(set(chosen))


def render(path, index, folder, name, dpi):
    stem = f"{folder}/{name}"
    subprocess.run(["pdftoppm", "-q", "-r", str(dpi), "-gray", "-singlefile", "-f", str(index + 1),
                    "-l", str(index + 1), path, stem], check=True)
    with open(stem + ".pgm", "rb") as f:
        data = f.read()
    header = data.split(maxsplit=4)
    width, height = int(header[1]), int(header[2])
    return numpy.frombuffer(header[4][-width * height:], dtype=numpy.uint8).reshape(height, width)


def ssim(source, result, indices, sides):
    values = {}
    with tempfile.TemporaryDirectory() as folder:
        for index in indices:
            # 100 dpi, but no more than 3000 pixels a side: SSIM holds several float copies.
            dpi = min(100.0, 3000 * 72 / max(sides[index], 1))
            a = render(source, index, folder, "a", dpi)
            b = render(result, index, folder, "b", dpi)
            height, width = min(a.shape[0], b.shape[0]), min(a.shape[1], b.shape[1])
            values[index + 1] = round(float(structural_similarity(
                a[:height, :width], b[:height, :width], data_range=255)), 4)
    return values


def main(source_path, result_path):
    with pikepdf.open(source_path) as source, pikepdf.open(result_path) as result:
        source_links, result_links = links(source), links(result)
        source_outline, result_outline = outline(source), outline(result)
        figures = {
            "pages": [len(source.pages), len(result.pages)],
            "boxes_kept": boxes(source) == boxes(result),
            "links": sum(source_links.values()),
            "links_kept": sum((source_links & result_links).values()),
            "outline": sum(source_outline.values()),
            "outline_kept": sum((source_outline & result_outline).values()),
        }
        indices = measured_pages(source)
        sides = {i: max(float(v) for v in (source.pages[i].mediabox[2] - source.pages[i].mediabox[0],
                                            source.pages[i].mediabox[3] - source.pages[i].mediabox[1]))
                 for i in indices}
    figures["recall"] = round(recall(source_path, result_path), 4)
    figures["ssim"] = ssim(source_path, result_path, indices, sides)
    figures["ssim_min"] = min(figures["ssim"].values())
    print(json.dumps(figures))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
