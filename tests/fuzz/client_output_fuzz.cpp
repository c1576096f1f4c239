// Fuzz target: the one rule that confirms a database backup, readClientOutput and judgeClient,
// over any bytes as a client's output file.
//
// The input's first byte says what else is known (the output is the rest): bit 0, the exit code
// was seen (the run that started the client), bit 1 it was not 0; bit 2, the file could not be
// read; bit 3, it was over the bound and not read.
//
// Properties, for every input:
// - the reading keeps at most maxMessageLines error lines, each cut to maxMessageLineLength
//   bytes and "...", and has error lines exactly when it found an error;
// - the backup is confirmed only when the rule says so: an exit code of 0 where seen, an output
//   read, not empty, that holds no error and the backup message; otherwise there is a reason,
//   and messages only with an error;
// - the output's text never decides the outcome of an output that was not read.

#include "actions/client_output.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  if (size == 0) return 0;
  const uint8_t known = data[0];
  const std::string output = fuzz::inputText(data + 1, size - 1);

  const ClientOutputReading reading = readClientOutput(output);
  FUZZ_CHECK(reading.errorLines.size() <= maxMessageLines,
             std::to_string(reading.errorLines.size()) + " error lines");
  for (const std::string& line : reading.errorLines)
    FUZZ_CHECK(line.size() <= maxMessageLineLength + 3, fuzz::shown(line));
  FUZZ_CHECK(reading.reportsError == !reading.errorLines.empty(), fuzz::shown(output));

  ClientEvidence evidence;
  if (known & 1) evidence.exitCode = (known & 2) ? 1u : 0u;
  evidence.outputReadable = !(known & 4);
  evidence.outputTooLarge = (known & 8) != 0;
  if (evidence.outputReadable && !evidence.outputTooLarge) evidence.output = output;
  const ClientVerdict verdict = judgeClient(evidence, "C:\\Logs\\vesk.txtsql");

  const bool exitFine = !evidence.exitCode || *evidence.exitCode == 0;
  const bool read = evidence.output.has_value();
  const bool expected =
      exitFine && read && !output.empty() && !reading.reportsError && reading.showsBackup;
  FUZZ_CHECK(verdict.confirmed == expected,
             (verdict.confirmed ? "confirmed: " : "not confirmed: ") + fuzz::shown(output));
  FUZZ_CHECK(verdict.confirmed == verdict.reason.empty(), verdict.reason);
  FUZZ_CHECK(verdict.messages.empty() || (read && reading.reportsError), verdict.reason);
  if (!read)
    FUZZ_CHECK(verdict.reason.find("client output") != std::string::npos ||
                   verdict.reason.find("client exit code") != std::string::npos,
               verdict.reason);
  return 0;
}
