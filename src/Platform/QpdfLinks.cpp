// SPDX-License-Identifier: GPL-3.0-or-later
//
// Annotations are paired by position: QPDF copies a page's /Annots array item by item, so the
// i-th annotation of a copy is the copy of the i-th annotation of its source page. Every
// decision is taken from the source annotation (the copy's destination may already be null),
// so running the repair twice gives the same document.

#include "Platform/QpdfLinks.h"

#include <cstdint>
#include <optional>

namespace QpdfLinks {
namespace {

struct PageKey {
    QPDF* source;
    std::uint64_t object;
    friend bool operator==(const PageKey&, const PageKey&) = default;
};

struct PageKeyHash {
    std::size_t operator()(const PageKey& key) const {
        return std::hash<std::uint64_t>()(key.object) ^ (std::hash<const void*>()(key.source) << 1);
    }
};

PageKey keyOf(QPDF* source, QPDFObjGen og) {
    return {source, (static_cast<std::uint64_t>(static_cast<std::uint32_t>(og.getObj())) << 32) |
                        static_cast<std::uint32_t>(og.getGen())};
}

// The explicit destination array a destination stands for in its document (null when it
// names nothing).
QPDFObjectHandle explicitDestination(NamedDestinations& names, QPDFObjectHandle destination) {
    auto value = destination.isArray() ? destination : names.find(destination);
    if (value.isDictionary())
        value = value.getKey("/D");
    return value.isArray() ? value : QPDFObjectHandle::newNull();
}

// The page an explicit destination leads to, if any.
std::optional<QPDFObjGen> targetPage(QPDF& document, QPDFObjectHandle array) {
    if (!array.isArray() || array.getArrayNItems() < 1)
        return std::nullopt;
    auto first = array.getArrayItem(0);
    if (first.isIndirect())
        return first.getObjGen();
    // Some writers put a 0-based page number where a page reference belongs.
    const auto& pages = document.getAllPages();
    if (first.isInteger() && first.getIntValue() >= 0 &&
        static_cast<std::uint64_t>(first.getIntValue()) < pages.size())
        return pages[static_cast<std::size_t>(first.getIntValue())].getObjGen();
    return std::nullopt;
}

// A direct copy of a destination's operand (a name, a number or null) that belongs to no
// document: QPDF refuses to put another document's objects into an array.
QPDFObjectHandle operandCopy(QPDFObjectHandle item) {
    if (item.isInteger())
        return QPDFObjectHandle::newInteger(item.getIntValue());
    if (item.isReal())
        return QPDFObjectHandle::newReal(item.getRealValue());
    if (item.isName())
        return QPDFObjectHandle::newName(item.getName());
    if (item.isBool())
        return QPDFObjectHandle::newBool(item.getBoolValue());
    return QPDFObjectHandle::newNull();
}

QPDFObjectHandle destinationTo(QPDFObjectHandle page, QPDFObjectHandle sourceArray) {
    std::vector<QPDFObjectHandle> items{page};
    const int count = sourceArray.getArrayNItems();
    for (int i = 1; i < count; ++i)
        items.push_back(operandCopy(sourceArray.getArrayItem(i)));
    return QPDFObjectHandle::newArray(items);
}

class Repairer {
public:
    explicit Repairer(const std::vector<CopiedPage>& copies) {
        for (const auto& copy : copies)
            m_copyOf.emplace(keyOf(&copy.source->document(), copy.sourcePage.getObjGen()),
                             copy.copy);
    }

    void relinkPage(CopiedPage page) {
        auto sourceAnnots = page.sourcePage.getKey("/Annots");
        auto copyAnnots = page.copy.getKey("/Annots");
        if (!sourceAnnots.isArray() || !copyAnnots.isArray() ||
            sourceAnnots.getArrayNItems() != copyAnnots.getArrayNItems())
            return;
        std::vector<QPDFObjectHandle> kept;
        const int count = sourceAnnots.getArrayNItems();
        for (int i = 0; i < count; ++i) {
            auto copy = copyAnnots.getArrayItem(i);
            if (keepAnnotation(*page.source, sourceAnnots.getArrayItem(i), copy))
                kept.push_back(copy);
        }
        if (static_cast<int>(kept.size()) != count)
            page.copy.replaceKey("/Annots", QPDFObjectHandle::newArray(kept));
    }

    RepairCount count() const { return m_count; }

private:
    bool keepAnnotation(NamedDestinations& source, QPDFObjectHandle original,
                        QPDFObjectHandle copy) {
        try {
            return relinkAnnotation(source, original, copy);
        } catch (const std::exception&) {
            ++m_count.removed; // damage QPDF cannot read around: better no link than a wrong one
            return false;
        }
    }

