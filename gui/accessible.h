// What a screen reader gets from a surface: the IAccessible object that
// answers WM_GETOBJECT for the client area, whose children are the drawn
// controls, the EDITs and the drawn texts. The object may outlive its
// window (a screen reader holds on to it): from then on every call fails
// with CO_E_OBJNOTCONNECTED and nothing of the surface is touched.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>

#include "gui/surface.h"

namespace gui {

// Role of a drawn control kind for screen readers.
long accessibleRole(ControlKind kind);

class SurfaceAccessible final : public IAccessible {
 public:
  explicit SurfaceAccessible(Surface* surface) : surface_(surface) {}
  SurfaceAccessible(const SurfaceAccessible&) = delete;
  SurfaceAccessible& operator=(const SurfaceAccessible&) = delete;

  // The window is going: forget the surface for good.
  void disconnect() { surface_ = nullptr; }

  // WM_GETOBJECT's answer for this object, 0 when it cannot be given.
  LRESULT answer(WPARAM wParam);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override;

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h,
                                        VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override;

 private:
  ~SurfaceAccessible() = default;
  // The child a VARIANT names: 0 for the client area itself, -1 when invalid.
  long childOf(const VARIANT& child, size_t count) const;
  // One text of the client area (self) or of a child.
  HRESULT textOf(const VARIANT& child, std::wstring AccessibleItem::*field,
                 const std::wstring& self, BSTR* out);

  LONG references_ = 1;
  Surface* surface_;
};

// WM_GETOBJECT's answer for an EDIT: the object Windows makes for it, named
// by the field's heading, which the EDIT itself cannot tell. 0 when it
// cannot be given.
LRESULT answerForField(HWND field, WPARAM wParam, const std::wstring& name);

}  // namespace gui
