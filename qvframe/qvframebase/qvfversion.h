#pragma once
// The product version the module reports to the frame.
#include "qvtypes.h"

// Major, minor, release and build number; TRUE when all four were written.
BOOL QvFGetProductVersion(WORD* pwMajor, WORD* pwMinor, WORD* pwRelease, WORD* pwBuild);
