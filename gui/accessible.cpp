#include "gui/accessible.h"

#include <mutex>

namespace gui {
namespace {

// oleacc is loaded when a screen reader first asks, not at start: a program
// that only sits in the notification area never needs it.
using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using CreateStdObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);

struct Oleacc {
  LresultFromObjectFn lresultFromObject = nullptr;
  CreateStdObjectFn createStdObject = nullptr;
};

const Oleacc& oleacc() {
  static std::once_flag once;
  static Oleacc functions;
  std::call_once(once, [] {
    HMODULE module = LoadLibraryW(L"oleacc.dll");  // kept for the process's life
    if (!module) return;
    functions.lresultFromObject = reinterpret_cast<LresultFromObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "LresultFromObject")));
    functions.createStdObject = reinterpret_cast<CreateStdObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "CreateStdAccessibleObject")));
  });
  return functions;
}

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

long accessibleRole(int kind) {
  switch (kind) {
    case kButton:
    case kPrimaryButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case kTab:
      return ROLE_SYSTEM_PAGETAB;
    case kCheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case kOptionCard:
    case kSegment:
      return ROLE_SYSTEM_RADIOBUTTON;
    case kLink:
      return ROLE_SYSTEM_LINK;
    default:
      return ROLE_SYSTEM_CLIENT;
  }
}

LRESULT SurfaceAccessible::answer(WPARAM wParam) {
  const Oleacc& f = oleacc();
  // The interface named by __uuidof: MinGW's IID_IAccessible symbol is wrong.
  return f.lresultFromObject ? f.lresultFromObject(__uuidof(IAccessible), wParam, this) : 0;
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
  const Oleacc& f = oleacc();
  if (!f.createStdObject) return S_FALSE;
  return f.createStdObject(surface_->hwnd(), OBJID_WINDOW, IID_IDispatch,
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
