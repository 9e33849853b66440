// SPDX-License-Identifier: GPL-3.0-or-later
//
// Copies are built bottom-up: an item's children are copied (and linked to it) before the item
// itself, so every /Count is computed from copies that are already final, and dropping an
// item only splices its finished children into its parent's list. Nothing of the source's
// outline objects is carried by reference: each copied item is a new dictionary holding new
// strings, numbers and destinations, so no foreign object (and nothing it refers to) is
// pulled into the destination.

#include "Platform/QpdfOutline.h"

#include <cmath>
#include <optional>
#include <set>

namespace QpdfOutline {
namespace {

// Deeper nesting than this is damage, not structure; its items are left out.
constexpr int kMaxDepth = 64;

QPDFObjectHandle keyOf(QPDFObjectHandle dictionary, const std::string& key) {
    return dictionary.isDictionary() ? dictionary.getKey(key) : QPDFObjectHandle::newNull();
}

// What an item leads to: an explicit destination in its document, a web address, or nothing.
struct Target {
    enum class Kind { none, destination, uri } kind = Kind::none;
    QPDFObjectHandle value;
};

Target targetOf(QpdfLinks::NamedDestinations& source, QPDFObjectHandle item) {
    auto action = keyOf(item, "/A");
    QPDFObjectHandle destination;
    if (item.hasKey("/Dest"))
        destination = item.getKey("/Dest");
    else if (keyOf(action, "/S").isNameAndEquals("/GoTo"))
        destination = action.getKey("/D");
    else if (keyOf(action, "/S").isNameAndEquals("/URI") && keyOf(action, "/URI").isString())
        return {Target::Kind::uri, action.getKey("/URI")};
    else
        return {};
    return {Target::Kind::destination, QpdfLinks::resolveDestination(source, destination)};
}

// Copies of the item's title, colour and style flags, belonging to no document.
void copyAppearance(QPDFObjectHandle item, QPDFObjectHandle copy) {
    auto title = item.getKey("/Title");
    copy.replaceKey("/Title", QPDFObjectHandle::newString(title.isString() ? title.getStringValue()
                                                                           : std::string()));
    auto colour = item.getKey("/C");
    if (colour.isArray() && colour.getArrayNItems() == 3) {
        std::vector<QPDFObjectHandle> components;
        for (int i = 0; i < 3; ++i) {
            double value = 0;
            if (!colour.getArrayItem(i).getValueAsNumber(value) || !std::isfinite(value))
                break;
            components.push_back(QPDFObjectHandle::newReal(value, 3, true));
        }
        if (components.size() == 3)
            copy.replaceKey("/C", QPDFObjectHandle::newArray(components));
    }
    if (auto flags = item.getKey("/F"); flags.isInteger())
        copy.replaceKey("/F", QPDFObjectHandle::newInteger(flags.getIntValue()));
}

class Copier {
public:
    Copier(QpdfLinks::NamedDestinations& source, QPDF& destination, const PageMap& pages)
        : m_source(source), m_destination(destination), m_pages(pages) {}

    std::vector<QPDFObjectHandle> children(QPDFObjectHandle parent, int depth) {
        std::vector<QPDFObjectHandle> copies;
        if (depth > kMaxDepth)
            return copies;
        for (auto item = keyOf(parent, "/First"); item.isDictionary();
             item = item.getKey("/Next")) {
            if (item.isIndirect() && !m_visited.insert(item.getObjGen()).second)
                break;
            try {
                add(item, depth, copies);
            } catch (const std::exception&) {
                // An item QPDF cannot read is left out; its siblings stay.
            }
        }
        return copies;
    }

private:
    void add(QPDFObjectHandle item, int depth, std::vector<QPDFObjectHandle>& copies) {
        auto kids = children(item, depth + 1);
        const auto target = targetOf(m_source, item);
        std::optional<QPDFObjectHandle> mapped;
        if (target.kind == Target::Kind::destination)
            mapped = mappedDestination(target.value);
        const bool heading = target.kind == Target::Kind::none && !kids.empty();
        if (!mapped && target.kind != Target::Kind::uri && !heading) {
            copies.insert(copies.end(), kids.begin(), kids.end());
            return;
        }
        auto copy = QPDFObjectHandle::newDictionary();
        copyAppearance(item, copy);
        if (mapped)
            copy.replaceKey("/Dest", *mapped);
        else if (target.kind == Target::Kind::uri)
            copy.replaceKey("/A", uriAction(target.value));
        copy = m_destination.makeIndirectObject(copy);
        auto count = item.getKey("/Count");
        attach(copy, kids, count.isInteger() && count.getIntValue() > 0);
        copies.push_back(copy);
    }

