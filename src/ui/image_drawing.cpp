#include "ui/image_drawing.h"

#include <algorithm>

#include "ui/paint_manager.h"

namespace pinvale::ui {

void DrawFrame(IRenderTarget& target, const RECT& r, int size, DWORD argb) {
  target.DrawFrame(r, size, argb);
}

ResolvedImage ResolveImage(const RECT& control, const ImageDescriptor& image, int imageWidth,
                           int imageHeight) {
  ResolvedImage out;
  out.source = image.source.value_or(RECT{0, 0, imageWidth, imageHeight});
  out.source = Intersect(out.source, RECT{0, 0, imageWidth, imageHeight});
  out.dest = control;
  if (image.dest) {
    const RECT d{control.left + image.dest->left, control.top + image.dest->top,
                 control.left + image.dest->right, control.top + image.dest->bottom};
    out.dest = Intersect(d, control);
  }
  return out;
}

bool DrawImageDescriptor(IRenderTarget& target, CPaintManagerUI& manager, const RECT& control,
                         const ImageDescriptor& image) {
  std::shared_ptr<IImage> bitmap = manager.GetImage(image.file, image.mask);
  if (!bitmap) return false;
  const ResolvedImage r = ResolveImage(control, image, bitmap->Width(), bitmap->Height());
  if (IsEmpty(r.dest) || IsEmpty(r.source)) return false;

  const RECT& c = image.corner;
  const RECT& s = r.source;
  const RECT& d = r.dest;
  if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
    target.DrawImage(*bitmap, s, d, image.fade);
    return true;
  }
  // Nine cells: the corners keep their size, the edges stretch along one axis, the middle both.
  const long sx[4] = {s.left, s.left + c.left, s.right - c.right, s.right};
  const long sy[4] = {s.top, s.top + c.top, s.bottom - c.bottom, s.bottom};
  const long dx[4] = {d.left, d.left + c.left, d.right - c.right, d.right};
  const long dy[4] = {d.top, d.top + c.top, d.bottom - c.bottom, d.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      if (image.hole && row == 1 && col == 1) continue;
      const RECT src{sx[col], sy[row], sx[col + 1], sy[row + 1]};
      const RECT dst{dx[col], dy[row], dx[col + 1], dy[row + 1]};
      if (IsEmpty(src) || IsEmpty(dst)) continue;
      target.DrawImage(*bitmap, src, dst, image.fade);
    }
  }
  return true;
}

}  // namespace pinvale::ui
