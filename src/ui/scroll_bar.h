#pragma once

// The geometry of a vertical scroll bar: how far the content is scrolled, where the thumb
// stands on the track, and what a drag of the thumb or a press on the track does. Everything
// is in units; the owner draws it and feeds it the mouse.

#include "ui/win_types.h"

namespace pinvale::ui {

class VerticalScrollBar {
 public:
  // The thumb never shrinks below this, so that it stays easy to grab in a long list.
  static constexpr int kMinThumbHeight = 16;

  // The track's place, the content's full height and the height of the part shown.
  void SetGeometry(const RECT& track, int contentHeight, int viewHeight);
  const RECT& Track() const { return m_track; }
  int ContentHeight() const { return m_content; }
  int ViewHeight() const { return m_view; }
  // Shown only when the content does not fit.
  bool IsNeeded() const { return m_content > m_view && m_view > 0; }

  int Offset() const { return m_offset; }
  int MaxOffset() const;
  // Clamped to 0..MaxOffset; true when the offset changed.
  bool SetOffset(int offset);
  bool ScrollBy(int delta) { return SetOffset(m_offset + delta); }

  RECT Thumb() const;

  // A press at y on the track: on the thumb it starts a drag (true); above or below it the
  // content moves by one view (and false).
  bool Press(int y);
  // While dragging: the pointer at y moves the thumb by as much as it moved.
  bool DragTo(int y);
  void EndDrag() { m_dragging = false; }
  bool IsDragging() const { return m_dragging; }

 private:
  RECT m_track{};
  int m_content = 0;
  int m_view = 0;
  int m_offset = 0;
  bool m_dragging = false;
  int m_dragStartY = 0;
  int m_dragStartOffset = 0;
};

}  // namespace pinvale::ui
