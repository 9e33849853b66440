// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Affine.h"

#include <map>
#include <memory>
#include <optional>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

/// Keeps internal links working across page copies, and carries links onto pages made anew
/// (QpdfLinkCarry.cpp). QPDF copies a page's annotations but not
/// the pages they point at: a destination whose page was copied before the link keeps a
/// reference to that copy, one copied later becomes null, and named destinations keep names
/// that the result cannot look up (the name tables are not carried over). Private to the PDF
/// platform files; throws QPDF's exceptions (std::exception subclasses).
namespace QpdfLinks {

/// The named destinations of one document (its /Names /Dests tree and old-style /Dests
/// dictionary), indexed on the first lookup so that the many links of a large document and
/// the many results made from it share one pass over the tree. Reads the document, never
/// changes it; one thread at a time.
class NamedDestinations {
public:
    explicit NamedDestinations(QPDF& pdf) : m_pdf(pdf) {}
    QPDF& document() const { return m_pdf; }

    /// What a name or string destination names (an array or a dictionary with /D), or null.
    QPDFObjectHandle find(QPDFObjectHandle name);

private:
    static constexpr int kMaxTreeDepth = 64;
    void index();
    void addTreeNode(QPDFObjectHandle node, std::set<QPDFObjGen>& visited, int depth = 0);
    QPDF& m_pdf;
    bool m_indexed = false;
    QPDFObjectHandle m_oldStyle;
    std::unordered_map<std::string, QPDFObjectHandle> m_tree; // keys: the strings' bytes
};

/// One page of a document that was copied from another document.
struct CopiedPage {
    std::shared_ptr<NamedDestinations> source; // the page's document; outlives the repair
    QPDFObjectHandle sourcePage;               // the page in that document
    QPDFObjectHandle copy;                     // the page in the destination
};

/// What repair() changed, for callers and tests that count.
struct RepairCount {
    int relinked = 0; // destinations pointed at a page copy (named ones made explicit)
    int removed = 0;  // link annotations removed because their page is not in the destination
};

/// Rewrites the destinations of the copies' annotations from their sources: a destination
/// (a /Dest or a GoTo action's /D; explicit, or named in the source's /Names /Dests tree or
/// /Dests dictionary) whose page was copied points at that page's first copy; a link whose
/// page was not copied, or whose destination cannot be resolved, is removed (another kind
/// of annotation loses only its GoTo action). Other actions (URI, remote, named) stay.
/// Only the copies' own objects change; sources are read. Idempotent.
RepairCount repair(const std::vector<CopiedPage>& copies);

/// Where the pages of a source document went in a document made anew from them (pictures of
/// the pages rather than copies): each source page's new page, and how the source page's
/// default user space maps onto the new page's. A source page not in the map has no new page.
class PageMap {
public:
    struct Target {
        QPDFObjectHandle page;
        Affine sourceToNew;
    };
    /// A source page added twice keeps its first target.
    void add(QPDFObjectHandle sourcePage, QPDFObjectHandle newPage, const Affine& sourceToNew);
    /// The source page's target, or null.
    const Target* find(QPDFObjGen sourcePage) const;

private:
    std::map<QPDFObjGen, Target> m_targets;
};

/// The explicit destination that a source destination (explicit, the 0-based page number
/// some writers use, or named in the source's tables) becomes in the new document: its
/// page's target, with the view's coordinates mapped through that target's transform. A view
/// on a page turned by a quarter turn exchanges its axes (/FitH becomes /FitV and back); a
/// coordinate that is null stays null; a zoom is divided by the page's growth, so the view
/// shows as much as it did. Absent when the destination names nothing or its page has no
/// target. The result belongs to no document (direct), apart from the target page.
std::optional<QPDFObjectHandle>
mappedDestination(NamedDestinations& source, QPDFObjectHandle destination, const PageMap& pages);

/// A new explicit destination to `page` (of the new document) with the view of a source's
/// `explicitDestination`, its coordinates mapped through `sourceToNew` as mappedDestination
/// maps them.
QPDFObjectHandle viewThrough(QPDFObjectHandle page, QPDFObjectHandle explicitDestination,
                             const Affine& sourceToNew);

/// Adds to `newPage` (a page of the map's new document) a new link annotation for each link
/// annotation of `sourcePage`: its /Rect (the bounding box of its mapped corners) and
/// /QuadPoints mapped through `sourceToNew`; its /Border, /BS, /C, /H and /F kept as plain
/// values; an internal destination (/Dest, or a GoTo action) replaced by mappedDestination;
/// URI and named actions (NextPage…) kept. A link whose destination does not map, that does
/// nothing, or whose action is of another kind (another file, a launch, a script), and an
/// annotation that cannot be read, are left out. Nothing is shared with the source document,
/// which is only read and may go before the new one is written. The new annotations follow
/// any the page already has. Returns how many were added.
int carryLinks(NamedDestinations& source, QPDFObjectHandle sourcePage, QPDFObjectHandle newPage,
               const Affine& sourceToNew, const PageMap& pages);

/// The explicit destination array a destination stands for in the document of `names` (an
/// array as it is; a name or string looked up; a dictionary's /D), or null.
QPDFObjectHandle resolveDestination(NamedDestinations& names, QPDFObjectHandle destination);

/// The page object an explicit destination leads to (a page reference, or the 0-based page
/// number some writers put there), if any. Not checked to be a page.
std::optional<QPDFObjGen> destinationPage(QPDF& document, QPDFObjectHandle explicitDestination);

/// A new explicit destination to `page` with the view of `explicitDestination` (/XYZ, /Fit…
/// and their numbers), copied so that it belongs to no document.
QPDFObjectHandle retargeted(QPDFObjectHandle page, QPDFObjectHandle explicitDestination);

} // namespace QpdfLinks