    // False when the annotation must go.
    bool relinkAnnotation(NamedDestinations& source, QPDFObjectHandle original,
                          QPDFObjectHandle copy) {
        if (!original.isDictionary() || !copy.isDictionary())
            return true;
        const bool direct = original.hasKey("/Dest");
        auto action = original.getKey("/A");
        if (!direct && !(action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")))
            return true;
        const auto destination = direct ? original.getKey("/Dest") : action.getKey("/D");
        if (const auto newDestination = relinked(source, destination)) {
            if (direct)
                copy.replaceKey("/Dest", *newDestination);
            else if (auto copyAction = copy.getKey("/A"); copyAction.isDictionary())
                copyAction.replaceKey("/D", *newDestination);
            ++m_count.relinked;
            return true;
        }
        if (original.getKey("/Subtype").isNameAndEquals("/Link")) {
            ++m_count.removed;
            return false;
        }
        copy.removeKey(direct ? "/Dest" : "/A");
        return true;
    }

    std::optional<QPDFObjectHandle> relinked(NamedDestinations& source,
                                             QPDFObjectHandle destination) {
        const auto array = explicitDestination(source, destination);
        const auto target = targetPage(source.document(), array);
        if (!target)
            return std::nullopt;
        const auto found = m_copyOf.find(keyOf(&source.document(), *target));
        if (found == m_copyOf.end())
            return std::nullopt;
        return destinationTo(found->second, array);
    }

    std::unordered_map<PageKey, QPDFObjectHandle, PageKeyHash> m_copyOf;
    RepairCount m_count;
};

} // namespace

void NamedDestinations::index() {
    m_indexed = true;
    auto root = m_pdf.getRoot();
    m_oldStyle = root.getKey("/Dests");
    std::set<QPDFObjGen> visited;
    addTreeNode(root.getKey("/Names").getKey("/Dests"), visited);
}

// Walked by hand rather than with QPDF's name-tree helper: keys stay raw bytes (no UTF-8
// conversion per key and per lookup), and a damaged tree, which the helper would refuse
// outright without repairing it, still yields its readable entries. The visited set stops
// cycles; the depth bound stops direct nodes nesting without end.
void NamedDestinations::addTreeNode(QPDFObjectHandle node, std::set<QPDFObjGen>& visited,
                                    int depth) {
    if (!node.isDictionary() || depth > kMaxTreeDepth ||
        (node.isIndirect() && !visited.insert(node.getObjGen()).second))
        return;
    auto names = node.getKey("/Names");
    const int count = names.isArray() ? names.getArrayNItems() : 0;
    for (int i = 0; i + 1 < count; i += 2) {
        auto key = names.getArrayItem(i);
        if (key.isString())
            m_tree.emplace(key.getStringValue(), names.getArrayItem(i + 1));
    }
    auto kids = node.getKey("/Kids");
    const int kidCount = kids.isArray() ? kids.getArrayNItems() : 0;
    for (int i = 0; i < kidCount; ++i)
        addTreeNode(kids.getArrayItem(i), visited, depth + 1);
}

QPDFObjectHandle NamedDestinations::find(QPDFObjectHandle name) {
    if (!m_indexed)
        index();
    std::string key;
    if (name.isName())
        key = name.getName().substr(1);
    else if (name.isString())
        key = name.getStringValue();
    else
        return QPDFObjectHandle::newNull();
    const auto inTree = m_tree.find(key);
    if (inTree != m_tree.end())
        return inTree->second;
    if (!m_oldStyle.isDictionary())
        return QPDFObjectHandle::newNull();
    std::string oldStyleKey = "/";
    oldStyleKey += key;
    return m_oldStyle.getKey(oldStyleKey);
}

RepairCount repair(const std::vector<CopiedPage>& copies) {
    Repairer repairer(copies);
    for (const auto& page : copies)
        repairer.relinkPage(page);
    return repairer.count();
}

QPDFObjectHandle resolveDestination(NamedDestinations& names, QPDFObjectHandle destination) {
    return explicitDestination(names, destination);
}

std::optional<QPDFObjGen> destinationPage(QPDF& document, QPDFObjectHandle explicitDestination) {
    return targetPage(document, explicitDestination);
}

QPDFObjectHandle retargeted(QPDFObjectHandle page, QPDFObjectHandle explicitDestination) {
    return destinationTo(page, explicitDestination);
}

} // namespace QpdfLinks
