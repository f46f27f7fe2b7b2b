#include "game/addon_report.h"

#include <windows.h>

AddonProblem problemOfError(unsigned long error, bool replacing) {
  const WriteStep step = replacing ? WriteStep::Replace : WriteStep::TempFile;
  switch (writeProblem({step, error})) {
    case WriteProblem::Refused:
      return replacing && error == ERROR_ACCESS_DENIED ? AddonProblem::InUse
                                                       : AddonProblem::AccessDenied;
    case WriteProblem::DiskFull:
      return AddonProblem::DiskFull;
    case WriteProblem::InUse:
      return AddonProblem::InUse;
    case WriteProblem::None:
    case WriteProblem::Other:
      break;
  }
  return AddonProblem::Failed;
}

AddonReport reportOf(const std::wstring& folder, const AddonCopyResult& copied,
                     const ConfigWrite& config) {
  AddonReport report;
  report.folder = folder;
  switch (copied.outcome) {
    case AddonCopyOutcome::LinkRefused:
      report.problem = AddonProblem::LinkRefused;
      report.path = copied.path;
      report.owner = copied.owner;
      return report;
    case AddonCopyOutcome::Failed:
      report.problem = problemOfError(copied.error, copied.replacing);
      report.path = copied.path;
      report.error = copied.error;
      return report;
    case AddonCopyOutcome::NoPayload:
      report.problem = AddonProblem::NoPayload;
      break;
    case AddonCopyOutcome::UpToDate:
    case AddonCopyOutcome::Copied:
      break;
  }
  switch (config.outcome) {
    case ConfigOutcome::LinkRefused:
      report.problem = AddonProblem::LinkRefused;
      report.path = config.path;
      report.owner = config.owner;
      break;
    case ConfigOutcome::Failed:
      report.problem =
          problemOfError(config.write.error, config.write.failedAt == WriteStep::Replace);
      report.path = config.path;
      report.error = config.write.error;
      break;
    case ConfigOutcome::Unchanged:
    case ConfigOutcome::Written:
    case ConfigOutcome::NoAddonFolder:
      break;
  }
  return report;
}
