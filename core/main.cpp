// The process entry: the board first (its options, its file system), then
// the application.
#include "board/board.h"
#include "core/app.h"

int main(int argc, char **argv) {
  if (BoardInit(argc, argv) != 0) return 2;
  int rc = AppMain();
  BoardDeInit();
  return rc;
}
