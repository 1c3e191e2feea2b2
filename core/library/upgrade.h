// core/library/upgrade.h: the firmware upgrade from a package on the
// internal card. Not built yet.
#pragma once

// Looks for a package after USB mass-storage mode ends. Returns 0.
int UpGrage(int code);
