// Fuzz target: the database client's command line, both forms, built by backupCommandLine from
// arbitrary settings values.
//
// The input is split at line feeds into fields, in this order: dbHost, dbPort, dbUser,
// dbPassword, destination, logPath, clientToolsDir (the program is clientToolsDir + "\Binn\" +
// client, as the generation's own key gives it); missing fields are empty, further ones are
// ignored. The destination is normalised first (one trailing backslash), as the run does
// before the database stage.
//
// Properties, for both forms, checked on the line as the client splits it into arguments by
// the Windows rules (actions_test_support.h):
// 1. A non-empty password that holds no "*" is nowhere in the masked line, neither as written
//    nor as it is written inside a quoted argument (each double quote as \"). When the password
//    is in neither dbHost + "," + dbPort nor dbUser, nor in the masked line built with an empty
//    password, the masked line is that line: its -P argument is "********", and every other
//    argument equals that of the line that runs.
// 2. When no field holds a NUL (the command line ends at one), logPath and
//    clientToolsDir hold no double quote (neither can: the command line is cut at double quotes
//    and Windows paths hold none) and the destination holds none either: the line parses into
//    exactly the 13 expected arguments; -S is dbHost + "," + dbPort, -U is dbUser, -P is
//    dbPassword, -o is logPath + "sql", the program is clientToolsDir + "\Binn\" + client, and
//    the stored procedure receives the destination without its leading blanks and its trailing
//    backslash, intact: between double quotes in the MSDE form, as a T-SQL string literal (a
//    single quote written twice) in the 2005 form.
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
  f.destination = parts[4];
  f.logPath = parts[5];
  f.clientToolsDir = parts[6];
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
  const std::string line = backupCommandLine(form, program, f.db, f.destination, f.logPath, false);
  const std::string masked = backupCommandLine(form, program, f.db, f.destination, f.logPath, true);
  DbSettings withoutPassword = f.db;
  withoutPassword.dbPassword.clear();
  const std::string maskedEmpty =
      backupCommandLine(form, program, withoutPassword, f.destination, f.logPath, true);
  const std::string context = (msde ? "MSDE: " : "2005: ") + fuzz::shown(line);

  // Property 1.
  const std::string& password = f.db.dbPassword;
  if (!password.empty() && !holds(password, '*')) {
    FUZZ_CHECK(masked.find(password) == std::string::npos, "password shown: " + context);
    FUZZ_CHECK(masked.find(escapedInQuotes(password)) == std::string::npos,
               "password shown escaped: " + context);
  }
  const bool elsewhere =
      !password.empty() &&
      ((f.db.dbHost + ',' + f.db.dbPort + '\n' + f.db.dbUser).find(password) != std::string::npos ||
       maskedEmpty.find(password) != std::string::npos);
  if (!elsewhere)
    FUZZ_CHECK(masked == maskedEmpty, "the masked line depends on the password: " + context);

  const bool covered = !holds(f.db.dbHost + f.db.dbPort + f.db.dbUser + password + f.destination +
                                  f.logPath + f.clientToolsDir,
                              '\0') &&
                       !holds(f.logPath, '"') && !holds(f.clientToolsDir, '"') &&
                       !holds(f.destination, '"');
  if (!covered) return;

  // Property 2.
  const std::vector<std::string> arguments = splitArguments(line);
  FUZZ_CHECK(arguments.size() == 13, std::to_string(arguments.size()) + " arguments: " + context);
  const std::vector<std::pair<size_t, std::string>> expected = {
      {0, program},     {1, "-S"},        {2, f.db.dbHost + "," + f.db.dbPort},
      {3, "-d"},        {4, "VESK_ZAVO"}, {5, "-U"},
      {6, f.db.dbUser}, {7, "-P"},        {8, password},
      {9, "-Q"},        {11, "-o"},       {12, f.logPath + "sql"}};
  for (const auto& [index, value] : expected)
    FUZZ_CHECK(arguments[index] == value, "argument " + std::to_string(index) + " is " +
                                              fuzz::shown(arguments[index]) + ": " + context);

  const std::string folder =
      withoutLeadingBlanks(f.destination.substr(0, f.destination.size() - 1));
  const std::string call = "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', ";
  const std::string& query = arguments[10];
  FUZZ_CHECK(query.compare(0, call.size(), call) == 0, context);
  const std::string folderArgument = query.substr(call.size());
  if (msde) {
    FUZZ_CHECK(folderArgument == "\"" + folder + "\"", context);
  } else {
    std::optional<std::string> text = stringLiteral(folderArgument);
    FUZZ_CHECK(text && *text == folder, context);
  }

  if (elsewhere) return;
  const std::vector<std::string> maskedArguments = splitArguments(masked);
  FUZZ_CHECK(maskedArguments.size() == 13 && maskedArguments[8] == "********", context);
  for (size_t i = 0; i < 13; ++i)
    if (i != 8) FUZZ_CHECK(maskedArguments[i] == arguments[i], context);
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
