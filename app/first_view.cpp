#include "app/first_view.h"

#include "app/app.h"
#include "app/tray.h"
#include "base/text.h"
#include "i18n/i18n.h"
#include "ui/setup.h"

bool firstViewOpensWindow(App& app, const StartRequest& request) {
  return request.setup || request.open || (!request.background && !app.snapshot().wizardDone);
}

void showFirstView(App& app, const StartRequest& request) {
  const bool setupDone = app.snapshot().wizardDone;
  const std::string updatedTo = app.updatedTo();
  if (request.setup) {
    openSetup(request.page);
  } else if (request.open) {
    if (setupDone) {
      openMainUnlessSetup(request.tab);
    } else {
      openSetup(0);
    }
  } else if (!request.background && !setupDone) {
    openSetup(0);
  } else if (!request.background && updatedTo.empty()) {
    showBalloonKeys("tray.balloon.title", "tray.running.text");
  }
  if (!updatedTo.empty()) {
    showBalloon(trFormat("upd.done.title", "version", toWide(updatedTo)), tr("upd.done.text"), 0);
  }
}
