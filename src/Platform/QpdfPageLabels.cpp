// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/QpdfPageLabels.h"

#include <map>
#include <memory>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>
#include <string>

namespace QpdfPageLabels {
namespace {

// One page's label: style (a name, or empty for none), prefix bytes and number.
struct Label {
    std::string style;
    std::string prefix;
    long long number = 1;
};

Label labelOf(QPDFObjectHandle dictionary) {
    Label label;
    if (!dictionary.isDictionary())
        return label;
    if (auto style = dictionary.getKey("/S"); style.isName())
        label.style = style.getName();
    if (auto prefix = dictionary.getKey("/P"); prefix.isString())
        label.prefix = prefix.getStringValue();
    if (auto start = dictionary.getKey("/St"); start.isInteger() && start.getIntValue() >= 1)
        label.number = start.getIntValue();
    return label;
}

QPDFObjectHandle rangeStartingWith(const Label& label) {
    auto range = QPDFObjectHandle::newDictionary();
    if (!label.style.empty())
        range.replaceKey("/S", QPDFObjectHandle::newName(label.style));
    if (!label.prefix.empty())
        range.replaceKey("/P", QPDFObjectHandle::newString(label.prefix));
    if (label.number != 1)
        range.replaceKey("/St", QPDFObjectHandle::newInteger(label.number));
    return range;
}

class Labeller {
public:
    bool anyLabels(const std::vector<Origin>& pages) {
        for (const auto& page : pages)
            if (page.source && helperOf(*page.source).hasPageLabels())
                return true;
        return false;
    }

    Label labelOf(const Origin& origin, long long position) {
        if (!origin.source)
            return {"/D", "", position + 1};
        auto& helper = helperOf(*origin.source);
        if (!helper.hasPageLabels())
            return {"/D", "", static_cast<long long>(origin.sourceIndex) + 1};
        return QpdfPageLabels::labelOf(helper.getLabelForPage(origin.sourceIndex));
    }

private:
    QPDFPageLabelDocumentHelper& helperOf(QPDF& pdf) {
        auto& helper = m_helpers[&pdf];
        if (!helper)
            helper = std::make_unique<QPDFPageLabelDocumentHelper>(pdf);
        return *helper;
    }

    std::map<QPDF*, std::unique_ptr<QPDFPageLabelDocumentHelper>> m_helpers;
};

} // namespace

void keep(QPDF& destination, const std::vector<Origin>& pages) {
    auto root = destination.getRoot();
    root.removeKey("/PageLabels");
    Labeller labeller;
    if (!labeller.anyLabels(pages))
        return;
    std::vector<QPDFObjectHandle> nums;
    Label previous;
    long long previousStart = -1;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const auto position = static_cast<long long>(i);
        const Label label = labeller.labelOf(pages[i], position);
        const bool continues = previousStart >= 0 && label.style == previous.style &&
                               label.prefix == previous.prefix &&
                               label.number == previous.number + (position - previousStart);
        if (continues)
            continue;
        nums.push_back(QPDFObjectHandle::newInteger(position));
        nums.push_back(rangeStartingWith(label));
        previous = label;
        previousStart = position;
    }
    auto labels = QPDFObjectHandle::newDictionary();
    labels.replaceKey("/Nums", QPDFObjectHandle::newArray(nums));
    root.replaceKey("/PageLabels", destination.makeIndirectObject(labels));
}

} // namespace QpdfPageLabels
