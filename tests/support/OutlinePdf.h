// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Test PDFs with bookmarks, page labels and form fields, built on LinkedPdf's numbered pages
// (page p is 100 + p points wide, with named destinations dest-pN and /old-pN), and readers
// of what a result holds. Built and read with QPDF directly, not with the code under test.

#include "Platform/Bytes.h"

#include <functional>
#include <ostream>
#include <qpdf/QPDF.hh>
#include <string>
#include <utility>
#include <vector>

namespace OutlinePdf {

enum class Dest {
    explicitArray, // /Dest [page /XYZ 0 700 null]
    named,         // /Dest (dest-pN)
    oldStyleName,  // /Dest /old-pN
    goTo,          // /A << /S /GoTo /D [page /Fit] >>
    goToNamed,     // /A << /S /GoTo /D (dest-pN) >>
    uri,           // /A << /S /URI >>
    dangling,      // /Dest (nowhere)
};

struct Item {
    std::string title; // UTF-8
    int page = 0;      // 1-based
    Dest dest = Dest::explicitArray;
    bool open = false;
    std::vector<Item> kids = {};
};

enum class FieldKind { text, checkBox, choice };

struct Field {
    FieldKind kind;
    std::string name; // partial name
    std::string value;
    int page = 1;
    bool appearance = true;
    std::string parent = {}; // partial name of a parent field, shared by fields naming it
};

struct Layout {
    int pageCount = 1;
    std::vector<Item> outline;
    std::vector<std::pair<int, std::string>> labels; // 0-based first page → range dictionary
    std::vector<Field> fields;
    bool needAppearances = false;
};

Bytes make(const Layout& layout);

/// The bytes of `pdf` after `edit` changed it (for damage that make() does not build).
Bytes edited(const Bytes& pdf, const std::function<void(QPDF&)>& edit);

/// An outline item as a reader of a result finds it: page is the 1-based page of the result
/// its explicit destination shows, 0 when none, -1 for a web link.
struct Found {
    int depth = 0;
    std::string title;
    int page = 0;
    bool open = false;
    friend bool operator==(const Found&, const Found&) = default;
};
std::vector<Found> outlineOf(const Bytes& pdf);
inline std::ostream& operator<<(std::ostream& out, const Found& f) {
    return out << "{" << f.depth << " " << f.title << " p" << f.page << (f.open ? " open}" : "}");
}

/// Each page's label as a viewer shows it ("ii", "A-3"); empty without /PageLabels.
std::vector<std::string> labelsOf(const Bytes& pdf);

struct FoundField {
    std::string name; // fully qualified
    std::string value;
    int page = 0; // 1-based page of its widget; 0 when no page holds it
    friend bool operator==(const FoundField&, const FoundField&) = default;
};
struct Form {
    std::vector<FoundField> fields; // terminal fields reached from /AcroForm, in order
    int orphanWidgets = 0;          // widgets on pages that no field reaches
    bool needAppearances = false;
};
Form formOf(const Bytes& pdf);
inline std::ostream& operator<<(std::ostream& out, const FoundField& f) {
    return out << "{" << f.name << "=" << f.value << " p" << f.page << "}";
}

} // namespace OutlinePdf
