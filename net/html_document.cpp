#include "net/html_document.h"

#include "json/error.h"
#include <cstdlib>
#include <cstring>
#include <gumbo.h>
#include <map>

namespace orvana::net {

// One parse: the UTF-8 input gumbo points into, gumbo's nodes, and the links found.
//
// gumbo's nodes live in an arena freed in one go: gumbo_destroy_output recurses once per level
// of nesting, and a page of a few million nested tags would overflow the stack.
struct HtmlTree {
    QByteArray input;
    std::vector<void*> blocks;
    char* cursor = nullptr;
    size_t left = 0;
    GumboOutput* output = nullptr;
    std::vector<const GumboNode*> links;

    HtmlTree() = default;
    HtmlTree(const HtmlTree&) = delete;
    HtmlTree& operator=(const HtmlTree&) = delete;
    ~HtmlTree() {
        for (void* block : blocks)
            std::free(block);
    }

    void* allocate(size_t size) {
        size = (size + 15) & ~size_t(15);
        if (size > kBlockSize / 4) {
            void* own = std::malloc(size);
            if (!own)
                std::abort(); // gumbo cannot report a failed allocation
            blocks.push_back(own);
            return own;
        }
        if (size > left) {
            void* block = std::malloc(kBlockSize);
            if (!block)
                std::abort();
            blocks.push_back(block);
            cursor = static_cast<char*>(block);
            left = kBlockSize;
        }
        void* result = cursor;
        cursor += size;
        left -= size;
        return result;
    }

    static void* Allocate(void* userdata, size_t size) {
        return static_cast<HtmlTree*>(userdata)->allocate(size);
    }
    static void Deallocate(void*, void*) {}

