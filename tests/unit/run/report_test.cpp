#include "run/report.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "run/database_stage.h"

namespace vesk {
namespace {

int32_t number(Step step) { return static_cast<int32_t>(step); }

TEST(Report, StepOfWhatFailed) {
  using Part = DbRecordPart;
  const struct {
    Step step;
    int32_t expected;
  } cases[] = {
      {stepOf(Part::providerValue), 89},
      {stepOf(Part::urlValue), 99},
      {stepOf(Part::urlScheme), 100},
      {stepOf(Part::urlHostLength), 102},
      {stepOf(Part::urlHost), 104},
      {stepOf(Part::urlPort), 105},
      {stepOf(Part::userValue), 107},
      {stepOf(Part::passwordValue), 109},
      // The database stage's parts, which the run sets as it calls them.
      {Step::msdeClientTools, 116},
      {Step::msdeClient, 117},
      {Step::sql2005ClientTools, 120},
      {Step::sql2005Client, 121},
      {Step::databaseOutcome, 122},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, number(c.step));
}

TEST(Report, NumberAndDescriptionOfEachFault) {
  const struct {
    Failure failure;
    int32_t number;
    const char* description;
  } cases[] = {
      {Failure(Fault::invalidArgument), 5, "Invalid procedure call or argument"},
      {Failure(Fault::overflow), 6, "Overflow"},
      {Failure(Fault::subscriptOutOfRange), 9, "Subscript out of range"},
      {Failure(Fault::badFileName), 52, "Bad file name or number"},
      {Failure(Fault::fileNotFound), 53, "File not found"},
      {Failure(Fault::fileAlreadyExists), 58, "File already exists"},
      {Failure(Fault::diskFull), 61, "Disk full"},
      {Failure(Fault::permissionDenied), 70, "Permission denied"},
      {Failure(Fault::diskNotReady), 71, "Disk not ready"},
      {Failure(Fault::pathFileAccess, "system error 1392"), 75,
       "Path/File access error (system error 1392)"},
      {Failure(Fault::pathNotFound), 76, "Path not found"},
      {Failure(Fault::logNotOpen), 91, "Run log is not open"},
      {Failure(Fault::unsupportedValueType), 1001, "Unsupported value type"},
  };
  for (const auto& c : cases) {
    const ReportedFailure r = reported(c.failure);
    EXPECT_EQ(c.number, r.number) << c.description;
    EXPECT_EQ(c.description, r.description);
  }
}

TEST(Report, NumbersCarryABlankOrTheirSign) {
  const ReportedFailure subscript{9, "Subscript out of range"};
  EXPECT_EQ("Unexpected error 9 line no 58 in printing.\r\nSubscript out of range",
            errorReportMessage(subscript, Step::finalPathValue));
  EXPECT_EQ("Unexpected error-5 line no 124 in printing.\r\n",
            errorReportMessage({-5, ""}, Step::exitBlock));
  EXPECT_EQ("Error: 9line no: 58Desc:Subscript out of range",
            errorReportLine(subscript, Step::finalPathValue));
  EXPECT_EQ("Error: 0line no: 0Desc:", errorReportLine({}, Step::none));
  EXPECT_EQ("Error 9: Subscript out of range", genericReportText(subscript));
}

TEST(BoxText, LongTextsAreCutWithTheirLength) {
  const std::string full(maxBoxText, 'x'), host(102'400, 'h');
  const struct {
    std::string text, shown;
  } cases[] = {
      {"", ""},
      {full, full},
      {full + "y",
       full + "...\r\n(2001 characters in all, cut here; the run log holds them whole)"},
      {host, std::string(maxBoxText, 'h') +
                 "...\r\n(102400 characters in all, cut here; the run log holds them whole)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.shown, boxText(c.text)) << c.text.size();
}

}  // namespace
}  // namespace vesk
