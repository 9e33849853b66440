// SPDX-License-Identifier: GPL-3.0-or-later
//
// QPDF's transformAnnotations does the copying: private copies of the page's annotations, the
// fields above its widgets (one copy of a parent shared by its kids, so radio groups stay
// groups), appearance streams, the source's /DR merged into the destination's with clashing
// resource names rewritten, /DA and /Q made explicit where the destination's defaults differ,
// and /NeedAppearances. What is left here is adding the new fields under names of their own.

#include "Platform/QpdfForms.h"

#include <deque>
#include <map>
#include <qpdf/QPDFFormFieldObjectHelper.hh>
#include <qpdf/QPDFMatrix.hh>
#include <set>
#include <string>
#include <vector>

namespace QpdfForms {
namespace {

// Field trees deeper than QPDF itself reads are damage; their depths are not renamed.
constexpr int kMaxFieldDepth = 100;

bool nameTaken(QPDFAcroFormDocumentHelper& destination, const std::string& name) {
    return !destination.getFieldsWithQualifiedName(name).empty();
}

// Renames, top down, every field of the new tree whose full name the destination already
// holds: its partial name gets the first free suffix _2, _3, … Fields that shared a name keep
// sharing one (the same suffix), as they did in their source.
void renameClashes(QPDFAcroFormDocumentHelper& destination, QPDFObjectHandle top) {
    std::map<std::string, std::string> suffixOf;
    std::set<QPDFObjGen> seen;
    std::deque<std::pair<QPDFObjectHandle, int>> pending{{top, 0}};
    for (; !pending.empty(); pending.pop_front()) {
        auto [field, depth] = pending.front();
        if (!field.isDictionary() || depth > kMaxFieldDepth ||
            (field.isIndirect() && !seen.insert(field.getObjGen()).second))
            continue;
        if (field.getKey("/T").isString()) {
            QPDFFormFieldObjectHelper helper(field);
            const std::string name = helper.getFullyQualifiedName();
            auto [entry, added] = suffixOf.try_emplace(name);
            for (int k = 2; added && nameTaken(destination, name + entry->second); ++k)
                entry->second = "_" + std::to_string(k);
            if (!entry->second.empty())
                field.replaceKey("/T", QPDFObjectHandle::newUnicodeString(helper.getPartialName() +
                                                                          entry->second));
        }
        auto kids = field.getKey("/Kids");
        for (int i = 0; kids.isArray() && i < kids.getArrayNItems(); ++i)
            pending.emplace_back(kids.getArrayItem(i), depth + 1);
    }
}

// Signatures present (bit 1) and append-only (bit 2) hold for the result if they held for
// any source whose fields it carries.
void carrySigFlags(QPDF& destination, QPDF& source) {
    auto flags = source.getRoot().getKey("/AcroForm").getKey("/SigFlags");
    auto acroForm = destination.getRoot().getKey("/AcroForm");
    if (!flags.isInteger() || !acroForm.isDictionary())
        return;
    auto current = acroForm.getKey("/SigFlags");
    const long long merged =
        flags.getIntValue() | (current.isInteger() ? current.getIntValue() : 0);
    acroForm.replaceKey("/SigFlags", QPDFObjectHandle::newInteger(merged));
}

} // namespace

bool hasForm(QPDF& pdf) {
    auto acroForm = pdf.getRoot().getKey("/AcroForm");
    if (!acroForm.isDictionary())
        return false;
    auto fields = acroForm.getKey("/Fields");
    return fields.isArray() && fields.getArrayNItems() > 0;
}

void carryFields(QPDFAcroFormDocumentHelper& destination, QPDFAcroFormDocumentHelper& source,
                 QPDFObjectHandle copy, QPDFObjectHandle sourcePage) {
    auto annots = sourcePage.getKey("/Annots");
    if (!annots.isArray() || annots.getArrayNItems() == 0)
        return;
    std::vector<QPDFObjectHandle> newAnnots;
    std::vector<QPDFObjectHandle> newFields;
    std::set<QPDFObjGen> oldFields;
    destination.transformAnnotations(annots, newAnnots, newFields, oldFields, QPDFMatrix(),
                                     &source.getQPDF(), &source);
    copy.replaceKey("/Annots", QPDFObjectHandle::newArray(newAnnots));
    for (auto& field : newFields) {
        renameClashes(destination, field);
        destination.addFormField(QPDFFormFieldObjectHelper(field));
    }
    if (!newFields.empty())
        carrySigFlags(destination.getQPDF(), source.getQPDF());
}

} // namespace QpdfForms
