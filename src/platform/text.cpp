#include "platform/text.h"

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

}  // namespace vesk
