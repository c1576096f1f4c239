// The code page and the letter case of the Windows that the fakes simulate.

#include <utility>

#include "fake/fake_file_system.h"
#include "platform/text.h"

namespace vesk {
namespace {

// Windows-1252 at 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t upperCase(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
    return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

/// The UTF-16 code units of a UTF-8 text, one by one; lenient, as test sources are valid UTF-8.
class Utf16Reader {
 public:
  explicit Utf16Reader(const std::string& text) : text_(text) {}
  bool done() const { return low_ == 0 && at_ >= text_.size(); }
  char16_t next() {
    if (low_ != 0) return std::exchange(low_, char16_t{0});
    auto c = static_cast<unsigned char>(text_[at_]);
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t code = more == 0 ? c : c & (0x3F >> more);
    for (++at_; more > 0 && at_ < text_.size(); --more, ++at_)
      code = (code << 6) | (static_cast<unsigned char>(text_[at_]) & 0x3F);
    if (code < 0x10000) return static_cast<char16_t>(code);
    low_ = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    return static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
  }

 private:
  const std::string& text_;
  size_t at_ = 0;
  char16_t low_ = 0;
};

}  // namespace

namespace fake {

std::string ansiFromUtf16(const std::u16string& text) {
  std::string ansi;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      ansi += static_cast<char>(c);
      continue;
    }
    char shown = '?';
    for (int j = 0; j < 32; ++j)
      if (cp1252High[j] == c) shown = static_cast<char>(0x80 + j);
    // A surrogate pair is one character.
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      ++i;
    ansi += shown;
  }
  return ansi;
}

std::u16string utf16FromAnsi(const std::string& text) {
  std::u16string wide;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    char16_t high = c >= 0x80 && c < 0xA0 ? cp1252High[c - 0x80] : 0;
    wide += high ? high : char16_t{c};
  }
  return wide;
}

std::u16string utf16FromUtf8(const std::string& text) {
  std::u16string wide;
  for (Utf16Reader reader(text); !reader.done();) wide += reader.next();
  return wide;
}

std::string utf8FromUtf16(const std::u16string& text) { return vesk::utf8FromUtf16(text); }

int compareNames(const std::u16string& a, const std::u16string& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    char16_t x = upperCase(a[i]), y = upperCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace fake

bool PathLess::operator()(const std::string& a, const std::string& b) const {
  // fake::compareNames of the two in UTF-16, without converting them first.
  Utf16Reader x(a), y(b);
  while (!x.done() && !y.done()) {
    char16_t p = upperCase(x.next()), q = upperCase(y.next());
    if (p != q) return p < q;
  }
  return !y.done();
}

}  // namespace vesk
