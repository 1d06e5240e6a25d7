#pragma once
// How the rights refresh learns that the course dialog it works for is closing. The course window
// installs the question when its dialog exists; without it a dialog never counts as closing.
#include "vrqkurs.h"

using PFN_KURSDLGISCLOSING = BOOL (*)(CKursDlg* pDlg);

// nullptr removes the question.
KURS_API void KursSetDlgIsClosing(PFN_KURSDLGISCLOSING pfnIsClosing);
