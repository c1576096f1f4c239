#include "platform/text.h"

#include <cstdint>

namespace vesk {

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t found; (found = text.find(separator, start)) != std::string::npos; start = found + 1)
    pieces.push_back(text.substr(start, found - start));
  pieces.push_back(text.substr(start));
  return pieces;
}

std::string utf8FromUtf16(std::u16string_view wide) {
  std::string text;
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (c >> 18));
      text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

std::string comparablePath(const std::string& path) {
  std::string result = lowerCase(path);
  for (char& c : result)
    if (c == '/') c = '\\';
  while (!result.empty() && result.back() == '\\') result.pop_back();
  return result;
}

bool pathWithin(const std::string& inner, const std::string& outer) {
  const std::string in = comparablePath(inner), out = comparablePath(outer);
  return in == out || (in.size() > out.size() && startsWith(in, out) && in[out.size()] == '\\');
}

std::string boxText(const std::string& text) {
  if (text.size() <= maxBoxText) return text;
  return text.substr(0, maxBoxText) + "...\r\n(" + std::to_string(text.size()) +
         " characters in all, cut here; the run log holds them whole)";
}

}  // namespace vesk
