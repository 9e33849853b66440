#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints "bookmarks resolving fields" summed over the PDFs given: outline items, those
whose destination leads to a page of their own file, and interactive form fields."""
import sys

import pikepdf


def counts(path):
    items = resolving = 0
    with pikepdf.open(path) as pdf:
        pages = {page.objgen for page in pdf.pages}
        with pdf.open_outline(strict=False) as outline:
            stack = list(outline.root)
            while stack:
                item = stack.pop()
                items += 1
                stack.extend(item.children)
                dest = item.destination
                if dest is None and item.action is not None and item.action.get("/S") == "/GoTo":
                    dest = item.action.get("/D")
                if isinstance(dest, pikepdf.Array) and len(dest) and dest[0].objgen in pages:
                    resolving += 1
        fields = len(pdf.Root.AcroForm.Fields) if "/AcroForm" in pdf.Root else 0
    return items, resolving, fields


totals = [0, 0, 0]
for name in sys.argv[1:]:
    try:
        totals = [a + b for a, b in zip(totals, counts(name))]
    except Exception as error:  # a file pikepdf cannot read counts for nothing
        print(f"{name}: {error}", file=sys.stderr)
print(*totals)
