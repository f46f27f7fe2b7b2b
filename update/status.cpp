#include "update/status.h"

std::string UpdateStatus::text() const {
  switch (kind) {
    case Kind::NoServer:
      return "NOSERVER";
    case Kind::NotNewer:
      return "NONE " + version;
    case Kind::Refused:
      return "REFUSED " + reason;
    case Kind::Failed:
      return "FAILED " + version + ": " + reason;
    case Kind::Ready:
      return "READY " + version;
    case Kind::Installing:
      return "NONE installing";
  }
  return {};
}