    static constexpr size_t kBlockSize = 256 * 1024;
};

namespace {

bool IsElement(const GumboNode* node) {
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

const GumboVector& Children(const GumboNode* node) {
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

QString TagName(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return QString::fromUtf8(gumbo_normalized_tagname(element.tag));
    GumboStringPiece piece = element.original_tag;
    gumbo_tag_from_original_text(&piece);
    return QString::fromUtf8(piece.data, static_cast<qsizetype>(piece.length)).toLower();
}

const GumboAttribute* FindAttribute(const GumboNode* node, const QString& name) {
    const QByteArray key = name.toUtf8();
    return gumbo_get_attribute(&node->v.element.attributes, key.constData());
}

QString Attribute(const GumboNode* node, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&node->v.element.attributes, name);
    return attribute ? QString::fromUtf8(attribute->value) : QString();
}

// Visits the elements below root (root itself excluded) in document order, without recursion.
template <typename Visit> void ForEachDescendant(const GumboNode* root, Visit visit) {
    struct Frame {
        const GumboVector* children;
        unsigned int next;
    };
    std::vector<Frame> stack{{&Children(root), 0}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.children->length) {
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(frame.children->data[frame.next++]);
        if (!IsElement(child))
            continue;
        visit(child);
        stack.push_back({&child->v.element.children, 0});
    }
}

bool IsAsciiSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Elements whose content is never shown, and those that start a new line of text.
bool IsHidden(GumboTag tag) {
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TEMPLATE ||
           tag == GUMBO_TAG_NOSCRIPT || tag == GUMBO_TAG_HEAD;
}

bool BreaksText(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_BR:
    case GUMBO_TAG_P:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
        return true;
    default:
        return false;
    }
}

QString CollapseWhiteSpace(const QString& raw) {
    QString text;
    text.reserve(raw.size());
    bool pendingSpace = false;
    for (QChar c : raw) {
        if (IsAsciiSpace(c.unicode())) {
            pendingSpace = !text.isEmpty();
            continue;
        }
        if (pendingSpace)
            text += u' ';
        pendingSpace = false;
        text += c;
    }
    return text;
}

bool IsAbsoluteReference(const QString& reference) {
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
    if (reference.isEmpty() || !reference.at(0).isLetter() || reference.at(0).unicode() > 0x7f)
        return false;
    for (qsizetype i = 1; i < reference.size(); ++i) {
        const char16_t c = reference.at(i).unicode();
        if (c == u':')
            return true;
        const bool schemeChar = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                                (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!schemeChar)
            return false;
    }
    return false;
}

QString ReferenceAttribute(const GumboNode* node, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&node->v.element.attributes, name);
    if (!attribute)
        return QString();
    // Browsers drop the white space around an address before reading it.
    const QString reference = QString::fromUtf8(attribute->value).trimmed();
    return IsAbsoluteReference(reference) ? reference : QStringLiteral("about:") + reference;
}

std::vector<const GumboNode*> ElementsByTag(const GumboNode* root, const QString& tag) {
    std::vector<const GumboNode*> found;
    const bool all = tag == u"*";
    const QString wanted = tag.toLower();
    const GumboTag wantedTag = gumbo_tag_enum(wanted.toUtf8().constData());
    ForEachDescendant(root, [&](const GumboNode* node) {
        if (all)
            found.push_back(node);
        else if (wantedTag != GUMBO_TAG_UNKNOWN
                     ? node->v.element.tag == wantedTag
                     : (node->v.element.tag == GUMBO_TAG_UNKNOWN && TagName(node) == wanted))
            found.push_back(node);
    });
    return found;
}

// gumbo's work grows with the cube of the nesting depth (20,000 nested divs take seconds,
// 100,000 nested b elements exhaust memory), and formatting elements left open are rebuilt
// after every block. Browsers bound both; so do we, before gumbo sees the page: past a depth of
// kMaxDepth a new element closes the deepest one first, and formatting start tags beyond
// kMaxOpenFormatting open ones are left out with their end tags (their text stays). The scan
// mirrors the tokenizer closely enough for real pages, which pass unchanged; it only has to be
// exact for the pathological ones.
constexpr size_t kMaxDepth = 512;
constexpr int kMaxOpenFormatting = 16;

bool IsAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Views of literals know their sizes: most candidates are passed over on the size alone.
bool OneOf(QByteArrayView name, std::initializer_list<QByteArrayView> names) {
    for (QByteArrayView candidate : names)
        if (name == candidate)
            return true;
    return false;
}

bool IsVoid(const QByteArray& name) {
    return OneOf(name, {"area",  "base",     "br",      "col",   "embed", "hr",      "img",
                        "input", "keygen",   "link",    "meta",  "param", "source",  "track",
                        "wbr",   "basefont", "bgsound", "frame", "image", "menuitem"});
}

// "a" is left out: a new link closes the one before it.
bool IsFormatting(const QByteArray& name) {
    return OneOf(name, {"b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike",
                        "strong", "tt", "u"});
}

bool IsRawText(const QByteArray& name) {
    return OneOf(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed",
                        "noframes", "noscript"});
}

const char* FindText(const char* from, const char* end, QByteArrayView text) {
    const qsizetype at = QByteArrayView(from, end - from).indexOf(text);
    return at < 0 ? end : from + at;
}

const char* FindEndTagOf(const char* from, const char* end, const QByteArray& name) {
    for (const char* p = from; p + 2 + name.size() <= end; ++p) {
        if (p[0] != '<' || p[1] != '/')
            continue;
        if (QByteArrayView(p + 2, name.size()).compare(name, Qt::CaseInsensitive) == 0)
            return p;
    }
    return end;
}

[[noreturn]] void TooManyElements() {
    throw Error(ErrorKind::Shape,
                QStringLiteral("page too large: more than %1 elements").arg(kMaxPageElements));
}

