#include "ui/attribute_values.h"

#include <algorithm>
#include <cstdlib>

namespace pinvale::ui {
namespace {

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() &&
         (s.front() == u' ' || s.front() == u'\t' || s.front() == u'\r' || s.front() == u'\n')) {
    s.remove_prefix(1);
  }
  while (!s.empty() &&
         (s.back() == u' ' || s.back() == u'\t' || s.back() == u'\r' || s.back() == u'\n')) {
    s.remove_suffix(1);
  }
  return s;
}

// Reads a signed decimal at `pos`, skipping blanks; advances past it and one comma.
long NextNumber(std::u16string_view s, size_t& pos) {
  while (pos < s.size() && (s[pos] == u' ' || s[pos] == u'\t')) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == u'-' || s[pos] == u'+')) {
    negative = s[pos] == u'-';
    ++pos;
  }
  long value = 0;
  while (pos < s.size() && s[pos] >= u'0' && s[pos] <= u'9') {
    if (value < 100000000) value = value * 10 + (s[pos] - u'0');
    ++pos;
  }
  while (pos < s.size() && s[pos] != u',') ++pos;
  if (pos < s.size()) ++pos;
  return negative ? -value : value;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

std::optional<DWORD> ParseColor(std::u16string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == u'#') text.remove_prefix(1);
  if (text.size() != 8 && text.size() != 6) return std::nullopt;
  DWORD value = 0;
  for (char16_t c : text) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = (value << 4) | static_cast<DWORD>(d);
  }
  if (text.size() == 6) value |= 0xFF000000u;
  return value;
}

RECT ParseRect(std::u16string_view text) {
  size_t pos = 0;
  RECT r;
  r.left = NextNumber(text, pos);
  r.top = NextNumber(text, pos);
  r.right = NextNumber(text, pos);
  r.bottom = NextNumber(text, pos);
  return r;
}

SIZE ParseSize(std::u16string_view text) {
  size_t pos = 0;
  SIZE s;
  s.cx = NextNumber(text, pos);
  s.cy = NextNumber(text, pos);
  return s;
}

int ParseInt(std::u16string_view text) {
  size_t pos = 0;
  return static_cast<int>(NextNumber(text, pos));
}

bool ParseBool(std::u16string_view text) {
  text = Trim(text);
  if (text.size() != 4) return false;
  const char16_t* word = u"true";
  for (size_t i = 0; i < 4; ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != word[i]) return false;
  }
  return true;
}

std::vector<ImageDescriptor> ParseImageDescriptor(std::u16string_view value) {
  std::vector<ImageDescriptor> images;
  const std::u16string_view trimmed = Trim(value);
  if (trimmed.empty()) return images;

  // The file name starts as the whole value, so a bare name works.
  ImageDescriptor current;
  current.file = std::u16string(trimmed);
  bool sawFileKey = false;

  size_t pos = 0;
  const std::u16string_view s = value;
  while (pos < s.size()) {
    while (pos < s.size() && (s[pos] == u' ' || s[pos] == u'\t')) ++pos;
    const size_t keyStart = pos;
    while (pos < s.size() && s[pos] != u'=' && s[pos] != u' ' && s[pos] != u'\t') ++pos;
    const std::u16string_view key = s.substr(keyStart, pos - keyStart);
    while (pos < s.size() && (s[pos] == u' ' || s[pos] == u'\t')) ++pos;
    if (pos >= s.size() || s[pos] != u'=') break;  // not a key='value' list
    ++pos;
    while (pos < s.size() && (s[pos] == u' ' || s[pos] == u'\t')) ++pos;
    if (pos >= s.size() || s[pos] != u'\'') break;
    ++pos;
    const size_t valueStart = pos;
    while (pos < s.size() && s[pos] != u'\'') ++pos;
    if (pos >= s.size()) break;  // unterminated value
    const std::u16string_view v = s.substr(valueStart, pos - valueStart);
    ++pos;

    if (key == u"file" || key == u"res") {
      // A further file draws what was described so far first.
      if (sawFileKey) {
        images.push_back(current);
        current = ImageDescriptor{};
      }
      sawFileKey = true;
      current.file = std::u16string(v);
    } else if (key == u"source") {
      current.source = ParseRect(v);
    } else if (key == u"corner") {
      current.corner = ParseRect(v);
    } else if (key == u"mask") {
      current.mask = ParseColor(v);
    } else if (key == u"dest") {
      current.dest = ParseRect(v);
    } else if (key == u"fade") {
      current.fade = std::clamp(ParseInt(v), 0, 255);
    } else if (key == u"hole") {
      current.hole = ParseBool(v);
    } else if (key == u"xtiled") {
      current.xtiled = ParseBool(v);
    } else if (key == u"ytiled") {
      current.ytiled = ParseBool(v);
    }
  }
  if (!current.file.empty()) images.push_back(std::move(current));
  return images;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

bool IsEmpty(const RECT& r) {
  return r.right <= r.left || r.bottom <= r.top;
}

}  // namespace pinvale::ui
