#include "device/getdxver.h"

unsigned GetDXVersion() { return 0x800; }