class NestingBound {
public:
    // Fails with Error(Shape) past kMaxPageElements, before gumbo has spent anything on them.
    QByteArray run(const QByteArray& input) {
        const char* p = input.constData();
        const char* end = p + input.size();
        QByteArray out;
        out.reserve(input.size());
        while (p < end) {
            const char* lt = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
            if (!lt) {
                out.append(p, end - p);
                break;
            }
            out.append(p, lt - p);
            p = lt;
            if (const char* next = PassedMarkup(p, end)) {
                out.append(p, next - p);
                p = next;
                continue;
            }
            const bool closing = end - p >= 2 && p[1] == '/';
            const char* nameStart = p + (closing ? 2 : 1);
            if (nameStart >= end || !IsAsciiAlpha(*nameStart)) {
                out.append('<');
                ++p;
                continue;
            }
            p = closing ? copyEndTag(p, nameStart, end, out) : copyStartTag(p, nameStart, end, out);
        }
        return out;
    }

private:
    // Where a comment, doctype or processing instruction at p ends; null when p starts none.
    static const char* PassedMarkup(const char* p, const char* end) {
        if (QByteArrayView(p, end - p).startsWith("<!--")) {
            const char* close = FindText(p + 2, end, "-->");
            return close == end ? end : close + 3;
        }
        if (end - p >= 2 && (p[1] == '!' || p[1] == '?')) {
            const char* close = FindText(p, end, ">");
            return close == end ? end : close + 1;
        }
        return nullptr;
    }

    // The tag at p whose name starts at nameStart: its lower-case name, whether it closes itself
    // and where it ends.
    struct Tag {
        QByteArray name;
        bool selfClosing = false;
        const char* next = nullptr;
    };
    static Tag ReadTag(const char* nameStart, const char* end) {
        const char* nameEnd = nameStart;
        while (nameEnd < end && !IsTagSpace(*nameEnd) && *nameEnd != '/' && *nameEnd != '>')
            ++nameEnd;
        const char* close = TagClose(nameEnd, end);
        return {QByteArray(nameStart, nameEnd - nameStart).toLower(),
                close < end && close[-1] == '/', close == end ? end : close + 1};
    }

    // Copies the end tag at p unless its element was left out; returns where the tag ends.
    const char* copyEndTag(const char* p, const char* nameStart, const char* end, QByteArray& out) {
        const Tag tag = ReadTag(nameStart, end);
        if (auto it = m_dropped.find(tag.name); it != m_dropped.end() && it->second > 0) {
            --it->second;
            return tag.next;
        }
        leaveFormatting(tag.name);
        PopTo({tag.name}, {});
        out.append(p, tag.next - p);
        return tag.next;
    }

    // Copies the start tag at p (and the raw text of a raw-text element) within the bounds;
    // returns where the copied input ends.
    const char* copyStartTag(const char* p, const char* nameStart, const char* end,
                             QByteArray& out) {
        const Tag tag = ReadTag(nameStart, end);
        const QByteArray& name = tag.name;
        if (++m_elements > kMaxPageElements)
            TooManyElements();
        if (IsRawText(name)) {
            const char* contentEnd = FindEndTagOf(tag.next, end, name);
            out.append(p, contentEnd - p);
            return contentEnd;
        }
        if (name == "plaintext") {
            out.append(p, end - p);
            return end;
        }
        if (IsVoid(name) || OneOf(name, {"html", "head", "body"}) ||
            (tag.selfClosing && m_foreign > 0)) {
            out.append(p, tag.next - p);
            return tag.next;
        }
        CloseImplied(name);
        const bool formatting = IsFormatting(name);
        if (formatting && m_openFormatting >= kMaxOpenFormatting) {
            ++m_dropped[name]; // the text stays; only its formatting goes
            return tag.next;
        }
        if (m_stack.size() >= kMaxDepth)
            closeDeepest(out);
        m_stack.push_back(name);
        if (formatting)
            ++m_openFormatting;
        if (name == "svg" || name == "math")
            ++m_foreign;
        out.append(p, tag.next - p);
        return tag.next;
    }

    // As browsers do at their depth limit: the new element becomes a sibling of the deepest one,
    // whose own end tag, when it comes, is then left out.
    void closeDeepest(QByteArray& out) {
        const QByteArray top = m_stack.back();
        out += "</" + top + '>';
        ++m_dropped[top];
        PopTo({top}, {});
        leaveFormatting(top);
    }

    // A formatting element closed: one fewer open.
    void leaveFormatting(const QByteArray& name) {
        if (IsFormatting(name) && m_openFormatting > 0)
            --m_openFormatting;
    }

