// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/QpdfRemake.h"

#include "Platform/QpdfOutline.h"

#include <map>
#include <set>
#include <string>

namespace QpdfRemake {
namespace {

// Outline items the view pass visits at most, and how deep: the outline is the one just
// built from the source, but the source may have nested or repeated items without end.
constexpr int kMostOutlineItems = 1'000'000;
constexpr int kDeepestOutline = 64;

QPDFObjectHandle textCopy(QPDFObjectHandle value) {
    if (value.isString())
        return QPDFObjectHandle::newString(value.getStringValue());
    if (value.isName())
        return QPDFObjectHandle::newName(value.getName());
    if (value.isBool())
        return QPDFObjectHandle::newBool(value.getBoolValue());
    return QPDFObjectHandle::newNull();
}

void keepInformation(QPDF& source, QPDF& destination) {
    QPDFObjectHandle info = source.getTrailer().getKey("/Info");
    if (!info.isDictionary())
        return;
    auto kept = QPDFObjectHandle::newDictionary();
    for (const std::string& key : info.getKeys())
        if (key != "/Producer")
            if (auto value = textCopy(info.getKey(key)); !value.isNull())
                kept.replaceKey(key, value);
    if (!kept.getKeys().empty())
        destination.getTrailer().replaceKey("/Info", destination.makeIndirectObject(kept));
}

void keepMetadata(QPDF& source, QPDF& destination) {
    QPDFObjectHandle metadata = source.getRoot().getKey("/Metadata");
    if (!metadata.isStream())
        return;
    // Decoded, as QPDF writes metadata streams uncompressed for any reader to find.
    auto copy = destination.newStream();
    copy.replaceStreamData(metadata.getStreamData(qpdf_dl_generalized), QPDFObjectHandle::newNull(),
                           QPDFObjectHandle::newNull());
    copy.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/Metadata"));
    copy.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/XML"));
    destination.getRoot().replaceKey("/Metadata", copy);
}

// The outline's destinations lead to the new pages with the source's view; its coordinates
// are mapped here as the links' are.
void mapViews(QPDFObjectHandle item, const std::map<QPDFObjGen, Affine>& transforms,
              std::set<QPDFObjGen>& visited, int depth) {
    for (; item.isDictionary() && visited.size() < kMostOutlineItems && depth <= kDeepestOutline &&
           visited.insert(item.getObjGen()).second;
         item = item.getKey("/Next")) {
        QPDFObjectHandle destination = item.getKey("/Dest");
        if (destination.isArray() && destination.getArrayNItems() > 0) {
            const auto found = transforms.find(destination.getArrayItem(0).getObjGen());
            if (found != transforms.end())
                item.replaceKey("/Dest", QpdfLinks::viewThrough(destination.getArrayItem(0),
                                                                destination, found->second));
        }
        mapViews(item.getKey("/First"), transforms, visited, depth + 1);
    }
}

void keepOutline(QpdfLinks::NamedDestinations& source, QPDF& destination,
                 const std::vector<RemadePage>& pages) {
    QpdfOutline::PageMap pageMap;
    std::map<QPDFObjGen, Affine> transforms;
    for (const RemadePage& page : pages) {
        pageMap.emplace(page.sourcePage.getObjGen(), page.page);
        transforms.emplace(page.page.getObjGen(), page.sourceToPage);
    }
    const auto items = QpdfOutline::copy(source, destination, pageMap);
    std::set<QPDFObjGen> visited;
    for (const QPDFObjectHandle& item : items)
        mapViews(item, transforms, visited, 0);
    QpdfOutline::setOutline(destination, items);
}

void keepLinks(QpdfLinks::NamedDestinations& source, const std::vector<RemadePage>& pages) {
    QpdfLinks::PageMap map;
    for (const RemadePage& page : pages)
        map.add(page.sourcePage, page.page, page.sourceToPage);
    for (const RemadePage& page : pages)
        QpdfLinks::carryLinks(source, page.sourcePage, page.page, page.sourceToPage, map);
}

template <typename Part> void keepPart(const Part& part) {
    try {
        part();
    } catch (const std::exception&) {
        // A part of the source QPDF cannot read is left out; the pages are already made.
    }
}

} // namespace

void keepStructure(QpdfLinks::NamedDestinations& source, QPDF& destination,
                   const std::vector<RemadePage>& pages) {
    keepPart([&] { keepLinks(source, pages); });
    keepPart([&] { keepOutline(source, destination, pages); });
    keepPart([&] { keepInformation(source.document(), destination); });
    keepPart([&] { keepMetadata(source.document(), destination); });
}

} // namespace QpdfRemake
