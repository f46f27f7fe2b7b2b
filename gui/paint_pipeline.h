// How a surface paints fast: through a back buffer kept for the window's
// size, over a backdrop kept for its size and DPI, the first one of which
// (with the first layer of the page the window opens on) is painted on a
// thread of its own while the window is being made.
//
// Threading: the thread runs from start() to finish(), and finish() is where
// it is joined (the destructor too). Meanwhile it alone touches the
// pipeline's bitmaps, and it calls the source's paintBackdrop and
// paintFirstLayer, which may read the DPI and nothing else that changes. The
// window's thread calls finish() before it changes the DPI, lets go of the
// theme, or paints (paint() does); everything else runs on that thread.
#pragma once

#include <windows.h>

#include <atomic>

#include "base/thread.h"
#include "gui/scoped_gdi.h"

namespace gui {

// What is painted through the pipeline.
class PaintSource {
 public:
  // What depends on the client size and DPI alone; may run on the thread.
  virtual void paintBackdrop(HDC dc, const RECT& clientRect) = 0;
  // The first paint's layer `layer` on the backdrop; may run on the thread.
  virtual void paintFirstLayer(HDC dc, int layer) = 0;
  // The rest of a paint, on the window's thread, over a backdrop that holds
  // `layerOnBackdrop` already (0: none).
  virtual void paintOver(HDC dc, const RECT& clientRect, int layerOnBackdrop) = 0;

 protected:
  ~PaintSource() = default;
};

class PaintPipeline {
 public:
  explicit PaintPipeline(PaintSource& source) : source_(source) {}
  ~PaintPipeline() { finish(); }
  PaintPipeline(const PaintPipeline&) = delete;
  PaintPipeline& operator=(const PaintPipeline&) = delete;

  // Paints the first backdrop for `client` at `dpi` on the thread, and then
  // `firstLayer` (0: none) on it into the back buffer the first paint finds.
  void start(const RECT& client, UINT dpi, int firstLayer);
  // Joins the thread, if one runs.
  void finish();
  // WM_PAINT's work into `screen`: the backdrop (or the first frame, while
  // it is still true to `dpi` and `firstLayer`), the source's paintOver on
  // it in the back buffer, then the buffer onto the screen.
  // `client` is the whole content; the screen shows it from row `scrollY`.
  void paint(HDC screen, const RECT& client, UINT dpi, int firstLayer, int scrollY = 0);

 private:
  void run();
  HBITMAP backBuffer(HDC screen, const RECT& client);
  void renderBackdrop(const RECT& client, UINT dpi);
  void renderFirstFrame(const RECT& client);
  bool takeFirstFrame(UINT dpi, int firstLayer);
  int copyBackdrop(HDC target, const RECT& client, UINT dpi, int firstLayer);

  PaintSource& source_;
  ScopedBitmap buffer_;  // the back buffer of WM_PAINT, for bufferSize_
  SIZE bufferSize_ = {};
  bool bufferHoldsFirstLayer_ = false;
  ScopedBitmap backdrop_;  // paintBackdrop's picture for backdropSize_ at backdropDpi_
  SIZE backdropSize_ = {};
  UINT backdropDpi_ = 0;
  JoinableThread thread_;  // the thread painting the first backdrop
  RECT threadClient_ = {};
  UINT threadDpi_ = 0;
  int firstLayer_ = 0;                   // what that thread paints into buffer_ after it
  std::atomic<bool> paintWaits_{false};  // the first paint waits for that thread
};

}  // namespace gui
