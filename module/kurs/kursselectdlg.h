#pragma once
// The course window's choice of its current course and run: the record search's popup over the
// courses with their runs. KursSelect is the one call the course window makes.
#include "qvui.h"

// Lets the user choose a course, or a run of it, in the course search; TRUE when one was chosen
// (the ids then changed; the run is 0 when a course row without a run was chosen).
BOOL KursSelect(CWnd* pParent, long& lKursID, long& lKursinstanzID);
