// The floor for a first frame: the least an SDL2 program does to show a 450x450
// software-drawn window (a white face and a coloured band, so the frame can be told
// from an empty window). It then waits until it is closed or killed.

#include <SDL.h>

int main(int, char**) {
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_Window* window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        450, 450, SDL_WINDOW_BORDERLESS);
  if (!window) return 1;
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 255, 255));
  SDL_Rect band{0, 0, 450, 36};
  SDL_FillRect(surface, &band, SDL_MapRGB(surface->format, 0x01, 0x68, 0xB7));
  SDL_UpdateWindowSurface(window);
  SDL_Event event;
  while (SDL_WaitEvent(&event) && event.type != SDL_QUIT) {
  }
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
