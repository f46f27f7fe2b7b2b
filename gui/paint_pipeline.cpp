#include "gui/paint_pipeline.h"

#include <algorithm>

#include "gui/paint.h"
#include "gui/theme.h"

namespace gui {
namespace {

// The back buffer and the kept backdrop (`dc` may be null: the colours are
// RGB): a DIB section rather than a bitmap compatible with the screen. Its
// pixels are pages of their own that go back to the system when it is
// deleted, while a screen-compatible bitmap may be carved out of the display
// driver's heap, which keeps what it held once the window is gone. 24 bits,
// not 32: GDI+ blends into a 32-bit DIB section through a path of its own
// whose rounding differs (by up to a few steps, more at some edges) from
// what it draws on the screen's bitmaps.
HBITMAP createPaintBitmap(HDC dc, int width, int height) {
  void* bits = nullptr;
  return createTopDownDib(dc, width, height, 24, &bits);
}

// `from` copied onto `target` over `client`; false without a DC to copy from.
bool copyBitmap(HDC target, HBITMAP from, const RECT& client) {
  ScopedMemoryDc source(CreateCompatibleDC(target));
  if (!source.valid()) return false;
  ScopedSelect selected(source, from);
  BitBlt(target, 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY);
  return true;
}

// The buffer differs from the screen in format: copied band by band, the
// conversion's temporaries stay small.
void copyToScreen(HDC screen, HDC buffer, const RECT& client, int scrollY) {
  const LONG rows = rowsPerBand(client.right);
  for (LONG top = scrollY; top < client.bottom; top += rows) {
    BitBlt(screen, 0, top - scrollY, client.right, std::min(rows, client.bottom - top), buffer, 0,
           top, SRCCOPY);
  }
}

}  // namespace

// Without a thread the first paint paints the backdrop. One of another size
// or DPI is painted again there.
void PaintPipeline::start(const RECT& client, UINT dpi, int firstLayer) {
  finish();
  if (client.right <= 0 || client.bottom <= 0) return;
  threadClient_ = client;
  threadDpi_ = dpi;
  firstLayer_ = firstLayer;
  paintWaits_ = false;
  thread_.start([this] { run(); });
}

void PaintPipeline::finish() { thread_.join(); }

void PaintPipeline::run() {
  renderBackdrop(threadClient_, threadDpi_);
  renderFirstFrame(threadClient_);
}

void PaintPipeline::paint(HDC screen, const RECT& client, UINT dpi, int firstLayer, int scrollY) {
  ScopedMemoryDc memory(CreateCompatibleDC(screen));
  paintWaits_ = true;
  finish();        // it may have painted the first buffer
  awaitGdiplus();  // GDI+'s notifications come to this thread from now on
  HBITMAP bitmap = backBuffer(screen, client);
  if (!memory.valid() || !bitmap) return;
  ScopedSelect selected(memory, bitmap);
  const int layer = copyBackdrop(memory, client, dpi, firstLayer);
  source_.paintOver(memory, client, layer);
  copyToScreen(screen, memory, client, scrollY);
}

// Kept with the window for its size, so that a repaint makes no bitmap (new
// pages for every paint cost more than the paint's own work at high DPI).
// Every paint covers all of it.
HBITMAP PaintPipeline::backBuffer(HDC screen, const RECT& client) {
  if (buffer_.valid() && bufferSize_.cx == client.right && bufferSize_.cy == client.bottom) {
    return buffer_;
  }
  buffer_.reset();
  bufferHoldsFirstLayer_ = false;
  bufferSize_ = {client.right, client.bottom};
  if (client.right > 0 && client.bottom > 0) {
    buffer_.reset(createPaintBitmap(screen, client.right, client.bottom));
  }
  return buffer_;
}

// Makes and paints backdrop_ for the client area at `dpi`; none without
// memory. No DC of the display here: the thread never talks to it.
void PaintPipeline::renderBackdrop(const RECT& client, UINT dpi) {
  awaitGdiplus();
  backdrop_.reset();
  backdropSize_ = {client.right, client.bottom};
  backdropDpi_ = dpi;
  backdrop_.reset(createPaintBitmap(nullptr, client.right, client.bottom));
  ScopedMemoryDc painter(backdrop_.valid() ? CreateCompatibleDC(nullptr) : nullptr);
  if (!painter.valid()) {
    backdrop_.reset();
    return;
  }
  ScopedSelect selected(painter, backdrop_);
  source_.paintBackdrop(painter, client);
}

// The backdrop with the first layer on it, in the back buffer that the
// first paint finds: the window's thread is then still showing the window.
void PaintPipeline::renderFirstFrame(const RECT& client) {
  // A paint that already waits for this thread paints the layer itself just
  // as soon, and meanwhile finds the buffer free.
  if (!backdrop_.valid() || firstLayer_ == 0 || paintWaits_) return;
  buffer_.reset();
  bufferSize_ = {client.right, client.bottom};
  buffer_.reset(createPaintBitmap(nullptr, client.right, client.bottom));
  ScopedMemoryDc target(buffer_.valid() ? CreateCompatibleDC(nullptr) : nullptr);
  if (!target.valid()) return;
  ScopedSelect selected(target, buffer_);
  if (copyBitmap(target, backdrop_, client)) {
    source_.paintFirstLayer(target, firstLayer_);
    bufferHoldsFirstLayer_ = true;
  }
}

// Once only: whether the back buffer holds the first frame, still true to
// the window's DPI and page (backBuffer forgets it when the size changes).
bool PaintPipeline::takeFirstFrame(UINT dpi, int firstLayer) {
  const bool holds = bufferHoldsFirstLayer_;
  bufferHoldsFirstLayer_ = false;
  return holds && firstLayer_ == firstLayer && backdropDpi_ == dpi;
}

// After the thread was joined; the layer the backdrop holds (0: none).
int PaintPipeline::copyBackdrop(HDC target, const RECT& client, UINT dpi, int firstLayer) {
  if (takeFirstFrame(dpi, firstLayer)) return firstLayer_;
  if (!backdrop_.valid() || backdropSize_.cx != client.right ||
      backdropSize_.cy != client.bottom || backdropDpi_ != dpi) {
    renderBackdrop(client, dpi);
  }
  // Without memory for a cache, or a DC to copy it from, painted every time.
  if (!backdrop_.valid() || !copyBitmap(target, backdrop_, client)) {
    source_.paintBackdrop(target, client);
  }
  return 0;
}

}  // namespace gui
