// The floor with text: the window of floor_window plus one line of text, its font
// found through fontconfig and drawn with SDL_ttf, as any program with text must.

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <string>

namespace {

std::string MatchFontFile(const char* family) {
  std::string path;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
      path = reinterpret_cast<const char*>(file);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return path;
}

}  // namespace

int main(int, char**) {
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0 || TTF_Init() != 0 || !FcInit()) return 1;
  SDL_Window* window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        450, 450, SDL_WINDOW_BORDERLESS);
  if (!window) return 1;
  const std::string file = MatchFontFile("sans-serif");
  TTF_Font* font = TTF_OpenFont(file.c_str(), 14);
  if (!font) return 1;
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 255, 255));
  SDL_Rect band{0, 0, 450, 36};
  SDL_FillRect(surface, &band, SDL_MapRGB(surface->format, 0x01, 0x68, 0xB7));
  SDL_Surface* text = TTF_RenderUTF8_Blended(font, "Device NOT Inserted", SDL_Color{0, 0, 0, 255});
  SDL_Rect at{20, 60, 0, 0};
  if (text) SDL_BlitSurface(text, nullptr, surface, &at);
  SDL_UpdateWindowSurface(window);
  SDL_FreeSurface(text);
  SDL_Event event;
  while (SDL_WaitEvent(&event) && event.type != SDL_QUIT) {
  }
  TTF_CloseFont(font);
  SDL_DestroyWindow(window);
  TTF_Quit();
  SDL_Quit();
  return 0;
}
