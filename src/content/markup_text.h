// Text that goes into a page as text, never as markup.
#pragma once

#include <string>

namespace qv::content {

// `text` with each '<', '>', '&' and '"' written as its character reference
// (&lt; &gt; &amp; &quot;); every other byte as it is.
std::string EscapeMarkup(const std::string& text);

}  // namespace qv::content
