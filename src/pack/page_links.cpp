#include "pack/page_links.h"

#include <gumbo.h>

#include <cctype>
#include <memory>

namespace pagorix {

namespace {

// Attributes that hold one URL, on whatever element carries them.
constexpr const char* kUrlAttributes[] = {"href", "src", "poster", "background"};

class ParsedPage {
public:
    explicit ParsedPage(std::string_view html)
        : m_output(gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size())) {}
    ~ParsedPage() { gumbo_destroy_output(&kGumboDefaultOptions, m_output); }
    ParsedPage(const ParsedPage&) = delete;
    ParsedPage& operator=(const ParsedPage&) = delete;

    const GumboNode* Root() const { return m_output->root; }

private:
    GumboOutput* m_output;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsElement(const GumboNode* node) {
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

const char* Attribute(const GumboNode* node, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&node->v.element.attributes, name);
    return attribute == nullptr ? nullptr : attribute->value;
}

std::string TextOf(const GumboNode* node) {
    std::string text;
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA) {
            text += child->v.text.text;
        }
    }
    return text;
}

// The URLs of a srcset: candidates separated by commas, each a URL and an
// optional descriptor ("2x", "480w").
void SrcsetLinks(std::string_view srcset, std::vector<std::string>& links) {
    size_t i = 0;
    while (i < srcset.size()) {
        while (i < srcset.size() && (IsSpace(srcset[i]) || srcset[i] == ','))
            ++i;
        const size_t start = i;
        while (i < srcset.size() && !IsSpace(srcset[i]))
            ++i;
        std::string_view url = srcset.substr(start, i - start);
        const bool ended = url.ends_with(',');  // no descriptor follows
        while (url.ends_with(','))
            url.remove_suffix(1);
        if (!url.empty()) links.emplace_back(url);
        if (!ended) {
            while (i < srcset.size() && srcset[i] != ',')
                ++i;
        }
    }
}

void Walk(const GumboNode* node, std::vector<std::string>& links) {
    if (!IsElement(node)) return;
    const GumboElement& element = node->v.element;
    if (element.tag != GUMBO_TAG_BASE) {
        for (const char* name : kUrlAttributes) {
            if (const char* value = Attribute(node, name)) links.emplace_back(value);
        }
    }
    if (element.tag == GUMBO_TAG_OBJECT) {
        if (const char* value = Attribute(node, "data")) links.emplace_back(value);
    }
    if (const char* value = Attribute(node, "srcset")) SrcsetLinks(value, links);
    if (const char* value = Attribute(node, "style")) {
        for (std::string& link : CssLinks(value))
            links.push_back(std::move(link));
    }
    if (element.tag == GUMBO_TAG_STYLE) {
        for (std::string& link : CssLinks(TextOf(node)))
            links.push_back(std::move(link));
    }
    for (unsigned i = 0; i < element.children.length; ++i)
        Walk(static_cast<const GumboNode*>(element.children.data[i]), links);
}

const GumboNode* FindTitle(const GumboNode* node) {
    if (!IsElement(node)) return nullptr;
    if (node->v.element.tag == GUMBO_TAG_TITLE) return node;
    // A <title> inside an <svg> is the drawing's, not the page's.
    if (node->v.element.tag == GUMBO_TAG_SVG) return nullptr;
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        if (const GumboNode* found = FindTitle(static_cast<const GumboNode*>(children.data[i]))) {
            return found;
        }
    }
    return nullptr;
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    }
    return true;
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Reads the quoted string that starts at `at`; returns its text, sets `at`
// past it. Escaped characters are kept as they are meant.
std::string ReadCssString(std::string_view css, size_t& at) {
    const char quote = css[at++];
    std::string text;
    while (at < css.size() && css[at] != quote && css[at] != '\n') {
        if (css[at] == '\\' && at + 1 < css.size()) ++at;
        text += css[at++];
    }
    if (at < css.size() && css[at] == quote) ++at;
    return text;
}

}  // namespace

std::vector<std::string> CssLinks(std::string_view css) {
    std::vector<std::string> links;
    size_t i = 0;
    while (i < css.size()) {
        const char c = css[i];
        if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            const size_t end = css.find("*/", i + 2);
            i = end == std::string_view::npos ? css.size() : end + 2;
        } else if (c == '"' || c == '\'') {
            ReadCssString(css, i);
        } else if ((i == 0 || !IsNameChar(css[i - 1])) && StartsWithNoCase(css, i, "url(")) {
            i += 4;
            while (i < css.size() && IsSpace(css[i]))
                ++i;
            if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
                links.push_back(ReadCssString(css, i));
            } else {
                const size_t close = std::min(css.find(')', i), css.size());
                std::string_view url = css.substr(i, close - i);
                while (!url.empty() && IsSpace(url.back()))
                    url.remove_suffix(1);
                links.emplace_back(url);
                i = close;
            }
        } else if (StartsWithNoCase(css, i, "@import")) {
            i += 7;
            while (i < css.size() && IsSpace(css[i]))
                ++i;
            // "@import url(...)" is found as a url() on the next turn.
            if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
                links.push_back(ReadCssString(css, i));
            }
        } else {
            ++i;
        }
    }
    return links;
}

std::vector<std::string> HtmlLinks(std::string_view html) {
    const ParsedPage page(html);
    std::vector<std::string> links;
    Walk(page.Root(), links);
    return links;
}

std::string HtmlTitle(std::string_view html) {
    const ParsedPage page(html);
    const GumboNode* title = FindTitle(page.Root());
    if (title == nullptr) return {};
    std::string text;
    for (const char c : TextOf(title)) {
        if (!IsSpace(c)) {
            text += c;
        } else if (!text.empty() && text.back() != ' ') {
            text += ' ';
        }
    }
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace pagorix
