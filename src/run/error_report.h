#pragma once

#include <cstdint>
#include <string>

#include "platform/failure.h"
#include "run/run_state.h"

namespace vesk {

/// A number as the error report writes it: a blank before zero and positive numbers, the minus
/// sign before negative ones.
std::string reportNumber(int64_t number);

/// The error report's box text and its log line (without the time stamp).
std::string errorReportMessage(int32_t number, int64_t step, const std::string& description);
std::string errorReportLine(int32_t number, int64_t step, const std::string& description);

/// Step 124: the error report and then the exit block. fromFailure tells whether a failure is
/// being handled (a further failure then ends the process with the generic report). Returns
/// the exit status.
int errorReportPath(RunState& run, int32_t number, int64_t step, const std::string& description,
                    bool fromFailure);

/// Releases the file-system object and closes and releases the run log.
void exitBlock(RunState& run);

/// Ends the process for a failure nobody handles: its number and description in a box, and,
/// when the run log is open, in a line of the log first. Returns the exit status.
int genericReport(RunState& run, const Failure& failure);

}  // namespace vesk
