#include "gui/accessible.h"

#include "base/com_ptr.h"

namespace gui {
namespace {

void setLong(VARIANT* out, long value) {
  VariantInit(out);
  out->vt = VT_I4;
  out->lVal = value;
}

HRESULT giveText(const std::wstring& text, BSTR* out) {
  if (text.empty()) return S_FALSE;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

bool isShown(const AccessibleItem& item) { return !(item.state & STATE_SYSTEM_INVISIBLE); }

}  // namespace

long accessibleRole(ControlKind kind) {
  switch (kind) {
    case ControlKind::Button:
    case ControlKind::PrimaryButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case ControlKind::Tab:
      return ROLE_SYSTEM_PAGETAB;
    case ControlKind::CheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case ControlKind::OptionCard:
    case ControlKind::Segment:
      return ROLE_SYSTEM_RADIOBUTTON;
    case ControlKind::Link:
      return ROLE_SYSTEM_LINK;
  }
  return ROLE_SYSTEM_CLIENT;  // not reached: every kind has its role
}

LRESULT SurfaceAccessible::answer(WPARAM wParam) {
  // oleacc is delay-loaded: only a screen reader's first request loads it.
  // The interface named by __uuidof: MinGW's IID_IAccessible symbol is wrong.
  startCom();  // the answer is marshalled
  return LresultFromObject(__uuidof(IAccessible), wParam, this);
}

HRESULT SurfaceAccessible::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG SurfaceAccessible::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG SurfaceAccessible::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT SurfaceAccessible::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT SurfaceAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}
HRESULT SurfaceAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}
HRESULT SurfaceAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                  UINT*) {
  return E_NOTIMPL;
}

long SurfaceAccessible::childOf(const VARIANT& child, size_t count) const {
  if (child.vt != VT_I4) return -1;
  if (child.lVal < 0 || static_cast<size_t>(child.lVal) > count) return -1;
  return child.lVal;
}

HRESULT SurfaceAccessible::get_accParent(IDispatch** parent) {
  if (!parent) return E_POINTER;
  *parent = nullptr;
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  return CreateStdAccessibleObject(surface_->hwnd(), OBJID_WINDOW, IID_IDispatch,
                                   reinterpret_cast<void**>(parent));
}

HRESULT SurfaceAccessible::get_accChildCount(long* count) {
  if (!count) return E_POINTER;
  *count = 0;
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  *count = static_cast<long>(surface_->accessibleItems().size());
  return S_OK;
}

HRESULT SurfaceAccessible::get_accChild(VARIANT child, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const long index = childOf(child, surface_->accessibleItems().size());
  if (index < 0) return E_INVALIDARG;
  if (index == CHILDID_SELF) {
    AddRef();
    *out = this;
    return S_OK;
  }
  return S_FALSE;  // every child is a simple element of this object
}

HRESULT SurfaceAccessible::textOf(const VARIANT& child, std::wstring AccessibleItem::*field,
                                  const std::wstring& self, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  const long index = childOf(child, items.size());
  if (index < 0) return E_INVALIDARG;
  if (index == CHILDID_SELF) return giveText(self, out);
  return giveText(items[static_cast<size_t>(index - 1)].*field, out);
}

HRESULT SurfaceAccessible::get_accName(VARIANT child, BSTR* name) {
  std::wstring title;
  if (surface_) {
    title.resize(static_cast<size_t>(GetWindowTextLengthW(surface_->hwnd())) + 1);
    title.resize(static_cast<size_t>(
        GetWindowTextW(surface_->hwnd(), title.data(), static_cast<int>(title.size()))));
  }
  return textOf(child, &AccessibleItem::name, title, name);
}

HRESULT SurfaceAccessible::get_accValue(VARIANT child, BSTR* value) {
  return textOf(child, &AccessibleItem::value, L"", value);
}

HRESULT SurfaceAccessible::get_accDescription(VARIANT child, BSTR* description) {
  return textOf(child, &AccessibleItem::description, L"", description);
}

HRESULT SurfaceAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
  return textOf(child, &AccessibleItem::action, L"", action);
}

HRESULT SurfaceAccessible::get_accRole(VARIANT child, VARIANT* role) {
  if (!role) return E_POINTER;
  VariantInit(role);
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  const long index = childOf(child, items.size());
  if (index < 0) return E_INVALIDARG;
  setLong(role, index == CHILDID_SELF ? ROLE_SYSTEM_CLIENT
                                       : items[static_cast<size_t>(index - 1)].role);
  return S_OK;
}