    // The ">" ending a tag whose name ends at from; quoted attribute values may hold ">".
    static const char* TagClose(const char* from, const char* end) {
        const char* p = from;
        while (p < end && *p != '>') {
            if (*p == '=') {
                ++p;
                while (p < end && IsTagSpace(*p))
                    ++p;
                if (p < end && (*p == '"' || *p == '\'')) {
                    const char* quote =
                        static_cast<const char*>(std::memchr(p + 1, *p, size_t(end - p - 1)));
                    p = quote ? quote + 1 : end;
                }
                continue;
            }
            ++p;
        }
        return p;
    }

    // Pops down to and including the topmost element named one of targets, unless one of
    // boundaries lies above it.
    void PopTo(std::initializer_list<QByteArrayView> targets,
               std::initializer_list<QByteArrayView> boundaries) {
        for (size_t i = m_stack.size(); i-- > 0;) {
            if (OneOf(m_stack[i], targets)) {
                for (size_t j = i; j < m_stack.size(); ++j)
                    if (m_stack[j] == "svg" || m_stack[j] == "math")
                        --m_foreign;
                m_stack.resize(i);
                // Formatting elements left open are rebuilt inside what follows: each closed
                // block may cost that many elements more (a few thousand <p> after 14 open
                // formatting tags would be tens of thousands of elements).
                m_elements += m_openFormatting;
                if (m_elements > kMaxPageElements)
                    TooManyElements();
                return;
            }
            if (OneOf(m_stack[i], boundaries))
                return;
        }
    }

    // Start tags that close an open sibling of their kind, as the tree builder does.
    void CloseImplied(const QByteArray& name) {
        if (name == "li")
            PopTo({"li"}, {"ul", "ol", "table", "template"});
        else if (name == "dd" || name == "dt")
            PopTo({"dd", "dt"}, {"dl", "table", "template"});
        else if (name == "p")
            PopTo({"p"}, {"button", "table", "template", "td", "th"});
        else if (name == "option")
            PopTo({"option"}, {"select", "template"});
        else if (name == "td" || name == "th")
            PopTo({"td", "th"}, {"tr", "table", "template"});
        else if (name == "tr")
            PopTo({"tr"}, {"table", "template"});
        else if (name == "tbody" || name == "thead" || name == "tfoot")
            PopTo({"tbody", "thead", "tfoot"}, {"table", "template"});
        else if (name == "a")
            PopTo({"a"}, {"table", "template", "td", "th"});
    }

    std::vector<QByteArray> m_stack;
    std::map<QByteArray, int> m_dropped;
    qsizetype m_elements = 0;
    int m_openFormatting = 0;
    int m_foreign = 0;
};

} // namespace

QString HtmlElement::tagName() const {
    return TagName(checked());
}

QString HtmlElement::className() const {
    return Attribute(checked(), "class");
}

QString HtmlElement::innerText() const {
    const GumboNode* root = checked();
    QString raw;
    struct Frame {
        const GumboVector* children;
        unsigned int next;
        bool breaksText;
    };
    std::vector<Frame> stack{{&root->v.element.children, 0, false}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.children->length) {
            // A block ends its line as well as starting one.
            if (frame.breaksText)
                raw += u' ';
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(frame.children->data[frame.next++]);
        switch (child->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_WHITESPACE:
            raw += QString::fromUtf8(child->v.text.text);
            break;
        case GUMBO_NODE_ELEMENT: {
            if (IsHidden(child->v.element.tag))
                break;
            const bool breaks = BreaksText(child->v.element.tag);
            if (breaks)
                raw += u' ';
            stack.push_back({&child->v.element.children, 0, breaks});
            break;
        }
        default:
            break;
        }
    }
    return CollapseWhiteSpace(raw);
}

QString HtmlElement::href() const {
    return ReferenceAttribute(checked(), "href");
}

QString HtmlElement::src() const {
    return ReferenceAttribute(checked(), "src");
}

