// The look's colours as GDI+ paints them (ARGB, alpha first), beside the
// GDI colours of the theme: the leather, the panels and the frame, the
// status orbs and the controls. A gradient runs from its first colour at
// the top (or left, or centre) to its second.
#pragma once

#include "gui/gdiplus_util.h"

namespace gui {
namespace look {

struct Gradient {
  Argb from, to;
};

constexpr Argb kClear = 0x00000000;  // what a fade ends in
constexpr Argb kBlack = 0xFF000000;  // shadows, at an alpha of their own

// The leather: a warm sheen at the top, darker towards every edge.
constexpr Argb kLeatherSheen = 0x1AFFD696;
constexpr Argb kLeatherSideShade = 0x96000000;
constexpr Argb kLeatherBottomShade = 0xAA000000;
constexpr Argb kLeatherTopShade = 0x6E000000;

// The gilt diamond of the frame's corners, the dividers and the bullets.
constexpr Gradient kDiamond = {0xFFFFE8A8, 0xFF966C2E};
constexpr Argb kDiamondOutline = 0xFF281A0C;

// The dark panels.
constexpr Argb kDarkPanelStrong = 0xDE100D0B;
constexpr Argb kDarkPanel = 0xAF100D0B;
constexpr Gradient kDarkPanelGilt = {0xAADCB870, 0x6E967038};
constexpr Argb kDarkPanelOutline = 0xFF543E20;

// The parchment panels: their shadow, their darkened rim (each ring inward
// fainter by kParchmentRimFade) and their outline; the plain colour without
// the picture.
constexpr Argb kParchmentFallback = 0xFFECDEBC;
constexpr Argb kParchmentShadow = 0x28000000;
constexpr Argb kParchmentRim = 0x2E6E4210;
constexpr Argb kParchmentRimFade = 0x07000000;
constexpr Argb kParchmentOutline = 0xFF6E5028;

// The window's frame: a dark rule under a gilt one, an inner rule, and the
// corners' arms (gilt too) and curls.
constexpr Gradient kFrameGilt = {0xFFF6D68C, 0xFF805C28};
constexpr Argb kFrameUnderRule = 0xFF080604;
constexpr Argb kFrameInnerRule = 0x96C4A060;
constexpr Argb kFrameCurl = 0xDCD6B26A;

constexpr Gradient kDivider = {0x00C8A05A, 0xFFE8C478};
constexpr Gradient kHalo = {0x468CE6FF, 0x008CE6FF};

// The status orbs: a frosty blue when all is well (and for the active
// step), amber for a warning, gold for a step done, a dim ring otherwise.
constexpr Argb kOrbGlow = 0x0082E4FF;  // at the alpha of each ring
constexpr Gradient kOrbOk = {0xFFECFCFF, 0xFF28A0D2};
constexpr Argb kOrbOkMark = 0xFF083448;
constexpr Gradient kOrbWarning = {0xFFFFDE96, 0xFFC8781E};
constexpr Argb kOrbWarningMark = 0xFF3C1E04;
constexpr Gradient kOrbDone = {0xFFFADE96, 0xFFA07634};
constexpr Argb kOrbDoneMark = 0xFF2E1E0C;
constexpr Argb kOrbNeutralFill = 0x46281C0E;
constexpr Argb kOrbNeutralRing = 0xD296784C;

// The pill that shows a version's state.
constexpr Argb kPillGlow = 0x4682E4FF;
constexpr Argb kPillFill = 0xEB0E0C0A;
constexpr Argb kPillGoodOutline = 0xFF78C8E4;
constexpr Argb kPillOutline = 0xFFAA7832;

// Wells: the frame of a text field, the box of a check box.
constexpr Argb kWellFill = 0xFF14100D;
constexpr Argb kFieldFocusGlow = 0x6E82E4FF;
constexpr Argb kFieldInnerShadow = 0x78000000;
constexpr Argb kFieldFocusedOutline = 0xFFDEBE78;
constexpr Argb kFieldOutline = 0xFF70542C;

// What a pointer over a control lights, and the blue of marks and lights.
constexpr Argb kHoverGlow = 0x5AFFD68C;
constexpr Argb kFrostMark = 0xFF96ECFF;

// Buttons: the body by state, a sheen along the top, the rim.
constexpr Gradient kPrimaryButton = {0xFF922818, 0xFF52120A};
constexpr Gradient kPrimaryButtonHot = {0xFFAC341E, 0xFF68160C};
constexpr Gradient kPrimaryButtonDisabled = {0xFF462820, 0xFF2E1A14};
constexpr Gradient kButton = {0xFF3E3021, 0xFF221A12};
constexpr Gradient kButtonHot = {0xFF4E3C28, 0xFF2A2016};
constexpr Gradient kButtonDisabled = {0xFF28221C, 0xFF1E1914};
constexpr Argb kPrimaryButtonGlow = 0x78FFD282;
constexpr Argb kButtonSheen = 0x46FFECBE;
constexpr Argb kButtonSheenDisabled = 0x19FFECBE;
constexpr Gradient kButtonRim = {0xFFFADC92, 0xFF966C2E};
constexpr Gradient kButtonRimDisabled = {0xFF6E5C42, 0xFF50422E};

// Tabs: the selected one with a light along its top; the others a shade
// lighter under the pointer.
constexpr Gradient kTabSelected = {0xFF34291E, 0xFF130F0D};
constexpr Gradient kTabSelectedRim = {0xFFF0CE84, 0xFF967038};
constexpr Gradient kTabLight = {0x0082E4FF, 0xFFAAEEFF};
constexpr Argb kTabTop = 0xDC1E1813;
constexpr Argb kTabTopHot = 0xEB2C231B;
constexpr Argb kTabBottom = 0xDC14100D;
constexpr Gradient kTabRim = {0xFF806032, 0xFF46341E};

constexpr Argb kCheckBoxOutline = 0xFF785A2E;
constexpr Argb kCheckBoxLitOutline = 0xFFE2C076;  // checked or under the pointer

// Option cards and segments: chosen, under the pointer, neither.
constexpr Argb kChosenOutline = 0xFFECCA80;
constexpr Argb kCardGlow = 0x5082E4FF;
constexpr Gradient kCardChosen = {0xF032281E, 0xF01C1611};
constexpr Gradient kCardHot = {0xE1282019, 0xCD120F0C};
constexpr Argb kCardHotOutline = 0xFFAA8446;
constexpr Gradient kCard = {0xCD1C1713, 0xCD120F0C};
constexpr Argb kCardOutline = 0xFF604826;
constexpr Gradient kSegmentChosen = {0xFF5C4628, 0xFF342614};
constexpr Argb kSegmentTop = 0xE11E1813;
constexpr Argb kSegmentTopHot = 0xF02E241B;
constexpr Argb kSegmentBottom = 0xE114100D;
constexpr Argb kSegmentOutline = 0xFF684E28;

// The keyboard focus ring: the highlight gold of hovered captions.
constexpr Argb kFocusRing = 0xFFFFE4A0;

}  // namespace look
}  // namespace gui
