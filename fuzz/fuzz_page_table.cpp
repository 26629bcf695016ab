#include "FuzzTarget.h"

VELMORA_FUZZ_TARGET(velmora::fuzz::checkPageTable)
