#pragma once
// Resource ids of the strings of the course API's operations on runs and courses, kept in the
// module's string table beside those of kursresource.h.

// The choice offered when a participant leaves a run in a local installation
#define IDS_REMOVE_STATEMENT 155
#define IDS_REMOVE_DEREGISTER 156
#define IDS_REMOVE_DELETE 157
#define IDS_REMOVE_TITLE 158
#define IDS_REMOVE_NOTE 159

// The name prefix of a copied run
#define IDS_COPY_PREFIX 10030

// A booking that was saved, whose log entry could not be written
#define IDS_BOOKING_LOG_FAILED 10031

// A registration that another user (or an earlier try whose outcome was unknown) removed meanwhile
#define IDS_REGISTRATION_GONE 10040
// A registration that another user moved to another run or changed meanwhile
#define IDS_REGISTRATION_CHANGED 10041
// What is stored could not be read after a change was sent to the central installation
#define IDS_ONLINE_MAY_DIFFER 10142
