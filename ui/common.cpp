#include "ui/common.h"

#include "gui/control.h"
#include "gui/paint.h"
#include "gui/scoped_gdi.h"
#include "i18n/i18n.h"

namespace ui {
namespace {

constexpr int kDipPerInch = 96;

int toDip(int pixels, UINT dpi) { return MulDiv(pixels, kDipPerInch, static_cast<int>(dpi)); }

}  // namespace

RECT dipRect(UINT dpi, int left, int top, int right, int bottom) {
  return {gui::scaleDip(left, dpi), gui::scaleDip(top, dpi), gui::scaleDip(right, dpi),
          gui::scaleDip(bottom, dpi)};
}

int textWidthDip(HFONT font, const std::wstring& text, UINT dpi) {
  ScopedScreenDc screen(GetDC(nullptr));  // the windows may not be painted yet
  if (!screen.get()) return 0;
  return toDip(gui::measureTextWidth(screen.get(), font, text), dpi);
}

int wrappedHeightDip(HFONT font, int widthDip, const std::wstring& text, UINT dpi) {
  ScopedScreenDc screen(GetDC(nullptr));  // the windows may not be painted yet
  if (!screen.get()) return 0;
  return toDip(gui::measureWrappedHeight(screen.get(), font, gui::scaleDip(widthDip, dpi), text),
               dpi);
}

LineFit fitStatusLine(const gui::FontSet& fonts, const std::wstring& text, int leftDip,
                      int rightDip, UINT dpi) {
  ScopedScreenDc screen(GetDC(nullptr));
  if (!screen.get()) return LineFit::kBody;
  const int width = gui::scaleDip(rightDip, dpi) - gui::scaleDip(leftDip, dpi);
  if (gui::measureTextWidth(screen.get(), fonts[gui::kFontBody], text) <= width) {
    return LineFit::kBody;
  }
  const HFONT small = fonts[gui::kFontSmall];
  return gui::measureTextWidth(screen.get(), small, text) <= width ? LineFit::kSmall
                                                                   : LineFit::kSmallTwoLines;
}

PresenceLine presenceLine(bool folderOk, bool present, const char* foundKey,
                          const char* missingKey, const char* unknownKey) {
  if (!folderOk) return {unknownKey, gui::OrbState::Neutral};
  return present ? PresenceLine{foundKey, gui::OrbState::Ok}
                 : PresenceLine{missingKey, gui::OrbState::Warning};
}

std::wstring actionName(gui::ControlKind kind, bool checked) {
  switch (kind) {
    case gui::ControlKind::Button:
    case gui::ControlKind::PrimaryButton:
      return tr("acc.press");
    case gui::ControlKind::Tab:
      return tr("acc.switch");
    case gui::ControlKind::CheckBox:
      return tr(checked ? "acc.uncheck" : "acc.check");
    case gui::ControlKind::OptionCard:
    case gui::ControlKind::Segment:
      return tr("acc.select");
    case gui::ControlKind::Link:
      return tr("acc.open");
  }
  return std::wstring();  // not reached: every kind has its action
}

void bringToFront(HWND window) {
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOWNORMAL);
  SetForegroundWindow(window);
}

namespace {

const char* addonProblemKey(AddonProblem problem) {
  switch (problem) {
    case AddonProblem::LinkRefused: return "addon.link";
    case AddonProblem::AccessDenied: return "addon.denied";
    case AddonProblem::DiskFull: return "addon.full";
    case AddonProblem::InUse: return "addon.inuse";
    case AddonProblem::Failed: return "addon.failed";
    case AddonProblem::None:
    case AddonProblem::NoPayload:
      break;
  }
  return nullptr;
}

}  // namespace

AddonLine addonLine(const AddonReport& report, bool working, const std::wstring& folder) {
  if (folder.empty()) return {};
  if (working) return {tr("addon.working"), gui::OrbState::Neutral};
  if (report.folder != folder) return {};  // of another folder: not this one's truth
  // A program without the addon beside it (a development build) only logs
  // so: the addon's presence line tells what the game folder holds.
  const char* key = addonProblemKey(report.problem);
  if (!key) return {};
  // The link's owner and path are in the log: the line stays short enough to read whole.
  return {tr(key), gui::OrbState::Warning};
}

std::wstring notSavedText(const WriteResult& saved) {
  switch (writeProblem(saved)) {
    case WriteProblem::DiskFull:
      return tr("se.notsaved.full");
    case WriteProblem::InUse:
      return tr("se.notsaved.inuse");
    case WriteProblem::Refused:
      return tr("se.notsaved.refused");
    default:
      return tr("se.notsaved.other");
  }
}

}  // namespace ui
