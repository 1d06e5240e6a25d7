#pragma once
// The database client.
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvdbsettings.h"
