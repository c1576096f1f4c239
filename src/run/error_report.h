#pragma once

#include <cstdint>
#include <optional>
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

/// Ends the run through the error report (the box "Unexpected error N line no S in
/// printing." and its line in the run log) and then the exit block; without a failure the
/// report names 0 at step 0. Returns the exit status: that of the error report, or that of
/// the generic report when a failure arises in the error report that it does not catch.
int endThroughErrorReport(RunState& run, const std::optional<Failure>& failure);

/// Closes and releases the run log.
void exitBlock(RunState& run) noexcept;

/// Ends the process for a failure nobody handles: its number and description in a box, and
/// in the run log when that is open. Returns the exit status.
int genericReport(RunState& run, const Failure& failure);

}  // namespace vesk
