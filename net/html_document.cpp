#include "net/html_document.h"

#include "json/error.h"
#include <cstdlib>
#include <cstring>
#include <gumbo.h>

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
    };
    std::vector<Frame> stack{{&root->v.element.children, 0}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.children->length) {
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
        case GUMBO_NODE_ELEMENT:
            if (IsHidden(child->v.element.tag))
                break;
            if (BreaksText(child->v.element.tag))
                raw += u' ';
            stack.push_back({&child->v.element.children, 0});
            break;
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

void HtmlDocument::write(const QString& text) {
    m_source += text;
    auto tree = std::make_shared<HtmlTree>();
    // gumbo reads UTF-8 only; QString::toUtf8 always gives well-formed UTF-8.
    tree->input = m_source.toUtf8();
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
