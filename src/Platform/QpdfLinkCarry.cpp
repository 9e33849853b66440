// SPDX-License-Identifier: GPL-3.0-or-later
//
// Carried links are built afresh in the new document from plain values: copying a source
// annotation as an object would bring along whatever it refers to (its /P page, the pages of
// its destination, and through them much of the source document).

#include "Platform/PdfSyntax.h"
#include "Platform/QpdfLinks.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace QpdfLinks {
namespace {

// Work allowed for one plain copy: an annotation's appearance values are a handful of
// numbers, and a damaged file may nest or repeat objects without end.
constexpr int kPlainCopyBudget = 256;

// A copy made of new objects only (numbers, names, strings, arrays and dictionaries of them);
// null for anything else, and once the budget is spent.
QPDFObjectHandle plainCopy(QPDFObjectHandle value, int& budget) {
    if (--budget < 0)
        return QPDFObjectHandle::newNull();
    if (value.isString())
        return QPDFObjectHandle::newString(value.getStringValue());
    if (value.isArray()) {
        std::vector<QPDFObjectHandle> items;
        const int count = value.getArrayNItems();
        for (int i = 0; i < count && budget > 0; ++i)
            items.push_back(plainCopy(value.getArrayItem(i), budget));
        return QPDFObjectHandle::newArray(items);
    }
    if (value.isDictionary() && !value.isStream()) {
        auto copy = QPDFObjectHandle::newDictionary();
        for (const std::string& key : value.getKeys()) {
            if (budget <= 0)
                break;
            copy.replaceKey(key, plainCopy(value.getKey(key), budget));
        }
        return copy;
    }
    if (value.isInteger())
        return QPDFObjectHandle::newInteger(value.getIntValue());
    if (value.isReal())
        return QPDFObjectHandle::newReal(value.getRealValue());
    if (value.isName())
        return QPDFObjectHandle::newName(value.getName());
    if (value.isBool())
        return QPDFObjectHandle::newBool(value.getBoolValue());
    return QPDFObjectHandle::newNull();
}

QPDFObjectHandle plainCopy(QPDFObjectHandle value) {
    int budget = kPlainCopyBudget;
    return plainCopy(value, budget);
}

std::optional<double> numberOf(QPDFObjectHandle value) {
    double number = 0;
    if (!value.getValueAsNumber(number) || !std::isfinite(number))
        return std::nullopt;
    return number;
}

QPDFObjectHandle numberOrNull(std::optional<double> value) {
    return value && std::isfinite(*value) ? QPDFObjectHandle::newReal(PdfSyntax::number(*value))
                                          : QPDFObjectHandle::newNull();
}

// How a transform moves the page's axes: a scale and shift keeps them, a quarter turn
// exchanges them; anything else mixes them, and single coordinates cannot be mapped.
enum class Axes { kept, exchanged, mixed };

Axes axesOf(const Affine& t) {
    if (t.b == 0 && t.c == 0)
        return Axes::kept;
    if (t.a == 0 && t.d == 0)
        return Axes::exchanged;
    return Axes::mixed;
}

// Where a source x lands on the new page: an x when the axes are kept, a y when exchanged.
std::optional<double> mappedX(const Affine& t, std::optional<double> x) {
    if (!x || axesOf(t) == Axes::mixed)
        return std::nullopt;
    return axesOf(t) == Axes::kept ? t.a * *x + t.e : t.b * *x + t.f;
}

// Where a source y lands: a y when the axes are kept, an x when exchanged.
std::optional<double> mappedY(const Affine& t, std::optional<double> y) {
    if (!y || axesOf(t) == Axes::mixed)
        return std::nullopt;
    return axesOf(t) == Axes::kept ? t.d * *y + t.f : t.c * *y + t.e;
}

// A zoom that shows as much of the grown (or shrunk) page as it showed of the source.
QPDFObjectHandle mappedZoom(const Affine& t, QPDFObjectHandle zoom) {
    const double growth = std::sqrt(std::abs(t.a * t.d - t.b * t.c));
    const auto value = numberOf(zoom);
    if (!value || !(*value > 0) || !(growth > 0))
        return plainCopy(zoom);
    return numberOrNull(*value / growth);
}

// The bounding box of the points as [left bottom right top]; absent unless finite.
std::optional<QPDFObjectHandle> boxAround(const std::vector<Point>& points) {
    double left = points.front().x, right = left, bottom = points.front().y, top = bottom;
    for (const Point& p : points) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        bottom = std::min(bottom, p.y);
        top = std::max(top, p.y);
    }
    if (!std::isfinite(left) || !std::isfinite(right) || !std::isfinite(bottom) ||
        !std::isfinite(top))
        return std::nullopt;
    return QPDFObjectHandle::newArray(
        {numberOrNull(left), numberOrNull(bottom), numberOrNull(right), numberOrNull(top)});
}

