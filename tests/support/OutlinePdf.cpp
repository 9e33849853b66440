// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/OutlinePdf.h"

#include "core/LinkedPdf.h"

#include <map>
#include <set>

namespace OutlinePdf {
namespace {

using QOH = QPDFObjectHandle;

QOH destination(QPDF& pdf, const Item& item) {
    const auto page = [&] { return pdf.getAllPages().at(static_cast<std::size_t>(item.page - 1)); };
    const std::string name = "dest-p" + std::to_string(item.page);
    auto goTo = [](QOH d) {
        auto action = QOH::parse("<< /S /GoTo >>");
        action.replaceKey("/D", d);
        return action;
    };
    switch (item.dest) {
    case Dest::explicitArray:
        return QOH::newArray({page(), QOH::newName("/XYZ"), QOH::newInteger(0),
                              QOH::newInteger(700), QOH::newNull()});
    case Dest::named:
        return QOH::newString(name);
    case Dest::oldStyleName:
        return QOH::newName("/old-p" + std::to_string(item.page));
    case Dest::goTo:
        return goTo(LinkedPdf::fitDestination(page()));
    case Dest::goToNamed:
        return goTo(QOH::newString(name));
    case Dest::uri:
        return QOH::parse("<< /S /URI /URI (https://example.org/) >>");
    case Dest::dangling:
        return QOH::newString("nowhere");
    }
    return QOH::newNull();
}

// Builds the items under `parent`; returns how many a viewer shows while parent is open.
long long addItems(QPDF& pdf, QOH parent, const std::vector<Item>& items) {
    long long visible = 0;
    QOH previous;
    for (const auto& item : items) {
        auto object = pdf.makeIndirectObject(QOH::newDictionary());
        object.replaceKey("/Title", QOH::newUnicodeString(item.title));
        object.replaceKey("/Parent", parent);
        auto target = destination(pdf, item);
        object.replaceKey(target.isDictionary() ? "/A" : "/Dest", target);
        const long long below = addItems(pdf, object, item.kids);
        if (!item.kids.empty())
            object.replaceKey("/Count", QOH::newInteger(item.open ? below : -below));
        visible += 1 + (item.open ? below : 0);
        if (previous.isInitialized()) {
            previous.replaceKey("/Next", object);
            object.replaceKey("/Prev", previous);
        } else {
            parent.replaceKey("/First", object);
        }
        parent.replaceKey("/Last", object);
        previous = object;
    }
    return visible;
}

QOH widget(QPDF& pdf, const Field& field) {
    auto w = QOH::parse("<< /Type /Annot /Subtype /Widget /Rect [10 10 90 30] /F 4 >>");
    w.replaceKey("/T", QOH::newUnicodeString(field.name));
    w.replaceKey("/P", pdf.getAllPages().at(static_cast<std::size_t>(field.page - 1)));
    const auto look = [&](const std::string& text) {
        return QOH::newStream(&pdf, "/Tx BMC BT /Helv 10 Tf 2 5 Td (" + text + ") Tj ET EMC");
    };
    if (field.kind == FieldKind::checkBox) {
        w.replaceKey("/FT", QOH::newName("/Btn"));
        w.replaceKey("/V", QOH::newName("/" + field.value));
        w.replaceKey("/AS", QOH::newName("/" + field.value));
    } else {
        w.replaceKey("/FT", QOH::newName(field.kind == FieldKind::text ? "/Tx" : "/Ch"));
        w.replaceKey("/V", QOH::newUnicodeString(field.value));
        if (field.kind == FieldKind::choice) {
            w.replaceKey("/Ff", QOH::newInteger(131072));
            w.replaceKey("/Opt",
                         QOH::newArray({QOH::newString("red"), QOH::newString(field.value)}));
        }
    }
    if (field.appearance && field.kind == FieldKind::checkBox) {
        auto states = QOH::newDictionary();
        states.replaceKey("/Yes", look("X"));
        states.replaceKey("/Off", look(""));
        w.replaceKey("/AP", QOH::newDictionary());
        w.getKey("/AP").replaceKey("/N", states);
    } else if (field.appearance) {
        w.replaceKey("/AP", QOH::newDictionary());
        w.getKey("/AP").replaceKey("/N", look(field.value));
    }
    return pdf.makeIndirectObject(w);
}

void addFields(QPDF& pdf, const Layout& layout) {
    auto form = QOH::parse("<< /Fields [] /DA (/Helv 0 Tf 0 g) /DR << /Font << >> >> >>");
    form.getKey("/DR").getKey("/Font").replaceKey(
        "/Helv", pdf.makeIndirectObject(
                     QOH::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")));
    if (layout.needAppearances)
        form.replaceKey("/NeedAppearances", QOH::newBool(true));
    std::map<std::string, QOH> parents;
    for (const auto& field : layout.fields) {
        auto w = widget(pdf, field);
        auto page = pdf.getAllPages().at(static_cast<std::size_t>(field.page - 1));
        if (!page.getKey("/Annots").isArray())
            page.replaceKey("/Annots", QOH::newArray());
        page.getKey("/Annots").appendItem(w);
        if (field.parent.empty()) {
            form.getKey("/Fields").appendItem(w);
            continue;
        }
        auto& parent = parents[field.parent];
        if (!parent.isInitialized()) {
            parent = pdf.makeIndirectObject(QOH::parse("<< /Kids [] >>"));
            parent.replaceKey("/T", QOH::newUnicodeString(field.parent));
            form.getKey("/Fields").appendItem(parent);
        }
        parent.getKey("/Kids").appendItem(w);
        w.replaceKey("/Parent", parent);
    }
    pdf.getRoot().replaceKey("/AcroForm", pdf.makeIndirectObject(form));
}

void open(QPDF& pdf, const Bytes& bytes) {
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile("pdf", reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

int pageOf(QOH array, const std::vector<QOH>& pages) {
    if (!array.isArray() || array.getArrayNItems() < 1)
        return 0;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (array.getArrayItem(0).getObjGen() == pages[i].getObjGen())
            return static_cast<int>(i + 1);
    return 0;
}

void readItems(QOH parent, int depth, const std::vector<QOH>& pages, std::set<QPDFObjGen>& seen,
               std::vector<Found>& found) {
    for (auto item = parent.getKey("/First"); item.isDictionary() && depth < 200;
         item = item.getKey("/Next")) {
        if (!seen.insert(item.getObjGen()).second)
            return;
        auto action = item.getKey("/A");
        const bool web = action.isDictionary() && action.getKey("/S").isNameAndEquals("/URI");
        auto count = item.getKey("/Count");
        found.push_back({depth, item.getKey("/Title").getUTF8Value(),
                         web ? -1 : pageOf(item.getKey("/Dest"), pages),
                         count.isInteger() && count.getIntValue() > 0});
        readItems(item, depth + 1, pages, seen, found);
    }
}

std::string styled(const std::string& style, long long n) {
    if (style == "/D")
        return std::to_string(n);
    std::string text;
    if (style == "/r" || style == "/R") {
        const std::pair<int, const char*> numerals[] = {
            {10, "x"}, {9, "ix"}, {5, "v"}, {4, "iv"}, {1, "i"}};
        for (const auto& [value, numeral] : numerals)
            for (; n >= value; n -= value)
                text += numeral;
    } else if (style == "/a" || style == "/A") {
        text = std::string(static_cast<std::size_t>((n - 1) / 26 + 1), char('a' + (n - 1) % 26));
    }
    if (style == "/R" || style == "/A")
        for (auto& c : text)
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The value a terminal field holds, inherited from its parents when it has none of its own.
std::string valueOf(QOH field) {
    for (int up = 0; field.isDictionary() && up < 100; ++up, field = field.getKey("/Parent")) {
        auto v = field.getKey("/V");
        if (v.isString())
            return v.getUTF8Value();
        if (v.isName())
            return v.getName().substr(1);
    }
    return {};
}

} // namespace

Bytes make(const Layout& layout) {
    const Bytes pages = LinkedPdf::make(layout.pageCount); // QPDF reads it in place
    QPDF pdf;
    open(pdf, pages);
    if (!layout.outline.empty()) {
        auto root = pdf.makeIndirectObject(QOH::parse("<< /Type /Outlines >>"));
        root.replaceKey("/Count", QOH::newInteger(addItems(pdf, root, layout.outline)));
        pdf.getRoot().replaceKey("/Outlines", root);
    }
    if (!layout.labels.empty()) {
        auto nums = QOH::newArray();
        for (const auto& [start, range] : layout.labels) {
            nums.appendItem(QOH::newInteger(start));
            nums.appendItem(QOH::parse(range));
        }
        pdf.getRoot().replaceKey("/PageLabels", QOH::newDictionary());
        pdf.getRoot().getKey("/PageLabels").replaceKey("/Nums", nums);
    }
    if (!layout.fields.empty())
        addFields(pdf, layout);
    return LinkedPdf::written(pdf);
}

Bytes edited(const Bytes& bytes, const std::function<void(QPDF&)>& edit) {
    QPDF pdf;
    open(pdf, bytes);
    edit(pdf);
    return LinkedPdf::written(pdf);
}

std::vector<Found> outlineOf(const Bytes& bytes) {
    QPDF pdf;
    open(pdf, bytes);
    std::vector<Found> found;
    std::set<QPDFObjGen> seen;
    auto root = pdf.getRoot().getKey("/Outlines");
    if (root.isDictionary())
        readItems(root, 0, pdf.getAllPages(), seen, found);
    return found;
}

std::vector<std::string> labelsOf(const Bytes& bytes) {
    QPDF pdf;
    open(pdf, bytes);
    auto nums = pdf.getRoot().getKey("/PageLabels").getKeyIfDict("/Nums");
    std::vector<std::string> labels;
    for (long long i = 0; nums.isArray() && i < static_cast<long long>(pdf.getAllPages().size());
         ++i) {
        long long start = 0;
        QOH range;
        for (int k = 0; k + 1 < nums.getArrayNItems(); k += 2)
            if (nums.getArrayItem(k).getIntValue() <= i) {
                start = nums.getArrayItem(k).getIntValue();
                range = nums.getArrayItem(k + 1);
            }
        auto st = range.getKey("/St");
        auto style = range.getKey("/S");
        labels.push_back((range.getKey("/P").isString() ? range.getKey("/P").getUTF8Value() : "") +
                         styled(style.isName() ? style.getName() : "",
                                (st.isInteger() ? st.getIntValue() : 1) + i - start));
    }
    return labels;
}

Form formOf(const Bytes& bytes) {
    QPDF pdf;
    open(pdf, bytes);
    std::map<QPDFObjGen, int> pageOfWidget;
    auto pages = pdf.getAllPages();
    for (std::size_t i = 0; i < pages.size(); ++i)
        for (auto annot : pages[i].getKey("/Annots").isArray() ? pages[i].getKey("/Annots").aitems()
                                                               : QOH::newArray().aitems())
            if (annot.getKey("/Subtype").isNameAndEquals("/Widget"))
                pageOfWidget.emplace(annot.getObjGen(), static_cast<int>(i + 1));
    Form form;
    auto acroForm = pdf.getRoot().getKey("/AcroForm");
    auto needAppearances = acroForm.getKeyIfDict("/NeedAppearances");
    form.needAppearances = needAppearances.isBool() && needAppearances.getBoolValue();
    std::set<QPDFObjGen> reached;
    std::function<void(QOH, std::string, int)> walk = [&](QOH field, std::string name, int depth) {
        if (!field.isDictionary() || depth > 50 || !reached.insert(field.getObjGen()).second)
            return;
        if (field.getKey("/T").isString())
            name += (name.empty() ? "" : ".") + field.getKey("/T").getUTF8Value();
        bool subFields = false;
        auto kids = field.getKey("/Kids");
        for (auto kid : kids.isArray() ? kids.aitems() : QOH::newArray().aitems()) {
            subFields = subFields || kid.hasKey("/T");
            walk(kid, name, depth + 1);
        }
        if (!subFields) {
            const auto at = pageOfWidget.find(field.getObjGen());
            form.fields.push_back(
                {name, valueOf(field), at == pageOfWidget.end() ? 0 : at->second});
        }
    };
    auto fields = acroForm.getKeyIfDict("/Fields");
    for (auto field : fields.isArray() ? fields.aitems() : QOH::newArray().aitems())
        walk(field, "", 0);
    for (const auto& [widget, page] : pageOfWidget)
        form.orphanWidgets += reached.count(widget) ? 0 : 1;
    return form;
}

} // namespace OutlinePdf