HRESULT SurfaceAccessible::get_accState(VARIANT child, VARIANT* state) {
  if (!state) return E_POINTER;
  VariantInit(state);
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  const long index = childOf(child, items.size());
  if (index < 0) return E_INVALIDARG;
  if (index != CHILDID_SELF) {
    setLong(state, items[static_cast<size_t>(index - 1)].state);
    return S_OK;
  }
  const HWND window = surface_->hwnd();
  long self = STATE_SYSTEM_FOCUSABLE;
  if (GetFocus() == window) self |= STATE_SYSTEM_FOCUSED;
  if (!IsWindowVisible(window)) self |= STATE_SYSTEM_INVISIBLE;
  setLong(state, self);
  return S_OK;
}

HRESULT SurfaceAccessible::get_accHelp(VARIANT, BSTR* help) {
  if (!help) return E_POINTER;
  *help = nullptr;
  return surface_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT SurfaceAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
  if (file) *file = nullptr;
  if (topic) *topic = 0;
  return surface_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT SurfaceAccessible::get_accKeyboardShortcut(VARIANT, BSTR* shortcut) {
  if (!shortcut) return E_POINTER;
  *shortcut = nullptr;
  return surface_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT SurfaceAccessible::get_accFocus(VARIANT* focus) {
  if (!focus) return E_POINTER;
  VariantInit(focus);
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const HWND window = surface_->hwnd();
  const HWND focused = GetFocus();
  if (focused == window) {
    const int child = surface_->accessibleChildOf(surface_->focusId());
    setLong(focus, child > 0 ? child : CHILDID_SELF);
    return S_OK;
  }
  for (const EditField& e : surface_->edits()) {
    if (e.window && e.window == focused) {
      setLong(focus, surface_->accessibleChildOf(e.id));
      return S_OK;
    }
  }
  return S_FALSE;  // the focus is elsewhere
}

HRESULT SurfaceAccessible::get_accSelection(VARIANT* selection) {
  if (!selection) return E_POINTER;
  VariantInit(selection);
  return surface_ ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
}

HRESULT SurfaceAccessible::accSelect(long flags, VARIANT child) {
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  const long index = childOf(child, items.size());
  if (index <= 0 || flags != SELFLAG_TAKEFOCUS) return E_INVALIDARG;
  const AccessibleItem& item = items[static_cast<size_t>(index - 1)];
  if (item.id == 0 || !(item.state & STATE_SYSTEM_FOCUSABLE)) return E_FAIL;
  surface_->focusItem(item.id);
  return S_OK;
}

HRESULT SurfaceAccessible::accLocation(long* x, long* y, long* w, long* h, VARIANT child) {
  if (!x || !y || !w || !h) return E_POINTER;
  *x = *y = *w = *h = 0;
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  const long index = childOf(child, items.size());
  if (index < 0) return E_INVALIDARG;
  RECT rect;
  if (index == CHILDID_SELF) {
    GetClientRect(surface_->hwnd(), &rect);
  } else {
    rect = items[static_cast<size_t>(index - 1)].rect;
    OffsetRect(&rect, 0, -surface_->scrollOffset());  // content that scrolls
  }
  MapWindowPoints(surface_->hwnd(), nullptr, reinterpret_cast<POINT*>(&rect), 2);
  *x = rect.left;
  *y = rect.top;
  *w = rect.right - rect.left;
  *h = rect.bottom - rect.top;
  return S_OK;
}

HRESULT SurfaceAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
  if (!end) return E_POINTER;
  VariantInit(end);
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  const long from = childOf(start, items.size());
  if (from < 0) return E_INVALIDARG;
  const long count = static_cast<long>(items.size());
  long step = 0, at = from;
  switch (direction) {
    case NAVDIR_FIRSTCHILD:
    case NAVDIR_LASTCHILD:
      if (from != CHILDID_SELF) return E_INVALIDARG;
      at = direction == NAVDIR_FIRSTCHILD ? 0 : count + 1;
      step = direction == NAVDIR_FIRSTCHILD ? 1 : -1;
      break;
    case NAVDIR_NEXT:
    case NAVDIR_DOWN:
    case NAVDIR_RIGHT:
      step = 1;
      break;
    case NAVDIR_PREVIOUS:
    case NAVDIR_UP:
    case NAVDIR_LEFT:
      step = -1;
      break;
    default:
      return E_INVALIDARG;
  }
  // Siblings of the client area itself are its window's business.
  if (at == CHILDID_SELF && direction != NAVDIR_FIRSTCHILD) return S_FALSE;
  for (at += step; at >= 1 && at <= count; at += step) {
    if (isShown(items[static_cast<size_t>(at - 1)])) {
      setLong(end, at);
      return S_OK;
    }
  }
  return S_FALSE;
}

HRESULT SurfaceAccessible::accHitTest(long x, long y, VARIANT* child) {
  if (!child) return E_POINTER;
  VariantInit(child);
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  POINT point = {x, y};
  ScreenToClient(surface_->hwnd(), &point);
  RECT client;
  GetClientRect(surface_->hwnd(), &client);
  if (!PtInRect(&client, point)) return S_FALSE;
  point.y += surface_->scrollOffset();  // the items lie in the content
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  // Controls come first and lie on top of what is drawn under them.
  for (size_t i = 0; i < items.size(); ++i) {
    if (isShown(items[i]) && PtInRect(&items[i].rect, point)) {
      setLong(child, static_cast<long>(i + 1));
      return S_OK;
    }
  }
  setLong(child, CHILDID_SELF);
  return S_OK;
}

HRESULT SurfaceAccessible::accDoDefaultAction(VARIANT child) {
  if (!surface_) return CO_E_OBJNOTCONNECTED;
  const std::vector<AccessibleItem> items = surface_->accessibleItems();
  const long index = childOf(child, items.size());
  if (index < 0) return E_INVALIDARG;
  if (index == CHILDID_SELF) return DISP_E_MEMBERNOTFOUND;
  const AccessibleItem& item = items[static_cast<size_t>(index - 1)];
  if (item.action.empty()) return DISP_E_MEMBERNOTFOUND;
  // Posted, as a click would come: the caller must not wait for a folder
  // picker or a closing window.
  return PostMessageW(surface_->hwnd(), kActivateMessage, static_cast<WPARAM>(item.id), 0)
             ? S_OK
             : E_FAIL;
}

HRESULT SurfaceAccessible::put_accName(VARIANT, BSTR) {
  return surface_ ? E_NOTIMPL : CO_E_OBJNOTCONNECTED;
}
HRESULT SurfaceAccessible::put_accValue(VARIANT, BSTR) {
  return surface_ ? E_NOTIMPL : CO_E_OBJNOTCONNECTED;
}

}  // namespace gui

