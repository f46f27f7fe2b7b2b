// What one update check found. The text is made only where it is written:
// the log and the --update-check output.
#pragma once

#include <string>
#include <utility>

struct UpdateStatus {
  enum class Kind {
    NoServer,    // no usable answer from the service
    NotNewer,    // the offered `version` is not newer than this program
    Refused,     // the offer is not trusted; `reason` says why
    Failed,      // `version` could not be downloaded and checked: `reason`
    Ready,       // `version` is downloaded, checked and waits to be installed
    Installing,  // an installer runs; what was downloaded meanwhile is dropped
  };
  Kind kind = Kind::NoServer;
  std::string version;
  std::string reason;

  static UpdateStatus noServer() { return make(Kind::NoServer, {}, {}); }
  static UpdateStatus notNewer(std::string offered) {
    return make(Kind::NotNewer, std::move(offered), {});
  }
  static UpdateStatus refused(std::string why) { return make(Kind::Refused, {}, std::move(why)); }
  static UpdateStatus failed(std::string version, std::string why) {
    return make(Kind::Failed, std::move(version), std::move(why));
  }
  static UpdateStatus ready(std::string version) {
    return make(Kind::Ready, std::move(version), {});
  }
  static UpdateStatus installing() { return make(Kind::Installing, {}, {}); }

  bool isReady() const { return kind == Kind::Ready; }
  // "NOSERVER", "NONE v", "NONE installing", "REFUSED why", "FAILED v: why" or "READY v".
  std::string text() const;

  bool operator==(const UpdateStatus& other) const {
    return kind == other.kind && version == other.version && reason == other.reason;
  }
  bool operator!=(const UpdateStatus& other) const { return !(*this == other); }

 private:
  static UpdateStatus make(Kind kind, std::string version, std::string reason) {
    UpdateStatus status;
    status.kind = kind;
    status.version = std::move(version);
    status.reason = std::move(reason);
    return status;
  }
};