QString HtmlElement::title() const {
    return Attribute(checked(), "title");
}

QString HtmlElement::org_src() const {
    return Attribute(checked(), "org_src");
}

QString HtmlElement::getAttribute(const QString& name) const {
    const GumboAttribute* attribute = FindAttribute(checked(), name);
    return attribute ? QString::fromUtf8(attribute->value) : QString();
}

bool HtmlElement::hasAttribute(const QString& name) const {
    return FindAttribute(checked(), name) != nullptr;
}

HtmlElementList HtmlElement::getElementsByTagName(const QString& tag) const {
    return HtmlElementList(m_tree, ElementsByTag(checked(), tag));
}

const GumboNode* HtmlElement::checked() const {
    if (!m_node)
        throw Error(ErrorKind::Shape, QStringLiteral("The page has no such element"));
    return m_node;
}

HtmlElement HtmlElementList::item(int index) const {
    if (index < 0 || index >= Length())
        return HtmlElement();
    return HtmlElement(m_tree, m_nodes[static_cast<size_t>(index)]);
}

HtmlDocument::HtmlDocument() = default;
HtmlDocument::~HtmlDocument() = default;

void HtmlDocument::Clear() {
    m_source.clear();
    m_tree.reset();
}

void CheckPageSize(qsizetype bytes) {
    if (bytes > kMaxPageBytes)
        throw Error(
            ErrorKind::Shape,
            QStringLiteral("page too large: more than %1 MiB").arg(kMaxPageBytes / (1024 * 1024)));
}

void HtmlDocument::write(const QString& text) {
    auto tree = std::make_shared<HtmlTree>();
    try {
        // A UTF-16 unit is at least one byte of UTF-8: refuse before converting.
        CheckPageSize(m_source.size() + text.size());
        m_source += text;
        // gumbo reads UTF-8 only; QString::toUtf8 always gives well-formed UTF-8.
        QByteArray utf8 = m_source.toUtf8();
        CheckPageSize(utf8.size());
        tree->input = NestingBound().run(utf8);
    } catch (const Error&) {
        Clear();
        throw;
    }
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &HtmlTree::Allocate;
    options.deallocator = &HtmlTree::Deallocate;
    options.userdata = tree.get();
    options.max_errors = 0; // parse errors are repaired; recording them only costs memory
    tree->output = gumbo_parse_with_options(&options, tree->input.constData(),
                                            static_cast<size_t>(tree->input.size()));
    ForEachDescendant(tree->output->document, [&](const GumboNode* node) {
        const GumboTag tag = node->v.element.tag;
        if ((tag == GUMBO_TAG_A || tag == GUMBO_TAG_AREA) &&
            gumbo_get_attribute(&node->v.element.attributes, "href"))
            tree->links.push_back(node);
    });
    m_tree = std::move(tree);
}

HtmlElement HtmlDocument::getElementById(const QString& id) const {
    if (!m_tree)
        return HtmlElement();
    const QByteArray wanted = id.toUtf8();
    const GumboNode* found = nullptr;
    ForEachDescendant(m_tree->output->document, [&](const GumboNode* node) {
        if (found)
            return;
        const GumboAttribute* attribute = gumbo_get_attribute(&node->v.element.attributes, "id");
        if (attribute && wanted == attribute->value)
            found = node;
    });
    return found ? HtmlElement(m_tree, found) : HtmlElement();
}

HtmlElementList HtmlDocument::getElementsByTagName(const QString& tag) const {
    if (!m_tree)
        return HtmlElementList();
    return HtmlElementList(m_tree, ElementsByTag(m_tree->output->document, tag));
}

HtmlElement HtmlDocument::links(int index) const {
    if (!m_tree || index < 0 || static_cast<size_t>(index) >= m_tree->links.size())
        return HtmlElement();
    return HtmlElement(m_tree, m_tree->links[static_cast<size_t>(index)]);
}

HtmlElementList HtmlDocument::links() const {
    if (!m_tree)
        return HtmlElementList();
    return HtmlElementList(m_tree, m_tree->links);
}

} // namespace orvana::net
