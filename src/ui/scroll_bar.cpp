#include "ui/scroll_bar.h"

#include <algorithm>
#include <cstdint>

#include "ui/attribute_values.h"

namespace pinvale::ui {

void VerticalScrollBar::SetGeometry(const RECT& track, int contentHeight, int viewHeight) {
  m_track = track;
  m_content = std::max(0, contentHeight);
  m_view = std::max(0, viewHeight);
  SetOffset(m_offset);  // a list that got shorter, or a window taller, shows its end
}

int VerticalScrollBar::MaxOffset() const {
  return std::max(0, m_content - m_view);
}

bool VerticalScrollBar::SetOffset(int offset) {
  const int clamped = std::clamp(offset, 0, MaxOffset());
  if (clamped == m_offset) return false;
  m_offset = clamped;
  return true;
}

RECT VerticalScrollBar::Thumb() const {
  if (!IsNeeded()) return RECT{};
  const long track = Height(m_track);
  long thumb = static_cast<long>(static_cast<std::int64_t>(track) * m_view / m_content);
  thumb = std::min(track, std::max<long>(thumb, kMinThumbHeight));
  const long travel = track - thumb;
  const long top =
      MaxOffset() > 0
          ? static_cast<long>(static_cast<std::int64_t>(travel) * m_offset / MaxOffset())
          : 0;
  return RECT{m_track.left, m_track.top + top, m_track.right, m_track.top + top + thumb};
}

bool VerticalScrollBar::Press(int y) {
  const RECT thumb = Thumb();
  if (y >= thumb.top && y < thumb.bottom) {
    m_dragging = true;
    m_dragStartY = y;
    m_dragStartOffset = m_offset;
    return true;
  }
  ScrollBy(y < thumb.top ? -m_view : m_view);
  return false;
}

bool VerticalScrollBar::DragTo(int y) {
  if (!m_dragging) return false;
  const RECT thumb = Thumb();
  const long travel = Height(m_track) - Height(thumb);
  if (travel <= 0) return false;
  // Rounded to the nearest offset, so that a drag back to the start gives the start again.
  const std::int64_t moved = static_cast<std::int64_t>(y - m_dragStartY) * MaxOffset();
  const std::int64_t delta = (moved >= 0 ? moved + travel / 2 : moved - travel / 2) / travel;
  return SetOffset(m_dragStartOffset + static_cast<int>(delta));
}

}  // namespace pinvale::ui
