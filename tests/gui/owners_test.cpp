#include <gtest/gtest.h>

#include <vector>

#include "base/com_ptr.h"
#include "gui/paint.h"
#include "gui/scoped_gdi.h"

using namespace gui;

namespace {

// A selection, nested or not, gives the DC back what it held, so that what
// was selected can be deleted once its scope ends.
TEST(ScopedGdiTest, SelectionsGiveTheDcBackWhatItHeld) {
  ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc.valid());
  void* bits = nullptr;
  ScopedBitmap bitmap(createTopDownDib(dc, 4, 4, 24, &bits));
  ScopedGdiObject pen(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
  ScopedGdiObject font(CreateFontW(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                   L"Arial"));
  ASSERT_TRUE(bitmap.valid() && pen.valid() && font.valid());
  const struct {
    UINT type;
    HGDIOBJ object;
  } objects[] = {{OBJ_BITMAP, bitmap.get()}, {OBJ_PEN, pen.get()}, {OBJ_FONT, font.get()}};
  for (const auto& o : objects) {
    SCOPED_TRACE(o.type);
    const HGDIOBJ before = GetCurrentObject(dc, o.type);
    {
      ScopedSelect outer(dc, o.object);
      EXPECT_EQ(GetCurrentObject(dc, o.type), o.object);
      {
        ScopedSelect inner(dc, before);
        EXPECT_EQ(GetCurrentObject(dc, o.type), before);
      }
      EXPECT_EQ(GetCurrentObject(dc, o.type), o.object);
    }
    EXPECT_EQ(GetCurrentObject(dc, o.type), before);
  }
}

// Handles are small numbers here; closing one only counts.
std::vector<int> closedHandles;
struct CountingTraits {
  static int invalid() { return 0; }
  static bool valid(int h) { return h != 0; }
  static void close(int h) { closedHandles.push_back(h); }
};

// put() closes what the owner held once and hands out its own slot, as
// an API returning a handle through a pointer writes it.
TEST(ScopedHandleTest, PutClosesTheOldHandleOnce) {
  closedHandles.clear();
  {
    ScopedHandleOf<int, CountingTraits> held;
    *held.put() = 1;  // nothing held yet: nothing closed
    EXPECT_TRUE(closedHandles.empty());
    EXPECT_EQ(held.get(), 1);
    *held.put() = 2;
    EXPECT_EQ(closedHandles, std::vector<int>{1});
    EXPECT_EQ(held.get(), 2);
    held.put();  // a call that failed and wrote nothing
    EXPECT_FALSE(held.valid());
  }
  EXPECT_EQ(closedHandles, (std::vector<int>{1, 2}));
}

// Counts its references; nothing else.
class Counted : public IUnknown {
 public:
  explicit Counted(int* released) : released_(released) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ++*released_;
    return --references_;
  }

 private:
  ULONG references_ = 1;
  int* released_;
};

// Each pointer handed to a ComPtr is released once: when another is put in
// its place, when it moves on, or at the end of its owner.
TEST(ComPtrTest, EachPointerIsReleasedOnce) {
  int firstReleased = 0, secondReleased = 0;
  Counted first(&firstReleased), second(&secondReleased);
  {
    ComPtr<IUnknown> held;
    EXPECT_FALSE(held);
    *held.put() = &first;
    EXPECT_EQ(held.get(), &first);
    *held.put() = &second;  // a call handing out another one
    EXPECT_EQ(firstReleased, 1);
    ComPtr<IUnknown> moved(std::move(held));
    EXPECT_FALSE(held);
    EXPECT_EQ(secondReleased, 0);
    held = std::move(moved);
    EXPECT_EQ(secondReleased, 0);
  }
  EXPECT_EQ(firstReleased, 1);
  EXPECT_EQ(secondReleased, 1);
}

}  // namespace
