// Fuzz target: the database client's command line, both forms, built by backupCommandLine from
// arbitrary settings values, and the line the run logs of it (maskedPassword).
//
// The input is split at line feeds into fields, in this order: dbHost, dbPort, dbUser,
// dbPassword, destination, logPath, clientToolsDir (the program is clientToolsDir + "\Binn\" +
// client, as the generation's own key gives it); missing fields are empty, further ones are
// ignored. The destination, logPath and clientToolsDir are fed as the run can meet them: the
// first two come from a command line cut at its double quotes and ending at a NUL, the last from
// a registry value cut at its first NUL that names an existing file, and no Windows path holds a
// double quote; so neither is in them. The destination is normalised first (one trailing
// backslash), as the run does before the database stage.
//
// Properties, for both forms, checked on the line as the client splits it into arguments by
// the Windows rules (actions_test_support.h):
// 1. A non-empty password that holds no "*" is nowhere in the logged line, neither as written
//    nor as it is written inside a quoted argument (each double quote as \"). The line that
//    runs does not depend on the password: the client reads it from its environment.
// 2. When no settings value holds a NUL (the command line ends at one), the line parses into
//    exactly the expected arguments: -S is dbHost + "," + dbPort, -U is dbUser, then -b, -Q,
//    -o is logPath + "sql", and for osql a last -P without a value; the program is
//    clientToolsDir + "\Binn\" + client; the stored procedure receives the destination without
//    its leading blanks and its trailing backslash, intact: between double quotes in the MSDE
//    form, as a T-SQL string literal (a single quote written twice) in the 2005 form.
// Outside these conditions only the absence of crashes and sanitizer reports, and property 1,
// are checked.

#include <optional>
#include <vector>

#include "actions/database_backup.h"
#include "actions/paths.h"
#include "fuzz_check.h"
#include "platform/failure.h"
#include "unit/actions/actions_test_support.h"

namespace vesk {
namespace {

using testing::splitArguments;

struct Fields {
  DbSettings db;
  std::string destination;
  std::string logPath;
  std::string clientToolsDir;
};

std::string withoutQuotesAndNuls(const std::string& text) {
  std::string kept;
  for (char c : text)
    if (c != '"' && c != '\0') kept += c;
  return kept;
}

Fields fieldsOf(const std::string& input) {
  std::vector<std::string> parts(7);
  size_t index = 0;
  for (char c : input) {
    if (c == '\n') {
      if (++index == parts.size()) break;
      continue;
    }
    parts[index] += c;
  }
  Fields f;
  f.db = {ServerVersion::none, parts[0], parts[1], parts[2], parts[3]};
  f.destination = withoutQuotesAndNuls(parts[4]);
  f.logPath = withoutQuotesAndNuls(parts[5]);
  f.clientToolsDir = withoutQuotesAndNuls(parts[6]);
  return f;
}

bool holds(const std::string& text, char c) { return text.find(c) != std::string::npos; }

/// text as it stands inside a quoted argument: each double quote written \", the backslashes
/// before it doubled.
std::string escapedInQuotes(const std::string& text) {
  std::string escaped;
  size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    escaped.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    escaped += c;
    backslashes = 0;
  }
  return escaped.append(backslashes, '\\');
}

std::string withoutLeadingBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

/// The text of a T-SQL string literal that fills all of literal, or nothing when it is not one.
std::optional<std::string> stringLiteral(const std::string& literal) {
  if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') return std::nullopt;
  std::string text;
  for (size_t i = 1; i + 1 < literal.size(); ++i) {
    if (literal[i] == '\'') {
      if (i + 2 >= literal.size() || literal[i + 1] != '\'') return std::nullopt;
      ++i;
    }
    text += literal[i];
  }
  return text;
}

void checkForm(ClientForm form, const Fields& f) {
  const bool msde = form == ClientForm::msde;
  const std::string program = f.clientToolsDir + (msde ? "\\Binn\\OSQL.exe" : "\\Binn\\sqlcmd.exe");
  const std::string line = backupCommandLine(form, program, f.db, f.destination, f.logPath);
  const std::string& password = f.db.dbPassword;
  const std::string logged = maskedPassword(line, password);
  const std::string context = (msde ? "MSDE: " : "2005: ") + fuzz::shown(line);

  // Property 1.
  if (!password.empty() && !holds(password, '*')) {
    FUZZ_CHECK(logged.find(password) == std::string::npos, "password logged: " + context);
    FUZZ_CHECK(logged.find(escapedInQuotes(password)) == std::string::npos,
               "password logged escaped: " + context);
  }
  DbSettings otherPassword = f.db;
  otherPassword.dbPassword = password + "x";
  FUZZ_CHECK(line == backupCommandLine(form, program, otherPassword, f.destination, f.logPath),
             "the command line depends on the password: " + context);

  if (holds(f.db.dbHost + f.db.dbPort + f.db.dbUser, '\0')) return;

  // Property 2.
  const std::vector<std::string> arguments = splitArguments(line);
  const size_t count = msde ? 13 : 12;
  FUZZ_CHECK(arguments.size() == count,
             std::to_string(arguments.size()) + " arguments: " + context);
  std::vector<std::pair<size_t, std::string>> expected = {{0, program},
                                                          {1, "-S"},
                                                          {2, f.db.dbHost + "," + f.db.dbPort},
                                                          {3, "-d"},
                                                          {4, "VESK_ZAVO"},
                                                          {5, "-U"},
                                                          {6, f.db.dbUser},
                                                          {7, "-b"},
                                                          {8, "-Q"},
                                                          {10, "-o"},
                                                          {11, f.logPath + "sql"}};
  if (msde) expected.push_back({12, "-P"});
  for (const auto& [index, value] : expected)
    FUZZ_CHECK(arguments[index] == value, "argument " + std::to_string(index) + " is " +
                                              fuzz::shown(arguments[index]) + ": " + context);

  const std::string folder =
      withoutLeadingBlanks(f.destination.substr(0, f.destination.size() - 1));
  const std::string call = "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', ";
  const std::string& query = arguments[9];
  FUZZ_CHECK(query.compare(0, call.size(), call) == 0, context);
  const std::string folderArgument = query.substr(call.size());
  if (msde) {
    FUZZ_CHECK(folderArgument == "\"" + folder + "\"", context);
  } else {
    std::optional<std::string> text = stringLiteral(folderArgument);
    FUZZ_CHECK(text && *text == folder, context);
  }
}

}  // namespace
}  // namespace vesk

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  Fields fields = fieldsOf(fuzz::inputText(data, size));
  try {
    fields.destination = normaliseFolderPath(fields.destination);
  } catch (const Failure&) {
    return 0;  // longer than any folder path; the run stops at it before the database stage
  }
  checkForm(ClientForm::msde, fields);
  checkForm(ClientForm::sql2005, fields);
  return 0;
}
