#pragma once
// The sample module of the dialog framework's tests: a view on the courses with two pages, built
// and registered as a real module is. The page "Daten" edits a course's name; the page "Notizen" is
// taller than the tab area and is offered only to users with a right on its function.
#include "guid.h"

namespace sample {

inline constexpr CLSID CLSID_SampleView = qv::MakeGuid("6E2B9C41-0A7D-4E5F-8B13-2C9D4A6F7E01");
inline constexpr CLSID CLSID_SamplePageData = qv::MakeGuid("6E2B9C41-0A7D-4E5F-8B13-2C9D4A6F7E02");
inline constexpr CLSID CLSID_SamplePageNotes = qv::MakeGuid("6E2B9C41-0A7D-4E5F-8B13-2C9D4A6F7E03");
inline constexpr GUID GUID_SampleViewFunction = qv::MakeGuid("6E2B9C41-0A7D-4E5F-8B13-2C9D4A6F7E10");
inline constexpr GUID GUID_SampleNotesFunction = qv::MakeGuid("6E2B9C41-0A7D-4E5F-8B13-2C9D4A6F7E11");

#define SAMPLE_VIEW_PROGID L"Qovaro.Test.SampleView"
#define SAMPLE_PAGE_DATA_PROGID L"Qovaro.Test.Tab.Daten"
#define SAMPLE_PAGE_NOTES_PROGID L"Qovaro.Test.Tab.Notizen"
#define SAMPLE_VIEW_KEY L"Software\\Qovaro\\NQ2\\SampleView"

enum : unsigned {
    IDD_SAMPLE_DATA = 3100,
    IDD_SAMPLE_NOTES = 3101,
    IDC_SAMPLE_NAME = 3110,
    IDC_SAMPLE_SHORT = 3111,
    IDC_SAMPLE_NOTE_FIRST = 3120,  // 3120 .. 3129: the note fields, one under the other
    IDS_SAMPLE_CAPTION = 3150,
    IDS_SAMPLE_TAB_DATA = 3151,
    IDS_SAMPLE_TAB_NOTES = 3152,
};

// The height of the notes page's content in 1/96 inch.
inline constexpr int kNotesContentHeight = 900;

}  // namespace sample
