#include "settings/XmlDoc.h"

#include <algorithm>
#include <climits>
#include <new>
#include <unordered_map>

namespace {

constexpr std::int32_t kMaxText = INT32_MAX - 16;

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// Characters that can begin a tag name.
bool IsNameStart(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || c == L':' || c >= 0x80;
}

// Characters that end a tag name in a tag.
bool EndsTagName(wchar_t c) {
    return IsSpace(c) || c == L'/' || c == L'>' || c == L'<' || c == L'"' || c == L'\'' || c == L'=';
}

// A name the editing operations accept for an element or an attribute.
bool IsValidName(std::wstring_view name) {
    if (name.empty() || !IsNameStart(name[0])) return false;
    for (wchar_t c : name) {
        const bool ok = IsNameStart(c) || (c >= L'0' && c <= L'9') || c == L'-' || c == L'.';
        if (!ok || c == 0xFFFE || c == 0xFFFF || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
    }
    return true;
}

bool EqualNames(std::wstring_view a, std::wstring_view b, bool ignoreCase) {
    if (a.size() != b.size()) return false;
    if (!ignoreCase) return a == b;
    for (std::size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return true;
}

bool StartsWith(std::wstring_view text, std::size_t pos, std::wstring_view what, bool ignoreCase = false) {
    if (pos > text.size() || text.size() - pos < what.size()) return false;
    return EqualNames(text.substr(pos, what.size()), what, ignoreCase);
}

// What the node scanner finds at an offset.
enum class NodeKind {
    Whitespace,
    Text,
    StartTag,
    EmptyTag,
    EndTag,
    Comment,
    CData,
    ProcessingInstruction,
    DocumentType,
    SyntaxFault,    // `fault` names the note; the node is the '<' alone
    Unterminated,   // `fault` names the kind of node
};

struct Node {
    Node(NodeKind k, std::size_t len, const wchar_t* f = nullptr, std::wstring_view n = {})
        : kind(k), length(len), fault(f), name(n) {}
    NodeKind kind;
    std::size_t length;
    const wchar_t* fault;
    std::wstring_view name;  // start, empty and end tags
};

Node ScanNode(std::wstring_view d, std::size_t pos) {
    const std::size_t n = d.size();
    if (d[pos] != L'<') {
        bool space = true;
        std::size_t i = pos;
        for (; i < n && d[i] != L'<'; ++i)
            if (!IsSpace(d[i])) space = false;
        return {space ? NodeKind::Whitespace : NodeKind::Text, i - pos};
    }
    if (pos + 1 >= n) return {NodeKind::Unterminated, n - pos, L"tag"};
    const wchar_t c1 = d[pos + 1];
    auto findEnd = [&](std::size_t from, std::wstring_view end, NodeKind kind, const wchar_t* what) -> Node {
        const std::size_t e = d.find(end, from);
        if (e == std::wstring_view::npos) return {NodeKind::Unterminated, n - pos, what};
        return {kind, e + end.size() - pos};
    };
    if (c1 == L'/') {
        std::size_t i = pos + 2;
        while (i < n && !EndsTagName(d[i])) ++i;
        const std::wstring_view name = d.substr(pos + 2, i - pos - 2);
        if (name.empty()) return {NodeKind::SyntaxFault, 1, L"first_tag_syntax"};
        for (; i < n; ++i) {
            if (d[i] == L'>') return {NodeKind::EndTag, i + 1 - pos, nullptr, name};
            if (d[i] == L'<') return {NodeKind::Unterminated, i - pos, L"end_tag"};
        }
        return {NodeKind::Unterminated, n - pos, L"end_tag"};
    }
    if (c1 == L'?') return findEnd(pos + 2, L"?>", NodeKind::ProcessingInstruction, L"processing_instruction");
    if (c1 == L'!') {
        if (StartsWith(d, pos, L"<!--")) return findEnd(pos + 4, L"-->", NodeKind::Comment, L"comment");
        if (StartsWith(d, pos, L"<!-")) return {NodeKind::SyntaxFault, 1, L"comment_tag_syntax"};
        if (StartsWith(d, pos, L"<![CDATA[")) return findEnd(pos + 9, L"]]>", NodeKind::CData, L"cdata_section");
        if (StartsWith(d, pos, L"<![")) return {NodeKind::SyntaxFault, 1, L"cdata_section_syntax"};
        if (StartsWith(d, pos, L"<!DOCTYPE", true)) {
            int depth = 0;
            for (std::size_t i = pos + 9; i < n; ++i) {
                const wchar_t c = d[i];
                if (c == L'"' || c == L'\'') {
                    const std::size_t q = d.find(c, i + 1);
                    if (q == std::wstring_view::npos) break;
                    i = q;
                } else if (depth > 0 && StartsWith(d, i, L"<!--")) {
                    const std::size_t e = d.find(L"-->", i + 4);
                    if (e == std::wstring_view::npos) break;
                    i = e + 2;
                } else if (c == L'[') {
                    ++depth;
                } else if (c == L']') {
                    if (depth > 0) --depth;
                } else if (c == L'>' && depth == 0) {
                    return {NodeKind::DocumentType, i + 1 - pos};
                }
            }
            return {NodeKind::Unterminated, n - pos, L"document_type"};
        }
        if (c1 == L'!' && pos + 2 < n && (d[pos + 2] == L'D' || d[pos + 2] == L'd'))
            return {NodeKind::SyntaxFault, 1, L"doctype_tag_syntax"};
        return {NodeKind::SyntaxFault, 1, L"exclamation_tag_syntax"};
    }
    if (!IsNameStart(c1)) return {NodeKind::SyntaxFault, 1, L"first_tag_syntax"};
    std::size_t i = pos + 1;
    while (i < n && !EndsTagName(d[i])) ++i;
    const std::wstring_view name = d.substr(pos + 1, i - pos - 1);
    for (; i < n; ++i) {
        const wchar_t c = d[i];
        if (c == L'"' || c == L'\'') {
            const std::size_t q = d.find(c, i + 1);
            if (q == std::wstring_view::npos) return {NodeKind::Unterminated, n - pos, L"start_tag"};
            i = q;
        } else if (c == L'>') {
            const bool empty = d[i - 1] == L'/';
            return {empty ? NodeKind::EmptyTag : NodeKind::StartTag, i + 1 - pos, nullptr, name};
        } else if (c == L'<') {
            return {NodeKind::Unterminated, i - pos, L"start_tag"};
        }
    }
    return {NodeKind::Unterminated, n - pos, L"start_tag"};
}

// Where the attributes of a start tag are.
struct AttrSpan {
    bool found = false;
    std::size_t nameEnd = 0;     // end of the attribute's name
    bool hasValue = false;
    bool quoted = false;
    std::size_t valueStart = 0;  // inside the quotes
    std::size_t valueEnd = 0;
    std::size_t lastAttrEnd = 0;  // end of the last attribute (or the tag name)
};

// Looks for attribute `name` in the tag d[start, tagEnd), where tagEnd is the
// offset of the closing ">" or "/>".
AttrSpan FindAttribute(std::wstring_view d, std::size_t start, std::size_t tagEnd, std::wstring_view name,
                       bool ignoreCase) {
    AttrSpan span;
    std::size_t i = start + 1;
    while (i < tagEnd && !EndsTagName(d[i])) ++i;
    std::size_t lastEnd = i;
    while (i < tagEnd) {
        if (IsSpace(d[i]) || d[i] == L'/') {
            ++i;
            continue;
        }
        if (d[i] == L'"' || d[i] == L'\'' || d[i] == L'=') {
            // A stray quotation (or equals sign) where a name should be: pass
            // over the quoted part.
            const std::size_t q = (d[i] == L'=') ? i : d.find(d[i], i + 1);
            i = (q == std::wstring_view::npos || q >= tagEnd) ? tagEnd : q + 1;
            continue;
        }
        const std::size_t nameStart = i;
        while (i < tagEnd && !EndsTagName(d[i])) ++i;
        const std::wstring_view attrName = d.substr(nameStart, i - nameStart);
        if (attrName.empty()) {
            // '<' or '>' where a name should be (a quotation left open by an
            // unquoted value): not an attribute.
            ++i;
            lastEnd = i;
            continue;
        }
        AttrSpan here;
        here.nameEnd = i;
        std::size_t j = i;
        while (j < tagEnd && IsSpace(d[j])) ++j;
        std::size_t end = i;
        if (j < tagEnd && d[j] == L'=') {
            ++j;
            const std::size_t afterEquals = j;
            while (j < tagEnd && IsSpace(d[j])) ++j;
            here.hasValue = true;
            // An unquoted value starts right after the equals sign; after
            // white space only a quoted one does (else the next attribute
            // would be taken for this one's value).
            if (j < tagEnd && d[j] != L'"' && d[j] != L'\'') j = afterEquals;
            if (j < tagEnd && (d[j] == L'"' || d[j] == L'\'')) {
                const std::size_t q = d.find(d[j], j + 1);
                here.quoted = true;
                here.valueStart = j + 1;
                here.valueEnd = (q == std::wstring_view::npos || q >= tagEnd) ? tagEnd : q;
                end = here.valueEnd < tagEnd ? here.valueEnd + 1 : tagEnd;
            } else {
                std::size_t k = j;
                // An unquoted value ends where a quotation begins, as the
                // node scanner sees it.
                while (k < tagEnd && !IsSpace(d[k]) && d[k] != L'"' && d[k] != L'\'') ++k;
                here.valueStart = j;
                here.valueEnd = k;
                end = k;
            }
        }
        lastEnd = end;
        if (!span.found && EqualNames(attrName, name, ignoreCase)) {
            span = here;
            span.found = true;
        }
        i = end;
    }
    span.lastAttrEnd = lastEnd;
    return span;
}

struct Entity {
    const wchar_t* name;
    int codePoint;
};

// The named character references of HTML 4, plus apos.
constexpr Entity kEntities[] = {
    {L"quot", 34}, {L"amp", 38}, {L"lt", 60}, {L"gt", 62}, {L"nbsp", 160}, {L"iexcl", 161},
    {L"cent", 162}, {L"pound", 163}, {L"curren", 164}, {L"yen", 165}, {L"brvbar", 166},
    {L"sect", 167}, {L"uml", 168}, {L"copy", 169}, {L"ordf", 170}, {L"laquo", 171}, {L"not", 172},
    {L"shy", 173}, {L"reg", 174}, {L"macr", 175}, {L"deg", 176}, {L"plusmn", 177}, {L"sup2", 178},
    {L"sup3", 179}, {L"acute", 180}, {L"micro", 181}, {L"para", 182}, {L"middot", 183},
    {L"cedil", 184}, {L"sup1", 185}, {L"ordm", 186}, {L"raquo", 187}, {L"frac14", 188},
    {L"frac12", 189}, {L"frac34", 190}, {L"iquest", 191}, {L"Agrave", 192}, {L"Aacute", 193},
    {L"Acirc", 194}, {L"Atilde", 195}, {L"Auml", 196}, {L"Aring", 197}, {L"AElig", 198},
    {L"Ccedil", 199}, {L"Egrave", 200}, {L"Eacute", 201}, {L"Ecirc", 202}, {L"Euml", 203},
    {L"Igrave", 204}, {L"Iacute", 205}, {L"Icirc", 206}, {L"Iuml", 207}, {L"ETH", 208},
    {L"Ntilde", 209}, {L"Ograve", 210}, {L"Oacute", 211}, {L"Ocirc", 212}, {L"Otilde", 213},
    {L"Ouml", 214}, {L"times", 215}, {L"Oslash", 216}, {L"Ugrave", 217}, {L"Uacute", 218},
    {L"Ucirc", 219}, {L"Uuml", 220}, {L"Yacute", 221}, {L"THORN", 222}, {L"szlig", 223},
    {L"agrave", 224}, {L"aacute", 225}, {L"acirc", 226}, {L"atilde", 227}, {L"auml", 228},
    {L"aring", 229}, {L"aelig", 230}, {L"ccedil", 231}, {L"egrave", 232}, {L"eacute", 233},
    {L"ecirc", 234}, {L"euml", 235}, {L"igrave", 236}, {L"iacute", 237}, {L"icirc", 238},
    {L"iuml", 239}, {L"eth", 240}, {L"ntilde", 241}, {L"ograve", 242}, {L"oacute", 243},
    {L"ocirc", 244}, {L"otilde", 245}, {L"ouml", 246}, {L"divide", 247}, {L"oslash", 248},
    {L"ugrave", 249}, {L"uacute", 250}, {L"ucirc", 251}, {L"uuml", 252}, {L"yacute", 253},
    {L"thorn", 254}, {L"yuml", 255}, {L"OElig", 338}, {L"oelig", 339}, {L"Scaron", 352},
    {L"scaron", 353}, {L"Yuml", 376}, {L"fnof", 402}, {L"circ", 710}, {L"tilde", 732},
    {L"Alpha", 913}, {L"Beta", 914}, {L"Gamma", 915}, {L"Delta", 916}, {L"Epsilon", 917},
    {L"Zeta", 918}, {L"Eta", 919}, {L"Theta", 920}, {L"Iota", 921}, {L"Kappa", 922},
    {L"Lambda", 923}, {L"Mu", 924}, {L"Nu", 925}, {L"Xi", 926}, {L"Omicron", 927}, {L"Pi", 928},
    {L"Rho", 929}, {L"Sigma", 931}, {L"Tau", 932}, {L"Upsilon", 933}, {L"Phi", 934}, {L"Chi", 935},
    {L"Psi", 936}, {L"Omega", 937}, {L"alpha", 945}, {L"beta", 946}, {L"gamma", 947},
    {L"delta", 948}, {L"epsilon", 949}, {L"zeta", 950}, {L"eta", 951}, {L"theta", 952},
    {L"iota", 953}, {L"kappa", 954}, {L"lambda", 955}, {L"mu", 956}, {L"nu", 957}, {L"xi", 958},
    {L"omicron", 959}, {L"pi", 960}, {L"rho", 961}, {L"sigmaf", 962}, {L"sigma", 963},
    {L"tau", 964}, {L"upsilon", 965}, {L"phi", 966}, {L"chi", 967}, {L"psi", 968}, {L"omega", 969},
    {L"thetasym", 977}, {L"upsih", 978}, {L"piv", 982}, {L"ensp", 8194}, {L"emsp", 8195},
    {L"thinsp", 8201}, {L"zwnj", 8204}, {L"zwj", 8205}, {L"lrm", 8206}, {L"rlm", 8207},
    {L"ndash", 8211}, {L"mdash", 8212}, {L"lsquo", 8216}, {L"rsquo", 8217}, {L"sbquo", 8218},
    {L"ldquo", 8220}, {L"rdquo", 8221}, {L"bdquo", 8222}, {L"dagger", 8224}, {L"Dagger", 8225},
    {L"bull", 8226}, {L"hellip", 8230}, {L"permil", 8240}, {L"prime", 8242}, {L"Prime", 8243},
    {L"lsaquo", 8249}, {L"rsaquo", 8250}, {L"oline", 8254}, {L"frasl", 8260}, {L"euro", 8364},
    {L"image", 8465}, {L"weierp", 8472}, {L"real", 8476}, {L"trade", 8482}, {L"alefsym", 8501},
    {L"larr", 8592}, {L"uarr", 8593}, {L"rarr", 8594}, {L"darr", 8595}, {L"harr", 8596},
    {L"crarr", 8629}, {L"lArr", 8656}, {L"uArr", 8657}, {L"rArr", 8658}, {L"dArr", 8659},
    {L"hArr", 8660}, {L"forall", 8704}, {L"part", 8706}, {L"exist", 8707}, {L"empty", 8709},
    {L"nabla", 8711}, {L"isin", 8712}, {L"notin", 8713}, {L"ni", 8715}, {L"prod", 8719},
    {L"sum", 8721}, {L"minus", 8722}, {L"lowast", 8727}, {L"radic", 8730}, {L"prop", 8733},
    {L"infin", 8734}, {L"ang", 8736}, {L"and", 8743}, {L"or", 8744}, {L"cap", 8745},
    {L"cup", 8746}, {L"int", 8747}, {L"there4", 8756}, {L"sim", 8764}, {L"cong", 8773},
    {L"asymp", 8776}, {L"ne", 8800}, {L"equiv", 8801}, {L"le", 8804}, {L"ge", 8805},
    {L"sub", 8834}, {L"sup", 8835}, {L"nsub", 8836}, {L"sube", 8838}, {L"supe", 8839},
    {L"oplus", 8853}, {L"otimes", 8855}, {L"perp", 8869}, {L"sdot", 8901}, {L"lceil", 8968},
    {L"rceil", 8969}, {L"lfloor", 8970}, {L"rfloor", 8971}, {L"lang", 9001}, {L"rang", 9002},
    {L"loz", 9674}, {L"spades", 9824}, {L"clubs", 9827}, {L"hearts", 9829}, {L"diams", 9830},
    {L"apos", 39},
};

// Exact names, and each name lowered (a lower-case name wins over its
// capitalised sibling: "AUML" reads as "auml").
const std::unordered_map<std::wstring_view, int>& EntityTable(bool lowered) {
    static const auto tables = [] {
        std::pair<std::unordered_map<std::wstring_view, int>, std::unordered_map<std::wstring, int>> t;
        for (const auto& e : kEntities) t.first.emplace(e.name, e.codePoint);
        for (const auto& e : kEntities) {
            std::wstring low(e.name);
            bool wasLower = true;
            for (auto& c : low)
                if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a'), wasLower = false;
            if (wasLower || !t.second.count(low)) t.second[low] = e.codePoint;
        }
        return t;
    }();
    static const auto loweredViews = [] {
        std::unordered_map<std::wstring_view, int> v;
        for (const auto& [k, cp] : tables.second) v.emplace(k, cp);
        return v;
    }();
    return lowered ? loweredViews : tables.first;
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }
int HexValue(wchar_t c) { return c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10; }

// The digits of a numeric reference ("&#65;", "&#x41;") at text[pos]
// ('&'): the offset of its ';', or 0 when there is none. `value` is the
// number, saturated above the largest code point.
std::size_t NumericReferenceEnd(std::wstring_view t, std::size_t pos, std::uint32_t& value) {
    const std::size_t n = t.size();
    std::size_t i = pos + 2;  // after "&#"
    const bool hex = i < n && (t[i] == L'x' || t[i] == L'X');
    if (hex) ++i;
    const std::size_t digits = i;
    value = 0;
    for (; i < n && (hex ? IsHexDigit(t[i]) : (t[i] >= L'0' && t[i] <= L'9')); ++i) {
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(hex ? HexValue(t[i]) : t[i] - L'0');
        if (value > 0x10FFFF) value = 0x110000;
    }
    return (i > digits && i < n && t[i] == L';') ? i : 0;
}

bool IsNameChar(wchar_t c) { return IsNameStart(c) || (c >= L'0' && c <= L'9') || c == L'-' || c == L'.'; }

// Reads a reference at text[pos] ('&'); returns its length and the
// character, or 0 when it is not one that unescaping replaces.
std::size_t ReadReference(std::wstring_view t, std::size_t pos, char32_t& out) {
    const std::size_t n = t.size();
    if (pos + 1 < n && t[pos + 1] == L'#') {
        std::uint32_t value;
        const std::size_t end = NumericReferenceEnd(t, pos, value);
        // 0, surrogates and values beyond Unicode stay as written.
        if (!end || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
        out = value;
        return end + 1 - pos;
    }
    const std::size_t nameStart = pos + 1;
    std::size_t i = nameStart;
    while (i < n && i - nameStart <= 9 && t[i] != L';' && t[i] != L'&' && !IsSpace(t[i])) ++i;
    if (i >= n || t[i] != L';' || i == nameStart || i - nameStart > 9) return 0;
    const std::wstring_view name = t.substr(nameStart, i - nameStart);
    const auto& exact = EntityTable(false);
    if (const auto it = exact.find(name); it != exact.end()) {
        out = static_cast<char32_t>(it->second);
        return i + 1 - pos;
    }
    std::wstring low(name);
    for (auto& c : low)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    const auto& lowered = EntityTable(true);
    if (const auto it = lowered.find(low); it != lowered.end()) {
        out = static_cast<char32_t>(it->second);
        return i + 1 - pos;
    }
    return 0;
}

// Whether text[pos] ('&') starts a well-formed reference: a name, or a
// number sign with decimal or hexadecimal digits, then ';'.
bool StartsReference(std::wstring_view t, std::size_t pos) {
    const std::size_t n = t.size();
    if (pos + 1 < n && t[pos + 1] == L'#') {
        std::uint32_t value;
        return NumericReferenceEnd(t, pos, value) != 0;
    }
    std::size_t i = pos + 1;
    if (i >= n || !IsNameStart(t[i])) return false;
    while (i < n && IsNameChar(t[i])) ++i;
    return i < n && t[i] == L';';
}

}  // namespace

// ---- XmlPosTree

void XmlPosTree::Reserve(std::int32_t records) {
    if (records <= capacity_) return;
    const std::int64_t want = records;
    const std::size_t segments = static_cast<std::size_t>((want + kSegmentSize - 1) >> kSegmentBits);
    // Allocate first, so that a failure leaves the index as it was.
    std::vector<std::unique_ptr<XmlElemPos[]>> grown;
    std::vector<std::int32_t> sizes;
    for (std::size_t s = 0; s < segments; ++s) {
        const std::int64_t need = std::min<std::int64_t>(kSegmentSize, want - static_cast<std::int64_t>(s) * kSegmentSize);
        const std::int32_t have = s < segmentSizes_.size() ? segmentSizes_[s] : 0;
        if (have >= need) {
            grown.emplace_back(nullptr);
            sizes.push_back(have);
            continue;
        }
        auto block = std::make_unique<XmlElemPos[]>(static_cast<std::size_t>(need));
        if (have) std::copy(segments_[s].get(), segments_[s].get() + have, block.get());
        grown.push_back(std::move(block));
        sizes.push_back(static_cast<std::int32_t>(need));
    }
    segments_.resize(segments);
    for (std::size_t s = 0; s < segments; ++s)
        if (grown[s]) segments_[s] = std::move(grown[s]);
    segmentSizes_ = std::move(sizes);
    capacity_ = records;
}

void XmlPosTree::Clear() {
    segments_.clear();
    segmentSizes_.clear();
    capacity_ = 0;
}

// ---- CXmlDoc

CXmlDoc::CXmlDoc() { SetDocument(static_cast<const wchar_t*>(nullptr)); }

CXmlDoc::CXmlDoc(const wchar_t* text) { SetDocument(text); }

bool CXmlDoc::SetDocument(const wchar_t* text) {
    return SetDocument(text ? std::wstring_view(text) : std::wstring_view());
}

bool CXmlDoc::SetDocument(std::wstring_view text) {
    result_.clear();
    try {
        if (text.size() > static_cast<std::size_t>(kMaxText)) {
            doc_.clear();
            Parse();
            return false;
        }
        doc_.assign(text);
        return Parse();
    } catch (const std::bad_alloc&) {
        Empty();
        return false;
    }
}

void CXmlDoc::Empty() {
    doc_.clear();
    doc_.shrink_to_fit();
    index_.Clear();
    free_ = 1;
    ResetNavigation();
}

void CXmlDoc::ResetNavigation() {
    parent_ = current_ = child_ = 0;
    nodeType_ = 0;
}

std::wstring_view CXmlDoc::NameAt(std::int32_t start) const {
    const std::wstring_view d(doc_);
    std::size_t i = static_cast<std::size_t>(start) + 1;
    while (i < d.size() && !EndsTagName(d[i])) ++i;
    return d.substr(static_cast<std::size_t>(start) + 1, i - static_cast<std::size_t>(start) - 1);
}

bool CXmlDoc::NameMatches(std::int32_t record, std::wstring_view name) const {
    return EqualNames(NameAt(index_[record].start), name, (flags_ & XDF_IGNORE_CASE) != 0);
}

void CXmlDoc::RoomForOneMore() {
    if (free_ < index_.Capacity()) return;
    const std::int64_t grown = std::max<std::int64_t>(std::int64_t{index_.Capacity()} * 3 / 2, free_ + 8);
    index_.Reserve(static_cast<std::int32_t>(std::min<std::int64_t>(grown, INT32_MAX)));
}

std::int32_t CXmlDoc::NewRecord() {
    RoomForOneMore();
    const std::int32_t r = free_++;
    index_[r] = XmlElemPos{};
    return r;
}

void CXmlDoc::LinkLastChild(std::int32_t parent, std::int32_t record) {
    XmlElemPos& p = index_[parent];
    XmlElemPos& e = index_[record];
    e.parent = parent;
    e.next = 0;
    if (!p.firstChild) {
        p.firstChild = record;
        e.prev = record;
        return;
    }
    XmlElemPos& first = index_[p.firstChild];
    const std::int32_t last = first.prev;
    index_[last].next = record;
    e.prev = last;
    first.prev = record;
}

void CXmlDoc::LinkAfter(std::int32_t after, std::int32_t record) {
    XmlElemPos& a = index_[after];
    XmlElemPos& e = index_[record];
    e.parent = a.parent;
    e.prev = after;
    e.next = a.next;
    if (a.next) {
        index_[a.next].prev = record;
    } else {
        index_[index_[a.parent].firstChild].prev = record;
    }
    a.next = record;
}

// A start tag without end tag: the element is its start tag alone; what
// followed it belongs to the enclosing element.
void CXmlDoc::MarkNotEnded(std::int32_t record, std::int32_t where) {
    XmlElemPos& e = index_[record];
    e.flags |= XEP_NOT_ENDED;
    e.length = e.startTagLen;
    e.endTagLen = 0;
    index_[0].flags |= XDF_ILL_FORMED;
    Note({L"unended_start_tag", L"tagname", std::wstring(NameAt(e.start)), L"offset", e.start, true, where});
    const std::int32_t first = e.firstChild;
    if (!first) return;
    // The children follow the element among its parent's children; the
    // element is its parent's last child while it is open.
    const std::int32_t last = index_[first].prev;
    for (std::int32_t c = first; c; c = index_[c].next) index_[c].parent = e.parent;
    e.firstChild = 0;
    XmlElemPos& parentRec = index_[e.parent];
    e.next = first;
    index_[first].prev = record;
    index_[parentRec.firstChild].prev = last;
}

bool CXmlDoc::Parse() {
    ResetNavigation();
    const std::wstring_view d(doc_);
    const std::int32_t n = static_cast<std::int32_t>(d.size());
    index_.Reserve(n / 64 + 8);
    index_[0] = XmlElemPos{};
    index_[0].length = n;
    free_ = 1;
    if (n == 0) return false;

    std::vector<std::int32_t> open;
    open.reserve(7);
    std::int32_t pos = 0;
    while (pos < n) {
        const Node node = ScanNode(d, static_cast<std::size_t>(pos));
        const auto len = static_cast<std::int32_t>(node.length);
        switch (node.kind) {
            case NodeKind::StartTag:
            case NodeKind::EmptyTag: {
                const std::int32_t r = NewRecord();
                XmlElemPos& e = index_[r];
                e.start = pos;
                e.startTagLen = len;
                e.length = len;
                LinkLastChild(open.empty() ? 0 : open.back(), r);
                if (node.kind == NodeKind::StartTag) open.push_back(r);
                break;
            }
            case NodeKind::EndTag: {
                std::size_t k = open.size();
                while (k > 0 && !NameMatches(open[k - 1], node.name)) --k;
                if (k == 0) {
                    // Skipped: it closes nothing, and the document stays
                    // well formed.
                    Note({L"lone_end_tag", L"tagname", std::wstring(node.name), L"offset", pos});
                    break;
                }
                for (std::size_t j = k; j < open.size(); ++j) MarkNotEnded(open[j], pos);
                XmlElemPos& e = index_[open[k - 1]];
                e.endTagLen = len;
                e.length = pos + len - e.start;
                open.resize(k - 1);
                break;
            }
            case NodeKind::SyntaxFault:
                Note({node.fault, nullptr, {}, L"offset", pos});
                index_[0].flags |= XDF_ILL_FORMED;
                break;
            case NodeKind::Unterminated:
                Note({L"unterminated_tag_syntax", L"type", node.fault, L"offset", pos});
                index_[0].flags |= XDF_ILL_FORMED;
                break;
            default: break;
        }
        pos += len;
    }
    for (std::int32_t r : open) MarkNotEnded(r, n);

    bool ok = (index_[0].flags & XDF_ILL_FORMED) == 0;
    const std::int32_t root = index_[0].firstChild;
    if (!root) {
        Note({L"no_root_element"});
        ok = false;
    } else if (index_[root].next) {
        Note({L"root_has_sibling"});
        ok = false;
    }
    ResetNavigation();
    return ok;
}

bool CXmlDoc::LoadFile(const std::wstring& path) {
    result_.clear();
    try {
        doc_.clear();
        CXmlTextFile file(flags_ | XDF_READ_FILE);
        bool ok = file.Open(path);
        std::wstring text;
        if (ok) {
            ok = file.ReadText(text);
            if (!file.Close()) ok = false;
        }
        result_ += file.Result();
        constexpr std::uint32_t kMarks = XDF_UTF16LE_FILE | XDF_UTF16BE_FILE | XDF_UTF8_BOM;
        flags_ = (flags_ & ~kMarks) | (file.Flags() & kMarks);
        if (ok) doc_ = std::move(text);
        // A fresh index in every case: nothing may point into a text that is gone.
        const bool parsed = Parse();
        return ok && parsed;
    } catch (const std::bad_alloc&) {
        Empty();
        return false;
    }
}

bool CXmlDoc::SaveTextToFile(const std::wstring& path, std::wstring_view text, std::wstring* result,
                             std::uint32_t* flags) {
    const std::uint32_t inFlags = flags ? *flags : 0;
    CXmlTextFile file((inFlags & ~static_cast<std::uint32_t>(XDF_READ_FILE | XDF_APPEND_FILE)) | XDF_WRITE_FILE);
    bool ok = file.Open(path);
    if (ok) {
        if (file.Encoding().empty()) {
            const std::wstring declared = FindDeclaredEncoding(text);
            file.SetEncoding(declared.empty() ? L"UTF-8" : declared);
        }
        ok = file.WriteText(text);
        ok = file.Close() && ok;
    }
    if (result) *result = file.Result();
    if (flags) *flags = file.Flags() & ~static_cast<std::uint32_t>(XDF_READ_FILE | XDF_WRITE_FILE | XDF_APPEND_FILE);
    return ok;
}

bool CXmlDoc::FindElement(std::wstring_view name) {
    if (free_ <= 1) return false;
    if (!name.empty() && name[0] == L'/') return false;
    std::int32_t candidate = current_ ? index_[current_].next : index_[parent_].firstChild;
    for (; candidate; candidate = index_[candidate].next) {
        if (name.empty() || NameMatches(candidate, name)) {
            current_ = candidate;
            parent_ = index_[candidate].parent;
            child_ = 0;
            nodeType_ = 1;
            return true;
        }
    }
    return false;
}

bool CXmlDoc::IntoElement() {
    if (!current_) return false;
    parent_ = current_;
    current_ = child_;
    child_ = 0;
    nodeType_ = current_ ? 1 : 0;
    return true;
}

bool CXmlDoc::OutOfElement() {
    if (!parent_) return false;
    child_ = current_;
    current_ = parent_;
    parent_ = index_[current_].parent;
    nodeType_ = 1;
    return true;
}

std::wstring CXmlDoc::GetTagName() const {
    if (!current_) return {};
    return std::wstring(NameAt(index_[current_].start));
}

namespace {
// Offset of the closing ">" (or "/>") of an element's start tag.
std::size_t TagEnd(const XmlElemPos& e) {
    const bool empty = e.endTagLen == 0 && !(e.flags & XEP_NOT_ENDED);
    return static_cast<std::size_t>(e.start + e.startTagLen - (empty ? 2 : 1));
}
}  // namespace

std::wstring CXmlDoc::GetAttribute(std::wstring_view name) const {
    if (!current_ || name.empty()) return {};
    const XmlElemPos& e = index_[current_];
    const AttrSpan a = FindAttribute(doc_, static_cast<std::size_t>(e.start), TagEnd(e), name,
                                     (flags_ & XDF_IGNORE_CASE) != 0);
    if (!a.found || !a.hasValue) return {};
    return UnescapeXmlText(std::wstring_view(doc_).substr(a.valueStart, a.valueEnd - a.valueStart));
}

void CXmlDoc::ReplaceText(std::int32_t from, std::int32_t to, std::wstring_view text, std::int32_t container) {
    const auto delta = static_cast<std::int32_t>(text.size()) - (to - from);
    doc_.replace(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from), text);
    for (std::int32_t r = 1; r < free_; ++r)
        if (index_[r].start >= to) index_[r].start += delta;
    for (std::int32_t r = container; r; r = index_[r].parent) index_[r].length += delta;
    index_[0].length += delta;
}

bool CXmlDoc::SetAttribute(std::wstring_view name, std::wstring_view value, std::uint32_t flags) {
    if (!current_ || nodeType_ != 1 || !IsValidName(name)) return false;
    try {
        const XmlElemPos& e = index_[current_];
        const AttrSpan a = FindAttribute(doc_, static_cast<std::size_t>(e.start), TagEnd(e), name,
                                         (flags_ & XDF_IGNORE_CASE) != 0);
        const std::wstring quoted = L"\"" + EscapeXmlText(value, flags | XML_ESCAPE_QUOTES) + L"\"";
        std::size_t from, to;
        std::wstring insert;
        if (a.found && a.hasValue) {
            from = a.quoted ? a.valueStart - 1 : a.valueStart;
            to = a.quoted ? std::min(a.valueEnd + 1, TagEnd(e)) : a.valueEnd;
            insert = quoted;
        } else if (a.found) {
            from = to = a.nameEnd;
            insert = L"=" + quoted;
        } else {
            from = to = a.lastAttrEnd;
            insert = L" " + std::wstring(name) + L"=" + quoted;
        }
        const std::int64_t grown = static_cast<std::int64_t>(doc_.size()) + static_cast<std::int64_t>(insert.size()) -
                                   static_cast<std::int64_t>(to - from);
        if (grown > kMaxText) return false;
        doc_.reserve(static_cast<std::size_t>(grown));
        const auto delta = static_cast<std::int32_t>(grown - static_cast<std::int64_t>(doc_.size()));
        ReplaceText(static_cast<std::int32_t>(from), static_cast<std::int32_t>(to), insert, current_);
        index_[current_].startTagLen += delta;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CXmlDoc::AddElement(std::wstring_view name, const wchar_t* value, std::uint32_t flags) {
    if (!IsValidName(name)) return false;
    try {
        std::int32_t parent = parent_;
        std::int32_t current = current_;
        if ((flags & XML_ADD_CHILD) && current) {
            parent = current;
            current = 0;
        }
        if (!current && parent && (index_[parent].flags & XEP_NOT_ENDED)) return false;
        // A start tag alone named like its parent would take the parent's
        // end tag for its own.
        if (!value && (flags & XML_ADD_START_ONLY) && parent && NameMatches(parent, name)) return false;
        const bool lines = !(flags & XML_ADD_NO_LINES);
        const std::wstring nl = lines ? L"\r\n" : L"";

        // The element's own text.
        std::wstring tag;
        std::int32_t startTagLen, endTagLen = 0;
        std::uint32_t recordFlags = 0;
        if (value) {
            const std::wstring startTag = L"<" + std::wstring(name) + L">";
            const std::wstring endTag = L"</" + std::wstring(name) + L">";
            std::wstring content;
            if (flags & XML_ADD_CDATA) {
                // "]]>" cannot stand inside a section: it is split over two.
                std::wstring_view v(value);
                content = L"<![CDATA[";
                for (std::size_t p; (p = v.find(L"]]>")) != std::wstring_view::npos; v = v.substr(p + 2)) {
                    content.append(v.substr(0, p + 2));
                    content += L"]]><![CDATA[";
                }
                content.append(v);
                content += L"]]>";
            } else {
                content = EscapeXmlText(value);
            }
            tag = startTag + content + endTag;
            startTagLen = static_cast<std::int32_t>(startTag.size());
            endTagLen = static_cast<std::int32_t>(endTag.size());
        } else if (flags & XML_ADD_START_ONLY) {
            tag = L"<" + std::wstring(name) + L">";
            startTagLen = static_cast<std::int32_t>(tag.size());
            recordFlags = XEP_NOT_ENDED;
        } else {
            tag = L"<" + std::wstring(name) + ((flags & XML_ADD_SPACE) ? L" />" : L"/>");
            startTagLen = static_cast<std::int32_t>(tag.size());
        }
        const std::wstring nodeText = tag + nl;

        // Where it goes, and what is replaced there.
        const std::wstring_view d(doc_);
        std::int32_t from, to, elementStart;
        std::wstring insert;
        bool openParent = false;
        bool openedTagShrinks = false;
        if (current) {
            const XmlElemPos& c = index_[current];
            std::size_t at = static_cast<std::size_t>(c.start + c.length);
            if (lines) {
                std::size_t j = at;
                while (j < d.size() && IsSpace(d[j])) ++j;
                if (j < d.size() && d[j] == L'<') at = j;
            }
            from = to = elementStart = static_cast<std::int32_t>(at);
            insert = nodeText;
        } else if (parent && index_[parent].endTagLen == 0) {
            const XmlElemPos& p = index_[parent];
            openParent = true;
            from = p.start + p.startTagLen - 2;  // the "/>"
            to = from + 2;
            // "<a//>" opens as "<a/ >": a start tag must not end in "/>".
            const std::wstring close = d[static_cast<std::size_t>(from) - 1] == L'/' ? L" >" : L">";
            insert = close + nl + nodeText + L"</" + std::wstring(NameAt(p.start)) + L">";
            elementStart = from + static_cast<std::int32_t>(close.size() + nl.size());
            openedTagShrinks = close.size() == 1;
        } else if (parent) {
            const XmlElemPos& p = index_[parent];
            from = to = p.start + p.length - p.endTagLen;
            const bool noContent = from == p.start + p.startTagLen;
            insert = (noContent ? nl : std::wstring()) + nodeText;
            elementStart = from + (noContent ? static_cast<std::int32_t>(nl.size()) : 0);
        } else {
            from = to = elementStart = static_cast<std::int32_t>(d.size());
            insert = nodeText;
        }

        const std::int64_t grown = static_cast<std::int64_t>(doc_.size()) + static_cast<std::int64_t>(insert.size()) -
                                   (to - from);
        if (grown > kMaxText) return false;
        // Everything that can fail is done before the document changes.
        doc_.reserve(static_cast<std::size_t>(grown));
        RoomForOneMore();

        ReplaceText(from, to, insert, parent);
        if (openParent) {
            XmlElemPos& p = index_[parent];
            if (openedTagShrinks) p.startTagLen -= 1;
            p.endTagLen = static_cast<std::int32_t>(NameAt(p.start).size()) + 3;
        }
        const std::int32_t r = NewRecord();
        XmlElemPos& e = index_[r];
        e.start = elementStart;
        e.length = static_cast<std::int32_t>(tag.size());
        e.startTagLen = startTagLen;
        e.endTagLen = endTagLen;
        e.flags = recordFlags;
        if (recordFlags & XEP_NOT_ENDED) index_[0].flags |= XDF_ILL_FORMED;
        if (current) {
            LinkAfter(current, r);
        } else {
            LinkLastChild(parent, r);
        }
        parent_ = parent;
        current_ = r;
        child_ = 0;
        nodeType_ = 1;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::wstring CXmlDoc::EscapeXmlText(std::wstring_view text, std::uint32_t flags) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 10 + 7);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        switch (c) {
            case L'&':
                if ((flags & XML_ESCAPE_KEEP_REFS) && StartsReference(text, i)) {
                    out += c;
                } else {
                    out += L"&amp;";
                }
                break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"':
                if (flags & XML_ESCAPE_QUOTES) {
                    out += L"&quot;";
                } else {
                    out += c;
                }
                break;
            case L'\'':
                if (flags & XML_ESCAPE_QUOTES) {
                    out += L"&apos;";
                } else {
                    out += c;
                }
                break;
            default: out += c;
        }
    }
    return out;
}

std::wstring CXmlDoc::UnescapeXmlText(std::wstring_view text, std::uint32_t flags) {
    if (flags & XML_TRIM) {
        while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
        while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    }
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const wchar_t c = text[i];
        if (c == L'&') {
            char32_t ch;
            if (const std::size_t len = ReadReference(text, i, ch)) {
                out += static_cast<wchar_t>(ch);
                i += len;
                continue;
            }
        } else if ((flags & XML_COLLAPSE) && IsSpace(c)) {
            while (i < text.size() && IsSpace(text[i])) ++i;
            out += L' ';
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::wstring CXmlDoc::FindDeclaredEncoding(std::wstring_view text) {
    std::size_t i = 0;
    if (!text.empty() && text[0] == 0xFEFF) i = 1;
    while (i < text.size() && IsSpace(text[i])) ++i;
    auto quotedValue = [&](std::size_t from, std::size_t limit) -> std::wstring {
        std::size_t j = from;
        while (j < limit && IsSpace(text[j])) ++j;
        if (j >= limit || text[j] != L'=') return {};
        ++j;
        while (j < limit && IsSpace(text[j])) ++j;
        if (j >= limit || (text[j] != L'"' && text[j] != L'\'')) return {};
        const std::size_t q = text.find(text[j], j + 1);
        if (q == std::wstring_view::npos || q > limit) return {};
        return std::wstring(text.substr(j + 1, q - j - 1));
    };
    if (StartsWith(text, i, L"<?xml") && i + 5 < text.size() && IsSpace(text[i + 5])) {
        std::size_t end = text.find(L"?>", i + 5);
        if (end == std::wstring_view::npos) end = text.size();
        for (std::size_t p = i + 5; (p = text.find(L"encoding", p)) != std::wstring_view::npos && p < end; p += 8) {
            if (!IsSpace(text[p - 1])) continue;
            return quotedValue(p + 8, end);
        }
        return {};
    }
    // HTML: <meta http-equiv="Content-Type" content="text/html; charset=gb2312">
    // in the head.
    std::wstring lower(text);
    for (auto& c : lower)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    std::size_t headEnd = std::min(lower.find(L"</head"), lower.find(L"<body"));
    if (headEnd == std::wstring::npos) headEnd = lower.size();
    for (std::size_t p = 0; (p = lower.find(L"<meta", p)) != std::wstring::npos && p < headEnd; p += 5) {
        std::size_t close = lower.find(L'>', p);
        if (close == std::wstring::npos) close = lower.size();
        const std::wstring_view tag = std::wstring_view(lower).substr(p, close - p);
        if (tag.find(L"http-equiv") == std::wstring_view::npos || tag.find(L"content-type") == std::wstring_view::npos)
            continue;
        const std::size_t cs = tag.find(L"charset=");
        if (cs == std::wstring_view::npos) continue;
        std::size_t b = p + cs + 8, e = b;
        while (e < close && !IsSpace(text[e]) && text[e] != L';' && text[e] != L'"' && text[e] != L'\'') ++e;
        if (e > b) return std::wstring(text.substr(b, e - b));
    }
    return {};
}
