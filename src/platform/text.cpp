#include "platform/text.h"

namespace vesk {

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
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
