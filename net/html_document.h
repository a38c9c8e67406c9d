#pragma once

#include <QString>
#include <memory>
#include <vector>

struct GumboInternalNode;

namespace orvana::net {

class HtmlElementList;
struct HtmlTree;

// A handle to one element of a parsed page. Cheap to copy; it keeps its parse tree alive, so it
// stays valid after the document is cleared, rewritten or destroyed. A null handle stands for
// "no element": every read through it fails with Error(Shape).
class HtmlElement {
public:
    HtmlElement() = default;

    [[nodiscard]] bool isNull() const noexcept { return m_node == nullptr; }
    explicit operator bool() const noexcept { return m_node != nullptr; }

    // Lower-case tag name ("div").
    [[nodiscard]] QString tagName() const;
    // The class attribute exactly as written; empty when absent.
    [[nodiscard]] QString className() const;
    // The visible text: descendant text (scripts and styles left out), every run of white
    // space collapsed to one space, the ends trimmed.
    [[nodiscard]] QString innerText() const;
    // The reference as written when absolute, else "about:" + the reference; empty when the
    // attribute is absent.
    [[nodiscard]] QString href() const;
    [[nodiscard]] QString src() const;
    // Attribute texts as written (entities decoded); empty when absent.
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString org_src() const;
    [[nodiscard]] QString getAttribute(const QString& name) const;
    [[nodiscard]] bool hasAttribute(const QString& name) const;

    // Descendants with that tag (any case; "*" for all), in document order.
    [[nodiscard]] HtmlElementList getElementsByTagName(const QString& tag) const;

private:
    friend class HtmlDocument;
    friend class HtmlElementList;
    HtmlElement(std::shared_ptr<const HtmlTree> tree, const GumboInternalNode* node)
        : m_tree(std::move(tree)), m_node(node) {}
    const GumboInternalNode* checked() const;

    std::shared_ptr<const HtmlTree> m_tree;
    const GumboInternalNode* m_node = nullptr;
};

// Elements in document order, indexed from 0. An index out of range gives a null element.
class HtmlElementList {
public:
    HtmlElementList() = default;

    [[nodiscard]] int Length() const noexcept { return static_cast<int>(m_nodes.size()); }
    [[nodiscard]] HtmlElement item(int index) const;
    [[nodiscard]] HtmlElement operator[](int index) const { return item(index); }

private:
    friend class HtmlDocument;
    friend class HtmlElement;
    HtmlElementList(std::shared_ptr<const HtmlTree> tree,
                    std::vector<const GumboInternalNode*> nodes)
        : m_tree(std::move(tree)), m_nodes(std::move(nodes)) {}

    std::shared_ptr<const HtmlTree> m_tree;
    std::vector<const GumboInternalNode*> m_nodes;
};

// Caps on what one document is given, so that no answer costs more than about 100 MiB and a
// second of work (gumbo spends some 200 bytes per element). A real album page is about 100 KiB
// with a few thousand elements; a song list of a long album stays far below both.
inline constexpr qsizetype kMaxPageBytes = qsizetype(4) * 1024 * 1024; // of UTF-8 markup
inline constexpr qsizetype kMaxPageElements = 100'000; // start tags, and elements rebuilt

// Fails with Error(Shape) "page too large: ..." when a page of bytes passes kMaxPageBytes, so a
// caller can refuse it before decoding it.
void CheckPageSize(qsizetype bytes);

// A page loaded from text and queried by id, tag and link. Markup errors are repaired as
// browsers do; only a page over the caps above is refused. Not thread-safe; one per page.
class HtmlDocument {
public:
    HtmlDocument();
    ~HtmlDocument();
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;

    // Forgets all markup; the document is empty afterwards.
    void Clear();
    // Appends text to the markup written since the last Clear and parses the whole of it.
    // Fails with Error(Shape) "page too large: ..." when the markup passes kMaxPageBytes or
    // kMaxPageElements; the document is then empty.
    void write(const QString& text);

    // The first element whose id equals id exactly, or a null element.
    [[nodiscard]] HtmlElement getElementById(const QString& id) const;
    [[nodiscard]] HtmlElementList getElementsByTagName(const QString& tag) const;
    // Every a and area element with an href attribute, in document order.
    [[nodiscard]] HtmlElementList links() const;
    // links().item(index), without building the list.
    [[nodiscard]] HtmlElement links(int index) const;

private:
    QString m_source;
    std::shared_ptr<const HtmlTree> m_tree;
};

} // namespace orvana::net
