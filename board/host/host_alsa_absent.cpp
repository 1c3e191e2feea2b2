// A host build without ALSA: --audio alsa plays into the null outlet.
#include "board/host/host_outlet.h"

const HostOutlet *HostAlsaOutlet(void) { return nullptr; }
