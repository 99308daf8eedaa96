#pragma once

// Drawing helpers above the render seam: frames and images with source, nine-grid corners
// and destination rectangles.

#include "ui/attribute_values.h"
#include "ui/render.h"

namespace pinvale::ui {

class CPaintManagerUI;

// A border of `size` pixels inside `rect`.
void DrawFrame(IRenderTarget& target, const RECT& rect, int size, DWORD argb);

// Draws one image descriptor into a control rectangle: `dest` is relative to the control's
// top left and cut to it; `corner` margins keep their size while the middle stretches.
bool DrawImageDescriptor(IRenderTarget& target, CPaintManagerUI& manager, const RECT& control,
                         const ImageDescriptor& image);

// The destination and source rectangles an image descriptor resolves to (tests look at these).
struct ResolvedImage {
  RECT dest{};
  RECT source{};
};
ResolvedImage ResolveImage(const RECT& control, const ImageDescriptor& image, int imageWidth,
                           int imageHeight);

}  // namespace pinvale::ui
