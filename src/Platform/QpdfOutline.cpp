// SPDX-License-Identifier: GPL-3.0-or-later
//
// Copies are built bottom-up: an item's children are copied (and linked to it) before the item
// itself, so every /Count is computed from copies that are already final, and dropping an
// item only splices its finished children into its parent's list. Nothing of the source's
// outline objects is carried by reference: each copied item is a new dictionary holding new
// strings, numbers and destinations, so no foreign object (and nothing it refers to) is
// pulled into the destination. The source is read once into plain values (SourceOutline), so
// that the many parts of a split share one walk over its outline and its named destinations.

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

using Item = SourceOutline::Item;

// The item's title, colour, style flags and open state, as plain values.
void readLooks(QPDFObjectHandle item, Item& read) {
    auto title = item.getKey("/Title");
    read.title = title.isString() ? title.getStringValue() : std::string();
    auto colour = item.getKey("/C");
    if (colour.isArray() && colour.getArrayNItems() == 3) {
        for (int i = 0; i < 3; ++i) {
            double value = 0;
            if (!colour.getArrayItem(i).getValueAsNumber(value) || !std::isfinite(value))
                break;
            read.colour.push_back(value);
        }
        if (read.colour.size() != 3)
            read.colour.clear();
    }
    if (auto flags = item.getKey("/F"); flags.isInteger())
        read.flags = flags.getIntValue();
    auto count = item.getKey("/Count");
    read.open = count.isInteger() && count.getIntValue() > 0;
}

class Reader {
public:
    explicit Reader(QpdfLinks::NamedDestinations& source) : m_source(source) {}

    std::vector<Item> children(QPDFObjectHandle parent, int depth) {
        std::vector<Item> items;
        if (depth > kMaxDepth)
            return items;
        for (auto item = keyOf(parent, "/First"); item.isDictionary();
             item = item.getKey("/Next")) {
            if (item.isIndirect() && !m_visited.insert(item.getObjGen()).second)
                break;
            try {
                items.push_back(read(item, depth));
            } catch (const std::exception&) {
                // An item QPDF cannot read is left out; its siblings stay.
            }
        }
        return items;
    }

private:
    Item read(QPDFObjectHandle item, int depth) {
        Item read;
        read.children = children(item, depth + 1);
        auto target = targetOf(m_source, item);
        if (target.kind == Target::Kind::destination) {
            read.kind = Item::Kind::destination;
            read.destination = target.value;
            read.page = QpdfLinks::destinationPage(m_source.document(), target.value);
        } else if (target.kind == Target::Kind::uri) {
            read.kind = Item::Kind::uri;
            read.uri = target.value.getStringValue();
        }
        // Looks matter only for an item that is kept; one kept without them goes whole.
        try {
            readLooks(item, read);
        } catch (const std::exception&) {
            read.readable = false;
        }
        return read;
    }

    QpdfLinks::NamedDestinations& m_source;
    std::set<QPDFObjGen> m_visited;
};

class Writer {
public:
    Writer(QPDF& destination, const PageMap& pages) : m_destination(destination), m_pages(pages) {}

    std::vector<QPDFObjectHandle> copies(const std::vector<Item>& items) {
        std::vector<QPDFObjectHandle> copies;
        for (const Item& item : items) {
            try {
                add(item, copies);
            } catch (const std::exception&) {
                // An item QPDF cannot copy is left out; its siblings stay.
            }
        }
        return copies;
    }

private:
    void add(const Item& item, std::vector<QPDFObjectHandle>& copies) {
        auto kids = this->copies(item.children);
        const auto mapped = mappedDestination(item);
        const bool heading = item.kind == Item::Kind::none && !kids.empty();
        if (!mapped && item.kind != Item::Kind::uri && !heading) {
            copies.insert(copies.end(), kids.begin(), kids.end());
            return;
        }
        if (!item.readable)
            return;
        auto copy = QPDFObjectHandle::newDictionary();
        copy.replaceKey("/Title", QPDFObjectHandle::newString(item.title));
        if (!item.colour.empty()) {
            std::vector<QPDFObjectHandle> components;
            for (const double value : item.colour)
                components.push_back(QPDFObjectHandle::newReal(value, 3, true));
            copy.replaceKey("/C", QPDFObjectHandle::newArray(components));
        }
        if (item.flags)
            copy.replaceKey("/F", QPDFObjectHandle::newInteger(*item.flags));
        if (mapped)
            copy.replaceKey("/Dest", *mapped);
        else if (item.kind == Item::Kind::uri)
            copy.replaceKey("/A", uriAction(item.uri));
        copy = m_destination.makeIndirectObject(copy);
        attach(copy, kids, item.open);
        copies.push_back(copy);
    }

    std::optional<QPDFObjectHandle> mappedDestination(const Item& item) const {
        if (item.kind != Item::Kind::destination || !item.page)
            return std::nullopt;
        const auto found = m_pages.find(*item.page);
        if (found == m_pages.end())
            return std::nullopt;
        return QpdfLinks::retargeted(found->second, item.destination);
    }

    static QPDFObjectHandle uriAction(const std::string& uri) {
        auto action = QPDFObjectHandle::newDictionary();
        action.replaceKey("/S", QPDFObjectHandle::newName("/URI"));
        action.replaceKey("/URI", QPDFObjectHandle::newString(uri));
        return action;
    }

    QPDF& m_destination;
    const PageMap& m_pages;
};

} // namespace

SourceOutline::SourceOutline(QpdfLinks::NamedDestinations& source)
    : m_items(Reader(source).children(keyOf(source.document().getRoot(), "/Outlines"), 0)) {}

std::vector<QPDFObjectHandle> SourceOutline::copyTo(QPDF& destination, const PageMap& pages) const {
    return Writer(destination, pages).copies(m_items);
}

std::vector<QPDFObjectHandle> copy(QpdfLinks::NamedDestinations& source, QPDF& destination,
                                   const PageMap& pages) {
    return SourceOutline(source).copyTo(destination, pages);
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
