// A look at CXmlDoc's element index, for tests and fuzz targets: the element
// tree as the index holds it, and a check that the index agrees with itself
// and with the text.
#pragma once

#include <string>
#include <vector>

#include "settings/XmlDoc.h"

struct CXmlDocIndexView {
    struct Element {
        std::wstring name;
        std::int32_t start = 0;
        std::int32_t length = 0;
        std::int32_t startTagLen = 0;
        std::int32_t endTagLen = 0;
        bool notEnded = false;
        std::int32_t depth = 0;  // 0 for top-level elements
        bool operator==(const Element&) const = default;
    };

    // Every element in document order (a parent before its children) with
    // its depth, which together give the tree.
    static std::vector<Element> Tree(const CXmlDoc& doc) {
        std::vector<Element> out;
        std::vector<std::pair<std::int32_t, std::int32_t>> stack;  // record, depth
        for (std::int32_t c = LastChild(doc, 0); c; c = Previous(doc, c)) stack.emplace_back(c, 0);
        while (!stack.empty()) {
            const auto [r, depth] = stack.back();
            stack.pop_back();
            const XmlElemPos& e = doc.index_[r];
            Element el;
            el.name = std::wstring(doc.NameAt(e.start));
            el.start = e.start;
            el.length = e.length;
            el.startTagLen = e.startTagLen;
            el.endTagLen = e.endTagLen;
            el.notEnded = (e.flags & XEP_NOT_ENDED) != 0;
            el.depth = depth;
            out.push_back(std::move(el));
            for (std::int32_t c = LastChild(doc, r); c; c = Previous(doc, c)) stack.emplace_back(c, depth + 1);
        }
        return out;
    }

    static bool IllFormed(const CXmlDoc& doc) { return (doc.index_[0].flags & XDF_ILL_FORMED) != 0; }
    static std::int32_t ElementCount(const CXmlDoc& doc) { return doc.free_ - 1; }

    // Empty when every record lies inside the text where its tags are, every
    // link agrees with its counterpart, children lie inside their parent in
    // document order, and every record is reachable once; otherwise the
    // first problem found.
    static std::string CheckIndex(const CXmlDoc& doc) {
        const std::wstring& d = doc.doc_;
        const auto n = static_cast<std::int64_t>(d.size());
        const XmlElemPos& top = doc.index_[0];
        if (top.length != n) return "document record length " + std::to_string(top.length) + " != " + std::to_string(n);
        std::int32_t reached = 0;
        std::string problem;
        std::vector<std::int32_t> stack{0};
        while (!stack.empty() && problem.empty()) {
            const std::int32_t p = stack.back();
            stack.pop_back();
            const XmlElemPos& pr = doc.index_[p];
            const std::int64_t inner = p ? std::int64_t{pr.start} + pr.startTagLen : 0;
            const std::int64_t innerEnd = p ? std::int64_t{pr.start} + pr.length - pr.endTagLen : n;
            std::int64_t lastEnd = inner;
            std::int32_t prev = 0, last = 0;
            for (std::int32_t c = pr.firstChild; c; c = doc.index_[c].next) {
                if (c < 1 || c >= doc.free_ || ++reached > doc.free_) return "bad link to record " + std::to_string(c);
                const XmlElemPos& e = doc.index_[c];
                const std::string at = "record " + std::to_string(c) + ": ";
                if (e.parent != p) return at + "parent link";
                if (prev && e.prev != prev) return at + "previous link";
                if (e.start < lastEnd || std::int64_t{e.start} + e.length > innerEnd) return at + "outside its parent";
                if (e.startTagLen < 3 || e.length < e.startTagLen + e.endTagLen) return at + "tag lengths";
                if (d[static_cast<std::size_t>(e.start)] != L'<') return at + "no '<' at start";
                const std::size_t tagEnd = static_cast<std::size_t>(e.start + e.startTagLen - 1);
                if (d[tagEnd] != L'>') return at + "start tag does not end in '>'";
                const bool empty = e.endTagLen == 0 && !(e.flags & XEP_NOT_ENDED);
                if (empty && (d[tagEnd - 1] != L'/' || e.length != e.startTagLen)) return at + "empty tag";
                if (e.flags & XEP_NOT_ENDED) {
                    if (e.length != e.startTagLen || e.firstChild) return at + "not-ended element with content";
                    if (d[tagEnd - 1] == L'/') return at + "not-ended element written as empty tag";
                }
                if (e.endTagLen) {
                    const auto endTag = static_cast<std::size_t>(e.start + e.length - e.endTagLen);
                    if (d.compare(endTag, 2, L"</") != 0 || d[static_cast<std::size_t>(e.start + e.length - 1)] != L'>')
                        return at + "end tag";
                    if (d.compare(endTag + 2, doc.NameAt(e.start).size(), doc.NameAt(e.start)) != 0)
                        return at + "end tag name";
                }
                lastEnd = std::int64_t{e.start} + e.length;
                prev = last = c;
                stack.push_back(c);
            }
            if (pr.firstChild && doc.index_[pr.firstChild].prev != last)
                problem = "record " + std::to_string(p) + ": first child does not point to the last";
        }
        if (!problem.empty()) return problem;
        if (reached != doc.free_ - 1)
            return std::to_string(reached) + " records reachable of " + std::to_string(doc.free_ - 1);
        return {};
    }

private:
    static std::int32_t LastChild(const CXmlDoc& doc, std::int32_t r) {
        const std::int32_t first = doc.index_[r].firstChild;
        return first ? doc.index_[first].prev : 0;
    }
    // The sibling before c, 0 for the first child.
    static std::int32_t Previous(const CXmlDoc& doc, std::int32_t c) {
        const std::int32_t parent = doc.index_[c].parent;
        return c == doc.index_[parent].firstChild ? 0 : doc.index_[c].prev;
    }
};
