// The status texts are read by the log's readers and by the --update-check
// output's callers, so each status keeps its exact words.
#include <gtest/gtest.h>

#include "update/status.h"

namespace {

TEST(UpdateStatusText, EachKindSaysItsOwnWords) {
  const struct {
    UpdateStatus status;
    const char* text;
  } cases[] = {
      {UpdateStatus::noServer(), "NOSERVER"},
      {UpdateStatus::notNewer("1.3.0"), "NONE 1.3.0"},
      {UpdateStatus::refused("the signature does not match"),
       "REFUSED the signature does not match"},
      {UpdateStatus::failed("1.4.0", "download failed: cancelled"),
       "FAILED 1.4.0: download failed: cancelled"},
      {UpdateStatus::ready("1.4.0"), "READY 1.4.0"},
      {UpdateStatus::installing(), "NONE installing"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.status.text(), c.text);
}

}  // namespace
