// Character-wise walking of UTF-8 texts for the text rules (internal to the configuration core).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kl40::utf8 {

// Length in bytes of the character that starts at TEXT[POS]: a well-formed sequence counts as
// one character, any other byte as a character of its own.
std::size_t char_length(std::string_view text, std::size_t pos);

// The characters of TEXT, each as a view into TEXT.
std::vector<std::string_view> chars(std::string_view text);

// Number of characters of TEXT.
std::size_t count(std::string_view text);

}  // namespace kl40::utf8