std::vector<QPDFObjectHandle> mappedXyz(std::optional<double> left, std::optional<double> top,
                                        QPDFObjectHandle zoom, const Affine& t) {
    if (axesOf(t) == Axes::mixed && left && top) {
        const Point p = t.apply({*left, *top});
        return {numberOrNull(p.x), numberOrNull(p.y), mappedZoom(t, zoom)};
    }
    if (axesOf(t) == Axes::exchanged)
        return {numberOrNull(mappedY(t, top)), numberOrNull(mappedX(t, left)), mappedZoom(t, zoom)};
    return {numberOrNull(mappedX(t, left)), numberOrNull(mappedY(t, top)), mappedZoom(t, zoom)};
}

// The view's operands (after its kind) on the new page; `kind` may change to its other axis.
std::vector<QPDFObjectHandle> mappedView(std::string& kind, const std::vector<QPDFObjectHandle>& at,
                                         const Affine& t) {
    const auto operand = [&](std::size_t i) {
        return i < at.size() ? numberOf(at[i]) : std::nullopt;
    };
    if (kind == "/XYZ")
        return mappedXyz(operand(0), operand(1),
                         at.size() > 2 ? at[2] : QPDFObjectHandle::newNull(), t);
    static const std::map<std::string, std::string> otherAxis = {
        {"/FitH", "/FitV"}, {"/FitV", "/FitH"}, {"/FitBH", "/FitBV"}, {"/FitBV", "/FitBH"}};
    if (const auto other = otherAxis.find(kind); other != otherAxis.end()) {
        const bool horizontal = kind == "/FitH" || kind == "/FitBH";
        const auto value = horizontal ? mappedY(t, operand(0)) : mappedX(t, operand(0));
        if (axesOf(t) == Axes::exchanged)
            kind = other->second;
        return {numberOrNull(value)};
    }
    if (kind == "/FitR") {
        auto box = operand(0) && operand(1) && operand(2) && operand(3)
                       ? boxAround({t.apply({*operand(0), *operand(1)}),
                                    t.apply({*operand(2), *operand(3)})})
                       : std::nullopt;
        kind = box ? kind : "/Fit";
        return box ? box->getArrayAsVector() : std::vector<QPDFObjectHandle>{};
    }
    std::vector<QPDFObjectHandle> copies;
    for (const QPDFObjectHandle& item : at)
        copies.push_back(plainCopy(item));
    return copies;
}

QPDFObjectHandle viewOn(QPDFObjectHandle page, QPDFObjectHandle sourceArray, const Affine& t) {
    const int count = sourceArray.getArrayNItems();
    std::string kind = "/Fit"; // a destination without a view shows the whole page
    if (count >= 2 && sourceArray.getArrayItem(1).isName())
        kind = sourceArray.getArrayItem(1).getName();
    std::vector<QPDFObjectHandle> operands;
    for (int i = 2; i < count && i < 6; ++i)
        operands.push_back(sourceArray.getArrayItem(i));
    const auto mapped = mappedView(kind, operands, t);
    std::vector<QPDFObjectHandle> items{page, QPDFObjectHandle::newName(kind)};
    items.insert(items.end(), mapped.begin(), mapped.end());
    return QPDFObjectHandle::newArray(items);
}

std::optional<QPDFObjectHandle> mappedRect(QPDFObjectHandle rect, const Affine& t) {
    if (!rect.isArray() || rect.getArrayNItems() != 4)
        return std::nullopt;
    std::array<double, 4> v{};
    for (int i = 0; i < 4; ++i) {
        const auto number = numberOf(rect.getArrayItem(i));
        if (!number)
            return std::nullopt;
        v[static_cast<std::size_t>(i)] = *number;
    }
    return boxAround({t.apply({v[0], v[1]}), t.apply({v[2], v[1]}), t.apply({v[2], v[3]}),
                      t.apply({v[0], v[3]})});
}

// Quad points come in fours of points; anything else is left out (the rectangle remains).
std::optional<QPDFObjectHandle> mappedQuadPoints(QPDFObjectHandle quads, const Affine& t) {
    const int count = quads.isArray() ? quads.getArrayNItems() : 0;
    if (count == 0 || count % 8 != 0)
        return std::nullopt;
    std::vector<QPDFObjectHandle> mapped;
    for (int i = 0; i < count; i += 2) {
        const auto x = numberOf(quads.getArrayItem(i));
        const auto y = numberOf(quads.getArrayItem(i + 1));
        if (!x || !y)
            return std::nullopt;
        const Point p = t.apply({*x, *y});
        mapped.push_back(numberOrNull(p.x));
        mapped.push_back(numberOrNull(p.y));
    }
    return QPDFObjectHandle::newArray(mapped);
}

