#pragma once
// The suite's help server: help topics are text files of the installation; showing a topic opens
// its file in the desktop's browser.
#include "qvcom.h"
#include "oleauto.h"

struct IQvHelpServer : IUnknown {
    // Opens the help of a topic. HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for an unknown topic.
    virtual HRESULT ShowHelp(BSTR topic) = 0;
    // The file that holds a topic; S_FALSE and an empty text for an unknown topic.
    virtual HRESULT GetHelpFile(BSTR topic, BSTR* file) = 0;
    // The files that were to be shown while no display was present, oldest first: S_FALSE and an
    // empty text past the end.
    virtual HRESULT GetRecordedHelp(long index, BSTR* file) = 0;
    // A short text for a help id (key 1), or when that has no topic, for key 2 used as a topic:
    // the first paragraph of the topic. S_FALSE and an empty text when neither has one.
    virtual HRESULT GetHelpText(BSTR key1, BSTR key2, BSTR* text) = 0;
};

inline constexpr IID IID_IQvHelpServer = qv::MakeGuid("BEF0E670-0859-45CD-B0AF-4390E237B3CB");
inline constexpr CLSID CLSID_QvHelpServer = qv::MakeGuid("536687F9-1515-47FE-9454-22A2FA037A09");
#define QV_HELPSERVER_PROGID L"Qovaro.QvHelpServer"
