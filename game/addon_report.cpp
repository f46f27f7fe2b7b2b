#include "game/addon_report.h"

#include <windows.h>

AddonProblem problemOfError(unsigned long error, bool replacing) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return replacing ? AddonProblem::InUse : AddonProblem::AccessDenied;
    case ERROR_WRITE_PROTECT:
      return AddonProblem::AccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return AddonProblem::DiskFull;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return AddonProblem::InUse;
    default:
      return AddonProblem::Failed;
  }
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
