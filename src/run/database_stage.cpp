#include "run/database_stage.h"

#include "config/db_properties.h"
#include "config/settings_file.h"
#include "run/report.h"

namespace vesk {
namespace {

/// Finds the client and runs it, setting the step of each part.
DatabaseOutcome backUpWithClient(RunState& run, DatabaseResult& result, const DbSettings& db,
                                 const std::string& destinationDir, const std::string& logPath) {
  const Platform& platform = run.platform;
  const bool msde = db.serverVersion == ServerVersion::msde;
  const ClientForm form = msde ? ClientForm::msde : ClientForm::sql2005;

  run.step = msde ? Step::msdeClientTools : Step::sql2005ClientTools;
  const std::optional<ClientProgram> program =
      findClientProgram(platform.registry, platform.files, form);
  // Nothing is started that the registry does not name as an existing program: a program at a
  // path made up without it could be anyone's.
  if (!program)
    return databaseNotComplete(std::string("no client tools found for ") +
                               serverVersionName(db.serverVersion));
  if (!program->laterKey.empty())
    run.log.writeLog("client tools found under " + program->laterKey + ": " + program->path);

  run.step = msde ? Step::msdeClient : Step::sql2005Client;
  const ClientRun client =
      runClient(platform, run.log, form, program->path, db, destinationDir, logPath);
  result.client = client.process;
  result.startedHere = true;

  run.step = Step::databaseOutcome;
  return outcomeOf(platform, client, db.dbPassword);
}

}  // namespace

Step stepOf(DbRecordPart part) {
  using Part = DbRecordPart;
  constexpr struct {
    Part part;
    Step step;
  } steps[] = {{Part::providerValue, Step::providerValue},
               {Part::urlValue, Step::urlValue},
               {Part::urlScheme, Step::urlScheme},
               {Part::urlHostLength, Step::urlHostLength},
               {Part::urlHost, Step::urlHost},
               {Part::urlPort, Step::urlPort},
               {Part::userValue, Step::userValue},
               {Part::passwordValue, Step::passwordValue}};
  for (const auto& row : steps)
    if (row.part == part) return row.step;
  return Step::readDbProperties;
}

std::optional<SqlEnd> backUpDatabase(RunState& run, const RunSettings& settings,
                                     const FolderStageResult& folders,
                                     const std::string& pathConfPath,
                                     const PreviousBackup& previous) {
  const Platform& platform = run.platform;
  RunRecord& record = run.record;
  if (!platform.files.fileExists(folders.dbPropertiesPath)) {
    run.step = Step::noDbProperties;
    record.databaseStage = DatabaseStage::noDbProperties;
    // Every finalPath record that the stage let through was copied.
    if (folders.copiesMade == 0)
      recordOutcome(run, "nothing backed up: no finalPath record in " + pathConfPath,
                    Shown::logOnly);
    recordOutcome(run, "VESK backup completed without SQLServer version");
    return std::nullopt;
  }
  record.databaseStage = DatabaseStage::started;

  run.step = Step::readDbProperties;
  DbSettings db;
  try {
    db = readDbSettings(
        settingsFileText(platform.system, platform.files.readFile(folders.dbPropertiesPath)));
  } catch (const MalformedRecord& malformed) {
    run.step = stepOf(malformed.where);
    throw Failure(malformed);
  }

  return runDatabaseBackup(run, db, folders.destinationDir, settings.logPath, previous);
}

SqlEnd runDatabaseBackup(RunState& run, const DbSettings& db, const std::string& destinationDir,
                         const std::string& logPath, const PreviousBackup& previous) {
  run.step = Step::databaseStart;
  run.log.reportStatus(std::string("SQL start backup ") + serverVersionName(db.serverVersion));
  DatabaseResult result;
  DatabaseOutcome outcome;
  if (db.serverVersion == ServerVersion::none) {
    result.providerSupported = false;
    outcome = databaseNotComplete("unsupported DB_PROVIDER");
  } else if (previous.stillRunning) {
    // One client at a time: the one the run before started still writes its backup and its
    // output.
    result.client = *previous.stillRunning;
    outcome = busyOutcome(*previous.stillRunning, previous.overADay);
  } else {
    outcome = backUpWithClient(run, result, db, destinationDir, logPath);
  }

  run.step = Step::databaseOutcome;
  recordOutcome(run, outcome.line, Shown::inBox, outcome.messages);
  result.end = outcome.end;
  result.outcomeLine = outcome.line;
  result.messages = outcome.messages;
  run.record.database = result;
  run.record.databaseStage = DatabaseStage::ended;
  return outcome.end;
}

}  // namespace vesk