    std::optional<QPDFObjectHandle> mappedDestination(QPDFObjectHandle explicitDestination) {
        const auto page = QpdfLinks::destinationPage(m_source.document(), explicitDestination);
        if (!page)
            return std::nullopt;
        const auto found = m_pages.find(*page);
        if (found == m_pages.end())
            return std::nullopt;
        return QpdfLinks::retargeted(found->second, explicitDestination);
    }

    static QPDFObjectHandle uriAction(QPDFObjectHandle uri) {
        auto action = QPDFObjectHandle::newDictionary();
        action.replaceKey("/S", QPDFObjectHandle::newName("/URI"));
        action.replaceKey("/URI", QPDFObjectHandle::newString(uri.getStringValue()));
        return action;
    }

    QpdfLinks::NamedDestinations& m_source;
    QPDF& m_destination;
    const PageMap& m_pages;
    std::set<QPDFObjGen> m_visited;
};

} // namespace

std::vector<QPDFObjectHandle> copy(QpdfLinks::NamedDestinations& source, QPDF& destination,
                                   const PageMap& pages) {
    return Copier(source, destination, pages)
        .children(keyOf(source.document().getRoot(), "/Outlines"), 0);
}

QPDFObjectHandle newItem(QPDF& destination, const std::string& utf8Title, QPDFObjectHandle page) {
    auto item = QPDFObjectHandle::newDictionary();
    item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(utf8Title));
    item.replaceKey("/Dest", QPDFObjectHandle::newArray({page, QPDFObjectHandle::newName("/Fit")}));
    return destination.makeIndirectObject(item);
}

void attach(QPDFObjectHandle parent, const std::vector<QPDFObjectHandle>& items, bool open) {
    for (const char* key : {"/First", "/Last", "/Count"})
        parent.removeKey(key);
    if (items.empty())
        return;
    long long visible = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto item = items[i];
        item.replaceKey("/Parent", parent);
        if (i > 0)
            item.replaceKey("/Prev", items[i - 1]);
        else
            item.removeKey("/Prev");
        if (i + 1 < items.size())
            item.replaceKey("/Next", items[i + 1]);
        else
            item.removeKey("/Next");
        // An open item shows its descendants' count as well as itself.
        auto count = item.getKey("/Count");
        visible += 1 + (count.isInteger() && count.getIntValue() > 0 ? count.getIntValue() : 0);
    }
    parent.replaceKey("/First", items.front());
    parent.replaceKey("/Last", items.back());
    parent.replaceKey("/Count", QPDFObjectHandle::newInteger(open ? visible : -visible));
}

void setOutline(QPDF& destination, const std::vector<QPDFObjectHandle>& items) {
    auto root = destination.getRoot();
    if (items.empty()) {
        root.removeKey("/Outlines");
        return;
    }
    auto outlines =
        destination.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Outlines >>"));
    attach(outlines, items, true);
    root.replaceKey("/Outlines", outlines);
}

std::vector<TopLevelItem> topLevelItems(QpdfLinks::NamedDestinations& document) {
    QPDF& pdf = document.document();
    std::map<QPDFObjGen, int> indexOf;
    const auto& pages = pdf.getAllPages();
    for (std::size_t i = 0; i < pages.size(); ++i)
        indexOf.emplace(pages[i].getObjGen(), static_cast<int>(i));
    std::vector<TopLevelItem> found;
    std::set<QPDFObjGen> visited;
    for (auto item = keyOf(keyOf(pdf.getRoot(), "/Outlines"), "/First"); item.isDictionary();
         item = item.getKey("/Next")) {
        if (item.isIndirect() && !visited.insert(item.getObjGen()).second)
            break;
        try {
            const auto target = targetOf(document, item);
            if (target.kind != Target::Kind::destination)
                continue;
            const auto page = QpdfLinks::destinationPage(pdf, target.value);
            const auto index = page ? indexOf.find(*page) : indexOf.end();
            auto title = item.getKey("/Title");
            if (index != indexOf.end())
                found.push_back({title.isString() ? title.getUTF8Value() : "", index->second});
        } catch (const std::exception&) {
            // An item QPDF cannot read is left out.
        }
    }
    return found;
}

} // namespace QpdfOutline
