#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Comparisons of texts and paths as the system makes them for names in the ANSI code page:
// letter case of A to Z ignored, nothing else.

/// text with A to Z as a to z.
std::string lowerCase(std::string text);

/// True when text begins with prefix, letter case counting.
bool startsWith(std::string_view text, std::string_view prefix);

/// The pieces of text between its separators, empty ones included; an empty text gives one
/// empty piece.
std::vector<std::string> splitAt(const std::string& text, char separator);

/// The longest text a message box is given. No message needs more, and Wine's box dies with an
/// access violation on a text of about 100 KB.
constexpr size_t maxBoxText = 2000;

/// text as a message box shows it: whole up to maxBoxText characters, a longer one cut there
/// and followed by a line with its whole length, which the run log keeps.
std::string boxText(const std::string& text);

/// text in UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8FromUtf16(std::u16string_view text);

/// path in the form in which two spellings of one path compare equal: letter case ignored,
/// "/" as "\", without trailing backslashes.
std::string comparablePath(const std::string& path);

/// True when inner is outer or lies inside it, both compared as comparablePath gives them.
bool pathWithin(const std::string& inner, const std::string& outer);

}  // namespace vesk
