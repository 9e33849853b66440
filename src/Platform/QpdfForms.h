// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>

/// Keeps interactive forms working across page copies. QPDF copies a page's widget
/// annotations but not the fields they belong to, nor the document's /AcroForm: the copy
/// shows empty boxes (a value lives in its field; where /NeedAppearances asks the reader to
/// draw it there is not even an appearance) and readers find widgets without fields. Private
/// to the PDF platform files; throws QPDF's exceptions (std::exception subclasses).
namespace QpdfForms {

/// Whether the document has a form whose fields page copies should carry.
bool hasForm(QPDF& pdf);

/// Call right after QPDF appended `copy` as a copy of `sourcePage` (of `source`'s document,
/// or of the destination itself). Gives the copy annotations of its own, in the source
/// page's order, and adds the fields of its widgets (with their parents) to the destination's
/// /AcroForm, renaming a field whose full name is already taken there (name → name_2), so
/// that merged copies of one form are filled independently. Carries what the fields need
/// from the source's /AcroForm: default resources (/DR) and appearance (/DA, /Q),
/// /NeedAppearances and /SigFlags. Fields none of whose widgets are copied stay behind.
void carryFields(QPDFAcroFormDocumentHelper& destination, QPDFAcroFormDocumentHelper& source,
                 QPDFObjectHandle copy, QPDFObjectHandle sourcePage);

} // namespace QpdfForms
