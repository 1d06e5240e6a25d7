#pragma once
// The ADO-shaped database layer: connection, recordset and error collection on SQLite or, for a
// "postgresql://" connection string, on PostgreSQL, running the system's T-SQL through the
// translator.
#include "adoclass.h"
#include "adoint.h"
#include "adoptr.h"