namespace gui {
namespace {

// Windows' own object for an EDIT, with the name of its heading; every
// other question goes to Windows' object.
class FieldAccessible final : public IAccessible {
 public:
  FieldAccessible(ComPtr<IAccessible> standard, HWND field, std::wstring name)
      : standard_(std::move(standard)), field_(field), name_(std::move(name)) {}
  FieldAccessible(const FieldAccessible&) = delete;
  FieldAccessible& operator=(const FieldAccessible&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return standard_->get_accName(child, name);
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!IsWindow(field_)) return CO_E_OBJNOTCONNECTED;  // the field is gone
    return giveText(name_, name);
  }

  // The rest is Windows' own.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    return standard_->GetTypeInfoCount(n);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override {
    return standard_->GetTypeInfo(i, l, t);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l,
                                          DISPID* d) override {
    return standard_->GetIDsOfNames(r, n, c, l, d);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v,
                                   EXCEPINFO* e, UINT* a) override {
    return standard_->Invoke(d, r, l, f, p, v, e, a);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override {
    return standard_->get_accParent(p);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override {
    return standard_->get_accChildCount(n);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** p) override {
    return standard_->get_accChild(c, p);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* v) override {
    return standard_->get_accValue(c, v);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT c, BSTR* d) override {
    return standard_->get_accDescription(c, d);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* r) override {
    return standard_->get_accRole(c, r);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* s) override {
    return standard_->get_accState(c, s);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* h) override {
    return standard_->get_accHelp(c, h);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, long* t) override {
    return standard_->get_accHelpTopic(f, c, t);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* k) override {
    return standard_->get_accKeyboardShortcut(c, k);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* f) override { return standard_->get_accFocus(f); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* s) override {
    return standard_->get_accSelection(s);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* a) override {
    return standard_->get_accDefaultAction(c, a);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long f, VARIANT c) override {
    return standard_->accSelect(f, c);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT c) override {
    return standard_->accLocation(x, y, w, h, c);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long d, VARIANT s, VARIANT* e) override {
    return standard_->accNavigate(d, s, e);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* c) override {
    return standard_->accHitTest(x, y, c);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override {
    return standard_->accDoDefaultAction(c);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT c, BSTR n) override {
    return standard_->put_accName(c, n);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT c, BSTR v) override {
    return standard_->put_accValue(c, v);
  }

 private:
  ~FieldAccessible() = default;

  LONG references_ = 1;
  ComPtr<IAccessible> standard_;
  HWND field_;
  std::wstring name_;
};

}  // namespace

LRESULT answerForField(HWND field, WPARAM wParam, const std::wstring& name) {
  startCom();  // the answer is marshalled
  ComPtr<IAccessible> standard;
  if (FAILED(CreateStdAccessibleObject(field, OBJID_CLIENT, __uuidof(IAccessible),
                                       standard.putVoid())) ||
      !standard)
    return 0;
  // The answer holds its own reference; ours goes with `named`.
  const ComPtr<FieldAccessible> named(new FieldAccessible(std::move(standard), field, name));
  return LresultFromObject(__uuidof(IAccessible), wParam, named.get());
}

}  // namespace gui
