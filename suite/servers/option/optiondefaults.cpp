#include "optiondefaults.h"
#include "oleauto.h"
#include "textcase.h"


namespace {

#define NUMBER(area, name, value) {area, L##name, VT_I4, value, L""}
#define TEXT(area, name, value) {area, L##name, VT_BSTR, 0, L##value}

const QvOptionDefault kDefaults[] = {
    // General
    NUMBER(-1000, "ApplyMandantFilterOnAddItems", 1),
    NUMBER(-1000, "RestoreLastID", 1),
    NUMBER(-1000, "RestoreLastTab", 1),
    NUMBER(-1000, "ConfirmSave", 1),
    NUMBER(-1000, "LockUpdateIntervall", 60),   // seconds between two looks at a record's lock
    NUMBER(-1000, "ColorFemale", 0),            // black until someone picks a colour
    // Budget: rounding to 5 hundredths of the currency.
    NUMBER(-1020, "RoundBudget", 5),
    // Colours
    NUMBER(-1030, "ColorForeign", 0xFF0000),
    // Course module
    NUMBER(-1060, "EntCheckKursPrecondition", 1),
    NUMBER(-1060, "EntNotificationMultilanguage", 0),
    NUMBER(-1060, "EntSendEMailNotificationToLeiter", 0),
    NUMBER(-1060, "ShowLinkedPersonEntries", 1),
    NUMBER(-1060, "AutoOpenAutoClose", 0),
    NUMBER(-1060, "AutoOpenMode", 0),
    NUMBER(-1060, "AutoOpenAfterPublish", 28),  // days after the publication
    NUMBER(-1060, "AutoCloseBeforInstanz", 6),  // days before the first day of the run
    NUMBER(-1060, "FillLevelInterval", 5),      // minutes
    NUMBER(-1060, "FillLevelPercentWarning", 90),
    TEXT(-1060, "PublishDate", ""),
    TEXT(-1060, "OnlineKursanmeldungASPX", ""),
    TEXT(-1060, "NotificationSubject", ""),
    // Status lists of the agenda and of the activities: the state flags do not apply.
    NUMBER(-1070, "StatusEnabled", 0),
    NUMBER(-1080, "StatusEnabled", 0),
    // Articles
    NUMBER(-2020, "ShowJournalWithArtikel", 0),
    // Record locks
    NUMBER(-3010, "LockRecordRetries", 3),
    NUMBER(-3010, "LockRecordTimeout", 500),  // milliseconds between two tries
    // List and search filters
    NUMBER(-4000, "RestoreLastSearchtext", 1),
    NUMBER(-4000, "PersonActive", 1),
    NUMBER(-4000, "ArtikelActive", 1),
    NUMBER(-4000, "DeviceInUse", 0),
    NUMBER(-4000, "KursActive", 0),
    NUMBER(-4000, "AreaActive", 0),
    NUMBER(-4000, "MaxSearchResults", 500),
    NUMBER(-4000, "PersonOrganisationSort1", 0),
    NUMBER(-4000, "AlarmOrganisationSort1", 0),
    NUMBER(-4000, "PersonKursSort1", 0),
    NUMBER(-4000, "PersonKursSort2", 0),
    TEXT(-4000, "ActivityState", ""),
    TEXT(-4000, "AgendaStatus", ""),
    TEXT(-4000, "KursTyp", ""),
    TEXT(-4000, "ActivityDate", ""),
    TEXT(-4000, "AgendaDate", ""),
    TEXT(-4000, "AbrechnungDate", ""),
    TEXT(-4000, "ArbeitsplanDate", ""),
    TEXT(-4000, "KursInstanzDate", ""),
};

#undef NUMBER
#undef TEXT

}  // namespace

const QvOptionDefault* QvFindOptionDefault(long lArea, LPCWSTR lpszName) {
    if (!lpszName) return nullptr;
    for (const QvOptionDefault& d : kDefaults) {
        if (d.lArea == lArea && qv::CompareNoCase(d.lpszName, lpszName) == 0) return &d;
    }
    return nullptr;
}
