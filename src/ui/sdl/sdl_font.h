#pragma once

// Fonts through fontconfig and SDL_ttf. A family name is matched with language zh-cn, so a
// Windows face such as "微软雅黑" resolves to an installed CJK face; characters the chosen
// face lacks are drawn with the next face of fontconfig's sorted list that has them.
// Size N means N pixels of character height (SDL_ttf at 72 dpi: points are pixels).

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/render.h"

namespace pinvale::ui::sdl {

class SurfaceTarget;

struct FaceFile {
  std::string path;
  int index = 0;  // face index inside a .ttc collection
  bool syntheticBold = false;
  bool syntheticItalic = false;
};

// The faces fontconfig proposes for a spec, best first, each with its character set.
struct FaceCandidates;

class SdlFont : public IFont {
 public:
  // nullptr when no face can be opened.
  static std::unique_ptr<SdlFont> Open(const FontSpec& spec);
  ~SdlFont() override;

  int Height() const override;
  SIZE Measure(std::u16string_view text) const override;
  void Draw(SurfaceTarget& target, int x, int y, std::u16string_view text, DWORD argb) const;

  // The file and face index of the primary face (tests and diagnostics).
  const FaceFile& PrimaryFace() const;

 private:
  struct Face;
  // A stretch of the text that one face draws.
  struct Segment {
    std::u16string_view text;
    size_t face;
  };
  SdlFont() = default;
  // Calls visit with each stretch of text, in order, cut where the face that can draw the
  // characters changes.
  template <typename Visit>
  void ForEachSegment(std::u16string_view text, Visit&& visit) const;
  size_t FaceFor(char32_t c) const;
  int Advance(const Segment& segment, int limit = 0, size_t* before = nullptr) const;
  Face* OpenFace(size_t candidate) const;

  FontSpec m_spec;
  std::unique_ptr<FaceCandidates> m_candidates;
  mutable std::vector<std::unique_ptr<Face>> m_faces;  // by candidate index, opened lazily
};

}  // namespace pinvale::ui::sdl
