#pragma once
// The suite's common library, without windows.
#include "qvcomserver.h"
#include "qvcrackvariant.h"
#include "qvcurrency.h"
#include "qvdatetime.h"
#include "qvguid.h"
#include "qvhrtrace.h"
#include "qvperfmeter.h"
#include "qvregvalue.h"
#include "qvsysinfo.h"
