// The links a web page or a stylesheet makes, as written in it.
//
// Pages are parsed with gumbo, an HTML5 parser, so links are found as a
// browser finds them (entities decoded, comments and scripts skipped). A
// page's links are the href, src, poster, background and data attributes,
// every candidate of a srcset, and the url()s and @imports of its <style>
// elements and style attributes. A stylesheet's links are its url()s and
// @imports; comments are skipped and strings are read whole. Nothing is
// resolved here: the texts come back as written, in document order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagorix {

std::vector<std::string> HtmlLinks(std::string_view html);
std::vector<std::string> CssLinks(std::string_view css);

// The text of the page's <title>, with its runs of white space made one
// blank and none at either end; empty when the page has no title.
std::string HtmlTitle(std::string_view html);

}  // namespace pagorix
