#pragma once
// Everything of the base layer: types and result codes, GUIDs, UTF-8, CString and formatting,
// string tables, BSTR/VARIANT/COleVariant, dates, last error, debugger trace, threads and sync.
#include "qvtypes.h"
#include "guid.h"
#include "utf.h"
#include "textcase.h"
#include "qvformat.h"
#include "cstring.h"
#include "strtable.h"
#include "unknwn.h"
#include "oleauto.h"
#include "oledate.h"
#include "olevariant.h"
#include "lasterror.h"
#include "trace.h"
#include "sync.h"
#include "thread.h"
#include "afxcoll.h"
