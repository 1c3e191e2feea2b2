// The process entry: the board first (its options, its file system), then
// the application.
#include "board/board.h"
#include "core/runtime/app.h"

#include <cstdio>

int main(int argc, char **argv) {
  // Console lines are read by people and programs as they come.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (BoardInit(argc, argv) != 0) return 2;
  int rc = AppMain();
  BoardDeInit();
  return rc;
}
