// The fake of the system's texts: the user forms of date and time, and the code page.

#include "fake/fake_system.h"

#include <cstdio>

#include "fake/fake_file_system.h"

namespace vesk {

std::string FakeSystem::shortDateText(const LocalTime& t) {
  return std::to_string(t.month) + "/" + std::to_string(t.day) + "/" + std::to_string(t.year);
}

std::string FakeSystem::longTimeText(const LocalTime& t) {
  int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, t.minute, t.second,
                t.hour < 12 ? "AM" : "PM");
  return text;
}

std::string FakeSystem::ansiFromUtf16(const std::u16string& text) {
  return fake::ansiFromUtf16(text);
}

std::u16string FakeSystem::utf16FromAnsi(const std::string& text) {
  return fake::utf16FromAnsi(text);
}

}  // namespace vesk
