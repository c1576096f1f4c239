// Fuzz target: the whole command line (program name included) through argumentTextOf and
// readRunSettings.
//
// Properties, for every input:
// - the argument text is a suffix of the command line that starts with neither a blank nor a
//   tab;
// - the split gives no piece for an empty text and otherwise one piece more than there are
//   double quotes, and the pieces joined with double quotes give the text back;
// - the command line is accepted exactly when its argument text holds at least two double
//   quotes; a refused one leaves all four settings untouched;
// - at most four settings are filled, and each filled setting holds a whole counting piece (one
//   with a character other than a space), the settings taking the counting pieces in order,
//   except that a "default" keyword (any letter case) in the log position leaves the log path
//   at its default.

#include <algorithm>
#include <cctype>
#include <vector>

#include "fuzz_check.h"
#include "run/run_settings.h"

namespace vesk {
namespace {

// No piece can hold a double quote, so these defaults tell unfilled settings apart.
const RunSettings sentinel{"\"dest", "\"log", "\"notify", "\"copy"};

bool counts(const std::string& piece) { return piece.find_first_not_of(' ') != std::string::npos; }

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

void checkSplit(const std::string& argumentText, const std::vector<std::string>& pieces) {
  const size_t quotes =
      static_cast<size_t>(std::count(argumentText.begin(), argumentText.end(), '"'));
  FUZZ_CHECK(pieces.size() == (argumentText.empty() ? 0 : quotes + 1), fuzz::shown(argumentText));
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) joined += (i ? "\"" : "") + pieces[i];
  FUZZ_CHECK(joined == argumentText, fuzz::shown(argumentText));
}

}  // namespace
}  // namespace vesk

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  const std::string commandLine = fuzz::inputText(data, size);

  const std::string argumentText = argumentTextOf(commandLine);
  FUZZ_CHECK(argumentText.size() <= commandLine.size() &&
                 commandLine.compare(commandLine.size() - argumentText.size(), argumentText.size(),
                                     argumentText) == 0,
             fuzz::shown(commandLine));
  FUZZ_CHECK(argumentText.empty() || (argumentText[0] != ' ' && argumentText[0] != '\t'),
             fuzz::shown(commandLine));

  const std::vector<std::string> pieces = splitArgumentText(argumentText);
  checkSplit(argumentText, pieces);

  const std::optional<RunSettings> read = readRunSettings(argumentText, sentinel.logPath);
  const bool accepted = read.has_value();
  // Accepted settings start from the defaults and the given log path.
  const RunSettings unfilled = accepted ? RunSettings{"", sentinel.logPath} : sentinel;
  RunSettings settings = read.value_or(sentinel);
  const bool twoQuotes = std::count(argumentText.begin(), argumentText.end(), '"') >= 2;
  FUZZ_CHECK(accepted == twoQuotes, fuzz::shown(argumentText));

  // The four settings in their order, and what each must hold.
  std::string* values[] = {&settings.destinationDir, &settings.logPath, &settings.notifyFlag,
                           &settings.copyMode};
  const std::string* defaults[] = {&unfilled.destinationDir, &unfilled.logPath,
                                   &unfilled.notifyFlag, &unfilled.copyMode};
  std::vector<std::string> counting;
  if (accepted)
    for (const std::string& piece : pieces)
      if (counts(piece)) counting.push_back(piece);

  size_t filled = 0;
  for (size_t i = 0; i < 4; ++i) {
    if (*values[i] == *defaults[i]) continue;
    ++filled;
    FUZZ_CHECK(std::find(pieces.begin(), pieces.end(), *values[i]) != pieces.end(),
               "setting " + std::to_string(i) + " is no piece: " + fuzz::shown(argumentText));
  }
  // A fifth and later counting piece is ignored, so it can never overwrite an earlier setting.
  FUZZ_CHECK(filled <= std::min<size_t>(4, counting.size()), fuzz::shown(argumentText));
  for (size_t i = 0; i < 4; ++i) {
    std::string expected = *defaults[i];
    if (i < counting.size() && !(i == 1 && lowerCase(counting[i]) == "default"))
      expected = counting[i];
    FUZZ_CHECK(*values[i] == expected,
               "setting " + std::to_string(i) + " out of order: " + fuzz::shown(argumentText));
  }
  return 0;
}
