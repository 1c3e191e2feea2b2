// The upgrade check, doing nothing until it is built.
#include "core/library/upgrade.h"

int UpGrage(int code) { return 0; }
