#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Figures for the OCR benchmark (scripts/bench ocr).

  ocr_metrics.py recall TRUTH.txt FOUND.txt
      Word recall: the share of the ground truth's words (lower-cased \\w+ tokens, Unicode,
      counted with multiplicity) that the found text also holds (multiset intersection).
      Prints "recall hits words".
  ocr_metrics.py image-bytes FILE.pdf
      Bytes of the PDF's image streams as stored (qpdf --json), to tell the picture from the
      text layer and the structure around it. Prints the number.
"""
import collections
import json
import re
import subprocess
import sys

WORD = re.compile(r"\w+")


def words(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return collections.Counter(w.lower() for w in WORD.findall(f.read()))


def recall(truth_path, found_path):
    truth = words(truth_path)
    found = words(found_path)
    total = sum(truth.values())
    hits = sum((truth & found).values())
    print(f"{hits / total if total else 0:.4f} {hits} {total}")


def image_bytes(pdf_path):
    out = subprocess.run(["qpdf", "--json=2", "--json-key=qpdf", pdf_path],
                         check=True, capture_output=True).stdout
    objects = json.loads(out)["qpdf"][1]
    total = 0
    for value in objects.values():
        stream = value.get("stream") if isinstance(value, dict) else None
        if stream and stream.get("dict", {}).get("/Subtype") == "/Image":
            length = stream["dict"].get("/Length", 0)
            if isinstance(length, str):  # an indirect length, "12 0 R"
                length = objects.get("obj:" + length, {}).get("value", 0)
            total += int(length)
    print(total)


def main(argv):
    if len(argv) == 4 and argv[1] == "recall":
        recall(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == "image-bytes":
        image_bytes(argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
