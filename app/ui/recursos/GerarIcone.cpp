// Writes the agent's icon as a PNG: tolvex-gerar-icone <file> [side]. Used
// by the build for the desktop entry's icon.
#include <cstdio>
#include <cstdlib>

#include "ui/Icone.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <file.png> [side]\n", argv[0]);
    return 2;
  }
  const int lado = argc > 2 ? std::atoi(argv[2]) : 64;
  if (lado < 16 || lado > 1024 || !app::ui::ImagemIconeAgente(lado).save(argv[1], "PNG")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