std::optional<QPDFObjectHandle> mappedAction(NamedDestinations& source, QPDFObjectHandle action,
                                             const PageMap& pages) {
    auto kind = action.getKey("/S");
    auto mapped = QPDFObjectHandle::newDictionary();
    mapped.replaceKey("/S", plainCopy(kind));
    if (kind.isNameAndEquals("/GoTo")) {
        const auto destination = mappedDestination(source, action.getKey("/D"), pages);
        if (!destination)
            return std::nullopt;
        mapped.replaceKey("/D", *destination);
    } else if (kind.isNameAndEquals("/URI") && action.getKey("/URI").isString()) {
        mapped.replaceKey("/URI",
                          QPDFObjectHandle::newString(action.getKey("/URI").getStringValue()));
        if (action.getKey("/IsMap").isBool())
            mapped.replaceKey("/IsMap", plainCopy(action.getKey("/IsMap")));
    } else if (kind.isNameAndEquals("/Named") && action.getKey("/N").isName()) {
        mapped.replaceKey("/N", plainCopy(action.getKey("/N")));
    } else {
        return std::nullopt;
    }
    return mapped;
}

std::optional<QPDFObjectHandle> carriedLink(NamedDestinations& source, QPDFObjectHandle annotation,
                                            const Affine& toNew, const PageMap& pages) {
    if (!annotation.isDictionary() || !annotation.getKey("/Subtype").isNameAndEquals("/Link"))
        return std::nullopt;
    const auto rect = mappedRect(annotation.getKey("/Rect"), toNew);
    if (!rect)
        return std::nullopt;
    auto link = QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Link >>");
    link.replaceKey("/Rect", *rect);
    if (annotation.hasKey("/Dest")) {
        const auto destination = mappedDestination(source, annotation.getKey("/Dest"), pages);
        if (!destination)
            return std::nullopt;
        link.replaceKey("/Dest", *destination);
    } else {
        const auto action = annotation.getKey("/A").isDictionary()
                                ? mappedAction(source, annotation.getKey("/A"), pages)
                                : std::nullopt;
        if (!action)
            return std::nullopt;
        link.replaceKey("/A", *action);
    }
    if (const auto quads = mappedQuadPoints(annotation.getKey("/QuadPoints"), toNew))
        link.replaceKey("/QuadPoints", *quads);
    for (const char* key : {"/Border", "/BS", "/C", "/H", "/F"})
        if (annotation.hasKey(key))
            link.replaceKey(key, plainCopy(annotation.getKey(key)));
    return link;
}

} // namespace

void PageMap::add(QPDFObjectHandle sourcePage, QPDFObjectHandle newPage,
                  const Affine& sourceToNew) {
    m_targets.emplace(sourcePage.getObjGen(), Target{newPage, sourceToNew});
}

const PageMap::Target* PageMap::find(QPDFObjGen sourcePage) const {
    const auto found = m_targets.find(sourcePage);
    return found == m_targets.end() ? nullptr : &found->second;
}

std::optional<QPDFObjectHandle>
mappedDestination(NamedDestinations& source, QPDFObjectHandle destination, const PageMap& pages) {
    const auto array = resolveDestination(source, destination);
    const auto page = destinationPage(source.document(), array);
    const PageMap::Target* target = page ? pages.find(*page) : nullptr;
    if (!target)
        return std::nullopt;
    return viewOn(target->page, array, target->sourceToNew);
}

QPDFObjectHandle viewThrough(QPDFObjectHandle page, QPDFObjectHandle explicitDestination,
                             const Affine& sourceToNew) {
    return viewOn(page, explicitDestination, sourceToNew);
}

int carryLinks(NamedDestinations& source, QPDFObjectHandle sourcePage, QPDFObjectHandle newPage,
               const Affine& sourceToNew, const PageMap& pages) {
    auto annotations = sourcePage.getKey("/Annots");
    QPDF* destination = newPage.getOwningQPDF();
    if (!annotations.isArray() || !destination)
        return 0;
    std::vector<QPDFObjectHandle> carried;
    const int count = annotations.getArrayNItems();
    for (int i = 0; i < count; ++i) {
        try {
            if (auto link = carriedLink(source, annotations.getArrayItem(i), sourceToNew, pages))
                carried.push_back(destination->makeIndirectObject(*link));
        } catch (const std::exception&) {
            // An annotation QPDF cannot read is left out; the others are carried.
        }
    }
    if (carried.empty())
        return 0;
    // A fresh array: the page's own may be shared with other pages.
    auto existing = newPage.getKey("/Annots");
    std::vector<QPDFObjectHandle> all =
        existing.isArray() ? existing.getArrayAsVector() : std::vector<QPDFObjectHandle>{};
    all.insert(all.end(), carried.begin(), carried.end());
    newPage.replaceKey("/Annots", QPDFObjectHandle::newArray(all));
    return static_cast<int>(carried.size());
}

} // namespace QpdfLinks
