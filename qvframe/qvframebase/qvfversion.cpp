#include "qvfversion.h"

BOOL QvFGetProductVersion(WORD* pwMajor, WORD* pwMinor, WORD* pwRelease, WORD* pwBuild) {
    if (!pwMajor || !pwMinor || !pwRelease || !pwBuild) return FALSE;
    *pwMajor = 1;
    *pwMinor = 0;
    *pwRelease = 0;
    *pwBuild = 0;
    return TRUE;
}
