#pragma once
// Shows the precondition rules of a course to the user, read-only, and returns when the user
// closed them. The course window's precondition dialog does it.
void ShowKursPreconditionRules(long lKursID);
