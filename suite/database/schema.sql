-- The suite's database on SQLite.
--
-- Conventions of every table:
--   l...  INTEGER; keys are l<Table>ID INTEGER PRIMARY KEY, drawn from sp_GetUniqueID by the writers.
--   str.. TEXT COLLATE QVCI (case-insensitive like the server), never NULL: the searches concatenate
--         columns, and one NULL would make the whole record unfindable. A NULL written by a statement
--         becomes the column's default (NOT NULL ON CONFLICT REPLACE).
--   f...  INTEGER 0/1.   dbl.. REAL.   cur.. MONEY (a real; read as currency).   img.. BLOB.
--   dt..  DATETIME (text) 'YYYY-MM-DD HH:MM:SS' in local time; the empty date is '1899-12-30 00:00:00'.
--   guid  TEXT, upper case without braces, COLLATE NOCASE; a new GUID when not given (or given NULL).
-- dtTimestamp is renewed by a trigger on every UPDATE of its row, also by "SET x = x"; a statement
-- that sets dtTimestamp itself keeps its value. The triggers rely on recursive triggers being off
-- (SQLite's default) but stop by themselves when they are on.
-- The connection must have the collation QVCI (the T-SQL runtime) before this script runs.

-- ---------------------------------------------------------------------------------------------
-- One-row tables
-- ---------------------------------------------------------------------------------------------

-- Read as "SELECT TOP 2 @@TRANCOUNT MyValue FROM System": exactly one row, always.
CREATE TABLE System (
    lSystemID       INTEGER PRIMARY KEY CHECK (lSystemID = 1),
    lSchemaVersion  INTEGER NOT NULL
);
CREATE TRIGGER System_KeepRow BEFORE DELETE ON System
BEGIN
    SELECT RAISE(ABORT, 'Die Tabelle System muss genau eine Zeile enthalten.');
END;

-- The settings of the data exchange; read and written without WHERE.
CREATE TABLE DataExchange (
    lDataExchangeID              INTEGER PRIMARY KEY CHECK (lDataExchangeID = 1),
    fOnlineKursEnabled           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strOnlineKursURL             TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lDefaultPersonKursStatus     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fSwitchPersonAllowed         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fAutoAssignToInstanzAllowed  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE TRIGGER DataExchange_KeepRow BEFORE DELETE ON DataExchange
BEGIN
    SELECT RAISE(ABORT, 'Die Tabelle DataExchange muss genau eine Zeile enthalten.');
END;

-- Last key handed out per table and column (sp_GetUniqueID).
CREATE TABLE UniqueIDCounter (
    strTable   TEXT NOT NULL COLLATE NOCASE,
    strColumn  TEXT NOT NULL COLLATE NOCASE,
    lLastID    INTEGER NOT NULL,
    PRIMARY KEY (strTable, strColumn)
) WITHOUT ROWID;

-- Rows deleted from tables that the data exchange exports (lTableID 23 = PersonKurs).
-- Only triggers write it, so its key is assigned by the database.
CREATE TABLE DeletedRow (
    lDeletedRowID  INTEGER PRIMARY KEY,
    lTableID       INTEGER NOT NULL,
    lID            INTEGER NOT NULL,
    guid           TEXT COLLATE NOCASE,
    dtTimestamp    DATETIME NOT NULL DEFAULT (datetime('now','localtime'))
);
CREATE INDEX DeletedRow_Table ON DeletedRow (lTableID, dtTimestamp);

-- ---------------------------------------------------------------------------------------------
-- Places, Mandanten, persons
-- ---------------------------------------------------------------------------------------------

CREATE TABLE Gemeinde (
    lGemeindeID     INTEGER PRIMARY KEY,
    guid            TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKanton       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- lTyp: the kind of place (the place combo offers kinds 1 and 2). Row 0 is the "no place" row:
-- lists join persons to view_Ort with an inner join, and a person without a place must not vanish.
CREATE TABLE Ort (
    lOrtID       INTEGER PRIMARY KEY,
    guid         TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    strPLZ       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strOrt       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strZusatz    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lGemeindeID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lTyp         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1
);
CREATE INDEX Ort_PLZ ON Ort (strPLZ);

-- strPLZOrt "8400 Winterthur"; strPLZOrtEx adds the addition: "8400 Winterthur Seen" (the canton is strKanton,
-- which the place lists show beside it).
CREATE VIEW view_Ort AS
SELECT o.lOrtID, o.guid, o.strPLZ, o.strOrt, o.strZusatz, o.lTyp, o.lGemeindeID,
       ifnull(g.strBezeichnung, '') COLLATE QVCI AS strGemeinde,
       ifnull(g.strKanton, '') COLLATE QVCI AS strKanton,
       trim(o.strPLZ || ' ' || o.strOrt) COLLATE QVCI AS strPLZOrt,
       trim(trim(o.strPLZ || ' ' || o.strOrt) || ' ' || trim(o.strZusatz)) COLLATE QVCI AS strPLZOrtEx
FROM Ort o LEFT JOIN Gemeinde g ON o.lGemeindeID = g.lGemeindeID;

-- strMandantName and strMandantTyp exist only here and in view_Mandant: the searches name them
-- without a table next to their own tables.
CREATE TABLE Mandant (
    lMandantID         INTEGER PRIMARY KEY,
    guid               TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    strMandantName     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strMandantTyp      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lOrtID             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fActive            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    fKursNotification  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    imgLogo2           BLOB,
    strLock            TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE VIEW view_Mandant AS
SELECT m.lMandantID, m.guid, m.strMandantName, m.strMandantTyp, m.lOrtID, m.fActive,
       ifnull(o.strPLZOrt, '') COLLATE QVCI AS strPLZOrt
FROM Mandant m LEFT JOIN view_Ort o ON m.lOrtID = o.lOrtID;

CREATE TABLE Grad (
    lGradID              INTEGER PRIMARY KEY,
    guid                 TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    strBezeichnung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKurzbezeichnung   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKurzbezeichnungF  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,   -- female form, '' = as male
    lRang                INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);

CREATE VIEW view_Grad AS
SELECT lGradID, guid, strBezeichnung, strKurzbezeichnung, strKurzbezeichnungF, lRang FROM Grad;

-- A person's phone, mobile, e-mail and pager entries point at Device rows (-1 = none).
-- The one-line address strAdresse1L is kept by the person administration.
CREATE TABLE Person (
    lPersonID      INTEGER PRIMARY KEY,
    guid           TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strName        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strVorname     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strPersonNr    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAdresse1L   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lOrtID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strSprache     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT 'DE' COLLATE QVCI,
    fWeiblich      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fActive        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    lCAktGradID    INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lTelefonP      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lTelefonG      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lMobilP        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lMobilG        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEMailP        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEMailG        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPager         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strFaxNr       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strWeb         TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strLock        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Person_Mandant ON Person (lMandantID);
CREATE INDEX Person_Name ON Person (strName, strVorname);

-- lAktGradRang: the rank of the person's current grade (0 without grade).
CREATE VIEW view_PersonSmall AS
SELECT p.lPersonID, p.guid, p.lMandantID, p.strName, p.strVorname,
       trim(p.strName || ' ' || p.strVorname) COLLATE QVCI AS strPerson,
       p.fActive, p.fWeiblich, p.strPersonNr, p.strAdresse1L, p.lOrtID,
       ifnull(o.strPLZOrt, '') COLLATE QVCI AS strPLZOrt, ifnull(o.strPLZOrtEx, '') COLLATE QVCI AS strPLZOrtEx,
       p.lCAktGradID, ifnull(g.lRang, 0) AS lAktGradRang,
       p.lTelefonP, p.lTelefonG, p.lMobilP, p.lMobilG, p.lEMailP, p.lEMailG, p.lPager,
       p.strFaxNr, p.strWeb, p.strSprache
FROM Person p
     LEFT JOIN view_Ort o ON p.lOrtID = o.lOrtID
     LEFT JOIN Grad g ON p.lCAktGradID = g.lGradID;

-- lTyp of a device: 6 = e-mail; the other kinds belong to the device administration.
CREATE TABLE Device (
    lDeviceID       INTEGER PRIMARY KEY,
    guid            TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPersonID       INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lTyp            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strStatus       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Device_Person ON Device (lPersonID, lTyp);

-- lTyp of a number: 0 = the number in use (the one that is called or mailed).
CREATE TABLE Devicenumber (
    lDevicenumberID  INTEGER PRIMARY KEY,
    lDeviceID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lTyp             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strNr            TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Devicenumber_Device ON Devicenumber (lDeviceID, lTyp);

CREATE VIEW view_DevicenumberCall AS
SELECT lDeviceID, strNr FROM Devicenumber WHERE lTyp = 0;

CREATE TABLE Contact (
    lContactID    INTEGER PRIMARY KEY,
    guid          TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lPersonID     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,   -- the person this contact is, -1 none
    lOrtID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strName       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strVorname    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strFirma      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAdresse1L  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBemerkung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strTelefonP   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strTelefonG   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strMobilP     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strMobilG     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strEMailP     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strEMailG     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strFax        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strWeb        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Contact_Person ON Contact (lPersonID);
-- The security user's contact, by QvSecUser.strUserID.
CREATE INDEX Contact_Guid ON Contact (guid);

CREATE TABLE Kategorie (
    lKategorieID    INTEGER PRIMARY KEY,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE ContactKategorie (
    lContactKategorieID  INTEGER PRIMARY KEY,
    lContactID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKategorieID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1
);
CREATE INDEX ContactKategorie_Contact ON ContactKategorie (lContactID);

CREATE TABLE VIP (
    lVIPID                     INTEGER PRIMARY KEY,
    strBezeichnung             TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    fKursNotificationReceiver  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);

CREATE TABLE VIPPersonMandant (
    lVIPPersonMandantID  INTEGER PRIMARY KEY,
    lVIPID               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPersonID            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lMandantID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1
);
CREATE INDEX VIPPersonMandant_Mandant ON VIPPersonMandant (lMandantID);

-- Functions (roles) that a person holds; dtEnde '1899-12-30 00:00:00' = no end.
CREATE TABLE Funktion (
    lFunktionID         INTEGER PRIMARY KEY,
    guid                TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    strBezeichnung      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKurzbezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE PersonFunktion (
    lPersonFunktionID  INTEGER PRIMARY KEY,
    lPersonID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lFunktionID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtStart            DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtEnde             DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    fActive            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    fHauptFunktion     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX PersonFunktion_Person ON PersonFunktion (lPersonID);
CREATE INDEX PersonFunktion_Funktion ON PersonFunktion (lFunktionID);

CREATE TABLE Absenzgrund (
    lAbsenzgrundID  INTEGER PRIMARY KEY,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- Includes the row -1 (no reason) so that the registration editor can offer "none".
CREATE VIEW view_Absenzgrund AS
SELECT lAbsenzgrundID, strBezeichnung FROM Absenzgrund;

-- Absences of persons (holidays, illness ...); day-based, dtEnde is the last day.
CREATE TABLE Personabsenz (
    lPersonabsenzID  INTEGER PRIMARY KEY,
    lPersonID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lAbsenzgrundID   INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtStart          DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtEnde           DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    strBemerkung     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Personabsenz_Person ON Personabsenz (lPersonID);

CREATE VIEW view_Personabsenz AS
SELECT a.lPersonabsenzID, a.lPersonID, a.lAbsenzgrundID, ifnull(g.strBezeichnung, '') COLLATE QVCI AS strBezeichnung,
       a.dtStart, a.dtEnde, a.strBemerkung
FROM Personabsenz a LEFT JOIN Absenzgrund g ON a.lAbsenzgrundID = g.lAbsenzgrundID;

-- ---------------------------------------------------------------------------------------------
-- Security
-- ---------------------------------------------------------------------------------------------

-- strUserID: the GUID text of the user's Contact row (upper case, no braces).
CREATE TABLE QvSecUser (
    lQvSecUserID  INTEGER PRIMARY KEY,
    strUserID     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE NOCASE,
    strName       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX QvSecUser_UserID ON QvSecUser (strUserID);

-- Rights of a user on the records of a Mandant, per table id.
CREATE TABLE SecMandant (
    lSecMandantID  INTEGER PRIMARY KEY,
    lMandantID     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lTableID       INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lQvSecUserID   INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lRight         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX SecMandant_Lookup ON SecMandant (lMandantID, lTableID, lQvSecUserID);

-- ---------------------------------------------------------------------------------------------
-- Labels, custom fields, documents, logs
-- ---------------------------------------------------------------------------------------------

-- lQvLanguageID: 1 German, 2 French, 3 Italian, 4 English.
CREATE TABLE QvLabel (
    lQvLabelID     INTEGER PRIMARY KEY,
    lQvLanguageID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    lFkID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strName        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strLabel       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX QvLabel_Name ON QvLabel (strName, lFkID, lQvLanguageID);

-- The labels in the system's language (German): one row per name and key, so joins do not
-- multiply the rows they label.
CREATE VIEW view_QvLabel AS
SELECT lQvLabelID, lFkID, strName, strLabel FROM QvLabel WHERE lQvLanguageID = 1;

-- lTableID: the table id of the records the field belongs to; fUsed4Search: the values take part
-- in the record search.
CREATE TABLE CustFieldType (
    lCFTypeID       INTEGER PRIMARY KEY,
    guid            TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lTableID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lOrder          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fUsed4Search    INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fPublic         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX CustFieldType_Table ON CustFieldType (lTableID);

-- lID: the record (of the type's table). Rows are copied with INSERT ... SELECT without a key,
-- so the key is assigned by the database.
CREATE TABLE CustFieldValue (
    lCustFieldValueID  INTEGER PRIMARY KEY,
    guid               TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lCFTypeID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lID                INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strValue           TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX CustFieldValue_Record ON CustFieldValue (lID, lCFTypeID);
CREATE INDEX CustFieldValue_Guid ON CustFieldValue (guid);

-- Audit trail, written by the user-log server. lGrouping ties the entries of one operation.
CREATE TABLE UserLog (
    lUserLogID    INTEGER PRIMARY KEY,
    lGrouping     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtTime        DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    lKind         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strText       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strDetail     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strModul      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lCode         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lTableID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    guidRecord    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '00000000-0000-0000-0000-000000000000' COLLATE NOCASE,
    guidParent    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '00000000-0000-0000-0000-000000000000' COLLATE NOCASE,
    lValue        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strUser       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strComputer   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX UserLog_Modul ON UserLog (strModul, lCode, dtTime);
CREATE INDEX UserLog_Grouping ON UserLog (lGrouping);
CREATE INDEX UserLog_Record ON UserLog (guidRecord);

-- Documents attached to records (lTableID, lFkID) and their files.
CREATE TABLE DocMngmt (
    lDocMngmtID  INTEGER PRIMARY KEY,
    guid         TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lTableID     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lFkID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lDocImageID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1
);
CREATE INDEX DocMngmt_Record ON DocMngmt (lTableID, lFkID);

CREATE TABLE DocImage (
    lDocImageID     INTEGER PRIMARY KEY,
    guid            TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    strFileName     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strEditPath     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    imgDocument     BLOB,
    strLock         TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- Records that exist once per installation and are linked by guidID across Mandanten.
CREATE TABLE Organisation (
    lOrganisationID  INTEGER PRIMARY KEY,
    guidID           TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID       INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBezeichnung   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE Konto (
    lKontoID        INTEGER PRIMARY KEY,
    guidID          TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- Reports of the report server by profile; strLabel is the report's display name.
CREATE TABLE QvReportServerProfile (
    lQvReportServerProfileID  INTEGER PRIMARY KEY,
    guid                      TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    strName                   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE QvReportServerReport (
    lQvReportServerReportID   INTEGER PRIMARY KEY,
    guid                      TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lQvReportServerProfileID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strReport                 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strLabel                  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strHelpID                 TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strLanguage               TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX QvReportServerReport_Profile ON QvReportServerReport (lQvReportServerProfileID);

CREATE VIEW view_QvReportServerReport AS
SELECT lQvReportServerReportID, lQvReportServerProfileID, strReport, guid, strLabel, strHelpID, strLanguage
FROM QvReportServerReport;

-- Self-test switches and results of the installation check.
CREATE TABLE QvTDDComputer (
    lQvTDDComputerID  INTEGER PRIMARY KEY,
    strComputer       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI UNIQUE,
    TDDEnabled        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);

-- Written with INSERT without a key: the database assigns it.
CREATE TABLE QvTDDLog (
    lQvTDDLogID  INTEGER PRIMARY KEY,
    dtTime       DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    strComputer  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAppID     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strServer    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strTest      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strParam     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    eType        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lResult      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strHint      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- ---------------------------------------------------------------------------------------------
-- Courses
-- ---------------------------------------------------------------------------------------------

-- lTyp: 1 federal, 2 cantonal, 3 local course. A course belongs to no Mandant: the quota editor
-- joins Kurs with MaxTeilnehmer and names MaxTeilnehmer's lMandantID without a table.
CREATE TABLE Kurs (
    lKursID             INTEGER PRIMARY KEY,
    guid                TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lTyp                INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 3,
    fActive             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    strKurzbezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBezeichnung      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBemerkung        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dblProzOverbook     REAL NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strZielpublikum     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKursziel         TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strTenu             TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strMaterial         TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    fMultiregistration  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strLock             TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dtTimestamp         DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX Kurs_Guid ON Kurs (guid);

-- A run. dtDatum is the earliest start of its dates; the empty date in dtAnmeldenVon,
-- dtAnmeldenBis and dtAbgesagt means "not set" and in dtPublish "not published yet".
-- lOrtID 0 = no place chosen; lMinInstruktor 0 = no minimum.
CREATE TABLE Kursinstanz (
    lKursinstanzID   INTEGER PRIMARY KEY,
    lKursID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    guid             TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    dtDatum          DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (date('now','localtime') || ' 00:00:00'),
    strBezeichnung   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBemerkung     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strOrt           TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAdresse       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lOrtID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strTreffpunkt    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strLeitung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dblDauer         REAL NOT NULL ON CONFLICT REPLACE DEFAULT 1.0,
    strTenu          TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strParkplatz     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strMaterial      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strZielpublikum  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKursziel      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lMaxTeilnehmer   INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lMinInstruktor   INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fGeschlossen     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    dtAnmeldenVon    DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtAnmeldenBis    DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtAbgesagt       DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtPublish        DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    strLock          TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dtTimestamp      DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX Kursinstanz_Kurs ON Kursinstanz (lKursID, dtDatum);
CREATE INDEX Kursinstanz_Guid ON Kursinstanz (guid);
-- The automatic opening of runs: the closed runs by the end of their window (the run's date when
-- it has no end), start and cancellation checked in the index before a row is read.
CREATE INDEX Kursinstanz_Closed ON Kursinstanz
    ((CASE WHEN dtAnmeldenBis = '1899-12-30 00:00:00' THEN dtDatum ELSE dtAnmeldenBis END), dtAnmeldenVon, dtAbgesagt)
    WHERE fGeschlossen = 1;
-- The automatic closing: the open runs by the end of their window. A run opened or closed moves
-- from one to the other.
CREATE INDEX Kursinstanz_Open ON Kursinstanz (dtAnmeldenBis) WHERE fGeschlossen = 0;
-- Runs published on a given day, for the daily touch of the central installation.
CREATE INDEX Kursinstanz_Publish ON Kursinstanz (dtPublish);

-- The days of a run; dtEnde NULL = no end time given.
CREATE TABLE Kursinstanzdate (
    lKursinstanzdateID  INTEGER PRIMARY KEY,
    lKursinstanzID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtStart             DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (date('now','localtime') || ' 00:00:00'),
    dtEnde              DATETIME,
    dtTimestamp         DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX Kursinstanzdate_Kursinstanz ON Kursinstanzdate (lKursinstanzID, dtStart);

-- Groups of a run (lKursinstanzID = the run, lKursID = -1) and the group template of a course
-- (lKursID = the course, lKursinstanzID = -1). A row is never both: the groups page lists a run's
-- groups by lKursinstanzID, and the template check counts rows by lKursID; run groups are inserted
-- without lKursID and get -1.
CREATE TABLE KursinstanzGruppe (
    lKursinstanzGruppeID  INTEGER PRIMARY KEY,
    lKursinstanzID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursID               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEinsatzGruppeID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBezeichnung        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lMaxTeilnehmer        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtTimestamp           DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    CHECK (lKursinstanzID = -1 OR lKursID = -1)
);
CREATE INDEX KursinstanzGruppe_Kursinstanz ON KursinstanzGruppe (lKursinstanzID);
CREATE INDEX KursinstanzGruppe_Kurs ON KursinstanzGruppe (lKursID);

-- Internal remarks: one row per run (lKursinstanzID) or per course (lKursID, lKursinstanzID -1).
CREATE TABLE Kursbemerkung (
    lKursbemerkungID    INTEGER PRIMARY KEY,
    lKursID             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursinstanzID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBemerkungIntern  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dtTimestamp         DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE UNIQUE INDEX Kursbemerkung_Kursinstanz ON Kursbemerkung (lKursinstanzID) WHERE lKursinstanzID <> -1;
CREATE UNIQUE INDEX Kursbemerkung_Kurs ON Kursbemerkung (lKursID) WHERE lKursinstanzID = -1;

-- Leadership roles that an instructor can hold in a course; the name is the function's.
CREATE TABLE Kursleitung (
    lKursleitungID  INTEGER PRIMARY KEY,
    guid            TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lFunktionID     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1
);

-- A registration (participant or instructor) of a person in a course, with or without run.
-- lKursinstanzID, lKursinstanzGruppeID, lAbsenzgrundID and lKursleitungID are -1 for "none";
-- lStatus is 0..7; changedBy is fn_GetSystemID() of the writer.
CREATE TABLE PersonKurs (
    lPersonKursID           INTEGER PRIMARY KEY,
    guid                    TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lPersonID               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursID                 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursinstanzID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursinstanzGruppeID    INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lAbsenzgrundID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursleitungID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    fTeilnehmer             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    fLeiter                 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fLinked                 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lStatus                 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtDatum                 DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    dtAnmeldung             DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    strBemerkung            TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strGrundNichtBestanden  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    fEntschuldigt           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strInstanzOrt           TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dblInstanzDauer         REAL NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strInstanzLeitung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    changedBy               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtTimestamp             DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX PersonKurs_Person ON PersonKurs (lPersonID, lKursID);
-- Most rows share the sentinel -1 in lKursinstanzID (planned) or lKursinstanzGruppeID (no group):
-- an index on such a column alone finds the many, so the lists that filter on both columns get
-- composite indexes, which also serve the first column alone.
CREATE INDEX PersonKurs_Kurs ON PersonKurs (lKursID, lKursinstanzID);
CREATE INDEX PersonKurs_Kursinstanz ON PersonKurs (lKursinstanzID, lKursinstanzGruppeID);
CREATE INDEX PersonKurs_Gruppe ON PersonKurs (lKursinstanzGruppeID);
-- The export check walks the rows changed since the last export and wants those of a run in a
-- federal or cantonal course: the index answers without reading the rows.
CREATE INDEX PersonKurs_Timestamp ON PersonKurs (dtTimestamp, lKursinstanzID, lKursID);

-- Rights of a user on one course (lKursinstanzID -1) or one run (lKursID -1).
CREATE TABLE SecKurs (
    lSecKursID      INTEGER PRIMARY KEY,
    lKursID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursinstanzID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lQvSecUserID    INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lRight          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fValid          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1
);
-- One row per object and user: a second row would list the course twice in every rights join.
CREATE UNIQUE INDEX SecKurs_Object ON SecKurs (lKursID, lKursinstanzID, lQvSecUserID);
CREATE INDEX SecKurs_Kursinstanz ON SecKurs (lKursinstanzID, lQvSecUserID);
CREATE INDEX SecKurs_User ON SecKurs (lQvSecUserID, lKursID);

-- Precondition rules of a course: lOperator of a rule 0..3, of an item 1/2.
CREATE TABLE Kursprecondition (
    lKurspreconditionID  INTEGER PRIMARY KEY,
    lKursID              INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBemerkung         TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lOrder               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lOperator            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtTimestamp          DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX Kursprecondition_Kurs ON Kursprecondition (lKursID);

CREATE TABLE KurspreconditionItem (
    lKurspreconditionItemID  INTEGER PRIMARY KEY,
    lKurspreconditionID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursID                  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lOperator                INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    lMaxYear                 INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lLockYear                INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtTimestamp              DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX KurspreconditionItem_Precondition ON KurspreconditionItem (lKurspreconditionID);
CREATE INDEX KurspreconditionItem_Kurs ON KurspreconditionItem (lKursID);

-- Places a Mandant reserves in a course and year: one row per Mandant, course and year.
CREATE TABLE Kursreservation (
    lKursreservationID  INTEGER PRIMARY KEY,
    lMandantID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursID             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lYear               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lAnzahl             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strBemerkung        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dtTimestamp         DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE UNIQUE INDEX Kursreservation_Key ON Kursreservation (lMandantID, lKursID, lYear);
CREATE INDEX Kursreservation_Kurs ON Kursreservation (lKursID);

-- The budget module: the accounts of each Mandant (a standard account answers for a kind of record
-- and side when the record has no account linked), the account linked to a booked record on one
-- side (-1 expense, 1 income) and the budgeted amount of a record on one side.
CREATE TABLE BudgetKonto (
    lBudgetKontoID   INTEGER PRIMARY KEY,
    lMandantID       INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strNummer        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBezeichnung   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lStdTyp          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lStdArt          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtTimestamp      DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX BudgetKonto_Mandant ON BudgetKonto (lMandantID, lStdTyp, lStdArt);
CREATE TABLE BudgetKontoLink (
    lBudgetKontoLinkID  INTEGER PRIMARY KEY,
    lTableID            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lRecordID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lLinkTyp            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lMandantID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lBudgetKontoID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtTimestamp         DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE UNIQUE INDEX BudgetKontoLink_Record ON BudgetKontoLink (lTableID, lRecordID, lLinkTyp, lMandantID);
CREATE TABLE BudgetBuchungssatz (
    lBudgetBuchungssatzID  INTEGER PRIMARY KEY,
    lTableID               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lRecordID              INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lLinkTyp               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lBudgetKontoID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtDatum                DATETIME,
    strText                TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lModified              INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curBetrag              REAL NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtTimestamp            DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE UNIQUE INDEX BudgetBuchungssatz_Record ON BudgetBuchungssatz (lTableID, lRecordID, lLinkTyp);
CREATE TRIGGER BudgetKonto_Timestamp AFTER UPDATE ON BudgetKonto
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE BudgetKonto SET dtTimestamp = datetime('now','localtime') WHERE lBudgetKontoID = new.lBudgetKontoID;
END;
CREATE TRIGGER BudgetKontoLink_Timestamp AFTER UPDATE ON BudgetKontoLink
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE BudgetKontoLink SET dtTimestamp = datetime('now','localtime') WHERE lBudgetKontoLinkID = new.lBudgetKontoLinkID;
END;
CREATE TRIGGER BudgetBuchungssatz_Timestamp AFTER UPDATE ON BudgetBuchungssatz
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE BudgetBuchungssatz SET dtTimestamp = datetime('now','localtime') WHERE lBudgetBuchungssatzID = new.lBudgetBuchungssatzID;
END;

-- Participant quotas per course, Mandant and year (lYear 0 = every year).
CREATE TABLE MaxTeilnehmer (
    lMaxTeilnehmerID  INTEGER PRIMARY KEY,
    lKursID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lMandantID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lYear             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lAnzahl           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strBemerkung      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    dtTimestamp       DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX MaxTeilnehmer_Kurs ON MaxTeilnehmer (lKursID, lMandantID, lYear);
CREATE INDEX MaxTeilnehmer_Mandant ON MaxTeilnehmer (lMandantID);

-- Queued notifications of registration changes: to a Mandant (lPersonID -1) or to one person.
-- dtSent is the empty date until the notification is sent.
CREATE TABLE Kursnotification (
    lKursnotificationID  INTEGER PRIMARY KEY,
    lMandantID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPersonID            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtCreate             DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    dtSent               DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00'
);
CREATE INDEX Kursnotification_Open ON Kursnotification (lMandantID, lPersonID, dtSent);

-- lArt: 1 added, 2 status changed, 3 and 4 removed.
CREATE TABLE KursnotificationItem (
    lKursnotificationItemID  INTEGER PRIMARY KEY,
    lKursnotificationID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPersonID                INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursID                  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lKursinstanzID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strPerson                TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKurs                  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKursinstanz           TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lArt                     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    lStatus                  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtChange                 DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime'))
);
CREATE INDEX KursnotificationItem_Notification ON KursnotificationItem (lKursnotificationID);

-- Mail templates; their translations are QvLabel rows named KursnotificationMailtemplate_Subject,
-- _Header and _Footer with the template's key in lFkID.
CREATE TABLE KursnotificationMailtemplate (
    lKursnotificationMailtemplateID  INTEGER PRIMARY KEY,
    strName                          TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strSubject                       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strHeader                        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strFooter                        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strCC                            TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBCC                           TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- The course catalogue as the lists show it: strKurs is the course's display name.
CREATE VIEW view_Kurs AS
SELECT k.lKursID, k.guid, k.lTyp, k.fActive, k.strKurzbezeichnung, k.strBezeichnung,
       CASE WHEN k.strKurzbezeichnung <> '' AND k.strBezeichnung <> ''
            THEN k.strKurzbezeichnung || ', ' || k.strBezeichnung
            ELSE k.strKurzbezeichnung || k.strBezeichnung END COLLATE QVCI AS strKurs
FROM Kurs k;

-- Runs as the lists show them: strAnschrift1L joins place, address (on one line) and the
-- chosen place's postcode and name, leaving out the empty parts.
CREATE VIEW view_Kursinstanz AS
SELECT ki.lKursinstanzID, ki.lKursID, ki.guid, ki.strBezeichnung, ki.strLeitung, ki.fGeschlossen,
       ki.dtDatum, ki.dblDauer, ki.strOrt, ki.lOrtID,
       trim(
           CASE WHEN ki.strOrt <> '' THEN ki.strOrt ELSE '' END
           || CASE WHEN ki.strAdresse <> ''
                   THEN CASE WHEN ki.strOrt <> '' THEN ', ' ELSE '' END
                        || replace(replace(replace(ki.strAdresse, char(13) || char(10), ', '), char(10), ', '), char(13), ', ')
                   ELSE '' END
           || CASE WHEN ifnull(o.strPLZOrt, '') <> ''
                   THEN CASE WHEN ki.strOrt <> '' OR ki.strAdresse <> '' THEN ', ' ELSE '' END || o.strPLZOrt
                   ELSE '' END) COLLATE QVCI AS strAnschrift1L
FROM Kursinstanz ki LEFT JOIN view_Ort o ON ki.lOrtID = o.lOrtID AND ki.lOrtID <> 0;

-- Display names by table id (4 person with mode 'A', 39 course, 42 run, 45 Mandant), kept in a
-- table by triggers: the lists join them to every row, and a view computing them would compute
-- them for every record of every table in each such query. The fn_Get...Bezeichnung functions
-- read them from here too. The texts:
--   person 'A': "Name Vorname, Ort" (without ", Ort" when the place is unknown)
--   course:     "Kurzbezeichnung, Bezeichnung" (one of them alone when the other is empty)
--   run:        "Bezeichnung (dd.mm.yyyy)" of its date; the course's name when the run has none
--   Mandant:    its name
CREATE TABLE CacheBezeichnung (
    lTableID        INTEGER NOT NULL,
    lID             INTEGER NOT NULL,
    strMode         TEXT NOT NULL DEFAULT '' COLLATE QVCI,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    PRIMARY KEY (lTableID, lID, strMode)
) WITHOUT ROWID;

CREATE VIEW view_CacheBezeichnung AS
SELECT lID, lTableID, strMode, strBezeichnung FROM CacheBezeichnung;

-- Where the texts come from; the triggers below copy them into the cache.
CREATE VIEW view_BezeichnungPerson AS
SELECT p.lPersonID AS lID,
       (trim(p.strName || ' ' || p.strVorname)
        || CASE WHEN ifnull(o.strOrt, '') <> '' THEN ', ' || o.strOrt ELSE '' END) COLLATE QVCI AS strBezeichnung
FROM Person p LEFT JOIN Ort o ON p.lOrtID = o.lOrtID;

CREATE VIEW view_BezeichnungKursinstanz AS
SELECT ki.lKursinstanzID AS lID,
       (CASE WHEN ki.strBezeichnung <> '' THEN ki.strBezeichnung ELSE ifnull(k.strKurs, '') END
        || ' (' || substr(ki.dtDatum, 9, 2) || '.' || substr(ki.dtDatum, 6, 2) || '.' || substr(ki.dtDatum, 1, 4) || ')')
       COLLATE QVCI AS strBezeichnung
FROM Kursinstanz ki LEFT JOIN view_Kurs k ON ki.lKursID = k.lKursID;

CREATE TRIGGER Person_Bezeichnung_Insert AFTER INSERT ON Person
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 4 AND lID = new.lPersonID;
    INSERT INTO CacheBezeichnung (lTableID, lID, strMode, strBezeichnung)
    SELECT 4, lID, 'A', strBezeichnung FROM view_BezeichnungPerson WHERE lID = new.lPersonID;
END;

CREATE TRIGGER Person_Bezeichnung_Update AFTER UPDATE OF lPersonID, strName, strVorname, lOrtID ON Person
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 4 AND lID IN (old.lPersonID, new.lPersonID);
    INSERT INTO CacheBezeichnung (lTableID, lID, strMode, strBezeichnung)
    SELECT 4, lID, 'A', strBezeichnung FROM view_BezeichnungPerson WHERE lID = new.lPersonID;
END;

CREATE TRIGGER Person_Bezeichnung_Delete AFTER DELETE ON Person
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 4 AND lID = old.lPersonID;
END;

-- A renamed place renames the persons living there.
CREATE TRIGGER Ort_Bezeichnung_Update AFTER UPDATE OF strOrt ON Ort
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 4
        AND lID IN (SELECT lPersonID FROM Person WHERE lOrtID = new.lOrtID);
    INSERT INTO CacheBezeichnung (lTableID, lID, strMode, strBezeichnung)
    SELECT 4, lID, 'A', strBezeichnung FROM view_BezeichnungPerson
    WHERE lID IN (SELECT lPersonID FROM Person WHERE lOrtID = new.lOrtID);
END;

CREATE TRIGGER Kurs_Bezeichnung_Insert AFTER INSERT ON Kurs
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 39 AND lID = new.lKursID;
    INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
    SELECT 39, lKursID, strKurs FROM view_Kurs WHERE lKursID = new.lKursID;
END;

-- A renamed course also renames its runs that carry no name of their own.
CREATE TRIGGER Kurs_Bezeichnung_Update AFTER UPDATE OF lKursID, strKurzbezeichnung, strBezeichnung ON Kurs
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 39 AND lID IN (old.lKursID, new.lKursID);
    INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
    SELECT 39, lKursID, strKurs FROM view_Kurs WHERE lKursID = new.lKursID;
    DELETE FROM CacheBezeichnung WHERE lTableID = 42
        AND lID IN (SELECT lKursinstanzID FROM Kursinstanz WHERE lKursID = new.lKursID);
    INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
    SELECT 42, lID, strBezeichnung FROM view_BezeichnungKursinstanz
    WHERE lID IN (SELECT lKursinstanzID FROM Kursinstanz WHERE lKursID = new.lKursID);
END;

CREATE TRIGGER Kurs_Bezeichnung_Delete AFTER DELETE ON Kurs
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 39 AND lID = old.lKursID;
END;

CREATE TRIGGER Kursinstanz_Bezeichnung_Insert AFTER INSERT ON Kursinstanz
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 42 AND lID = new.lKursinstanzID;
    INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
    SELECT 42, lID, strBezeichnung FROM view_BezeichnungKursinstanz WHERE lID = new.lKursinstanzID;
END;

CREATE TRIGGER Kursinstanz_Bezeichnung_Update AFTER UPDATE OF lKursinstanzID, lKursID, strBezeichnung, dtDatum ON Kursinstanz
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 42 AND lID IN (old.lKursinstanzID, new.lKursinstanzID);
    INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
    SELECT 42, lID, strBezeichnung FROM view_BezeichnungKursinstanz WHERE lID = new.lKursinstanzID;
END;

CREATE TRIGGER Kursinstanz_Bezeichnung_Delete AFTER DELETE ON Kursinstanz
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 42 AND lID = old.lKursinstanzID;
END;

CREATE TRIGGER Mandant_Bezeichnung_Insert AFTER INSERT ON Mandant
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 45 AND lID = new.lMandantID;
    INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung) VALUES (45, new.lMandantID, new.strMandantName);
END;

CREATE TRIGGER Mandant_Bezeichnung_Update AFTER UPDATE OF lMandantID, strMandantName ON Mandant
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 45 AND lID IN (old.lMandantID, new.lMandantID);
    INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung) VALUES (45, new.lMandantID, new.strMandantName);
END;

CREATE TRIGGER Mandant_Bezeichnung_Delete AFTER DELETE ON Mandant
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 45 AND lID = old.lMandantID;
END;

-- ---------------------------------------------------------------------------------------------
-- Activities, agenda, pay
-- ---------------------------------------------------------------------------------------------

-- lEinsatzart: the kind of an activity type (the activity transfer offers kinds 0 and 4).
CREATE TABLE Einsatzart (
    lEinsatzartID   INTEGER PRIMARY KEY,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    fVisible        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    lEinsatzart     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);

-- strAdresse1L is strAdresse on one line.
CREATE TABLE Einsatz (
    lEinsatzID     INTEGER PRIMARY KEY,
    guid           TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEinsatzartID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lOrtID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtEinsatz      DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    dtEinsatzBis   DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtErfassung    DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    strEreignis    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strEinsatzNr   TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strEinsatzort  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAdresse     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAdresse1L   TEXT COLLATE QVCI GENERATED ALWAYS AS
                   (replace(replace(replace(strAdresse, char(13) || char(10), ', '), char(10), ', '), char(13), ', ')) VIRTUAL
);
CREATE INDEX Einsatz_Mandant ON Einsatz (lMandantID, dtEinsatz);

-- Processing states of an activity; the one with the highest lOrder is current.
CREATE TABLE Einsatzstatus (
    lEinsatzstatusID  INTEGER PRIMARY KEY,
    lEinsatzID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lStatus           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lOrder            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX Einsatzstatus_Einsatz ON Einsatzstatus (lEinsatzID, lOrder);

CREATE TABLE EinsatzGruppe (
    lEinsatzGruppeID  INTEGER PRIMARY KEY,
    lEinsatzID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBezeichnung    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX EinsatzGruppe_Einsatz ON EinsatzGruppe (lEinsatzID);

-- The activity made from a run.
CREATE TABLE KursinstanzEinsatz (
    lKursinstanzEinsatzID  INTEGER PRIMARY KEY,
    lKursinstanzID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEinsatzID             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1
);
CREATE INDEX KursinstanzEinsatz_Kursinstanz ON KursinstanzEinsatz (lKursinstanzID);

-- Pay rates; lEinheit 4 = days.
CREATE TABLE Soldansatz (
    lSoldansatzID   INTEGER PRIMARY KEY,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    lEinheit        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curAnsatz       MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0
);

CREATE TABLE PersonEinsatz (
    lPersonEinsatzID   INTEGER PRIMARY KEY,
    lEinsatzID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lSoldansatzID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPersonID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEinsatzGruppeID   INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    curSold            MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fSoldKorrigiert    INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dblAnzahl          REAL NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curSoldansatz      MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curZuschlag        MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curErtrag          MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fErtragKorrigiert  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curErtragansatz    MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curErtragzuschlag  MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtVon              DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtBis              DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    strBemerkung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX PersonEinsatz_Einsatz ON PersonEinsatz (lEinsatzID, lPersonID);

CREATE TABLE Absenz (
    lAbsenzID       INTEGER PRIMARY KEY,
    lEinsatzID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lAbsenzgrundID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPersonID       INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    fEntschuldigt   INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strBemerkung    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Absenz_Einsatz ON Absenz (lEinsatzID, lPersonID);

CREATE TABLE Ausbildungsstufe (
    lAusbildungsstufeID  INTEGER PRIMARY KEY,
    strBezeichnung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- strAdresse1L is strAdresse on one line.
CREATE TABLE Agenda (
    lAgendaID            INTEGER PRIMARY KEY,
    guid                 TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEinsatzID           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEinsatzartID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lAusbildungsstufeID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lOrtID               INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dtAktivitaet         DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    strBezeichnung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strObjekt            TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAdresse           TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strLektionsart       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strAdresse1L         TEXT COLLATE QVCI GENERATED ALWAYS AS
                         (replace(replace(replace(strAdresse, char(13) || char(10), ', '), char(10), ', '), char(13), ', ')) VIRTUAL
);
CREATE INDEX Agenda_Mandant ON Agenda (lMandantID, dtAktivitaet);

CREATE TABLE Agendastatus (
    lAgendastatusID  INTEGER PRIMARY KEY,
    lAgendaID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lStatus          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lOrder           INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX Agendastatus_Agenda ON Agendastatus (lAgendaID, lOrder);

CREATE TABLE Abrechnung (
    lAbrechnungID     INTEGER PRIMARY KEY,
    guid              TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    dtDatum           DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    strBezeichnung    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBemerkung      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strZahlungsgrund  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    fAHVAbrechnung    INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fCacheOK          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);

CREATE TABLE Formation (
    lFormationID    INTEGER PRIMARY KEY,
    lMandantID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE Arbeitsplan (
    lArbeitsplanID    INTEGER PRIMARY KEY,
    guid              TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lFormationID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lEinsatzID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtStart           DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtEnde            DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    strBezeichnung    TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strArbeitsplanNr  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Arbeitsplan_Start ON Arbeitsplan (dtStart);

-- fSoldrelevant belongs to the activity (not to the assignment): the work-plan statement names it
-- without a table next to PersonArbeitsplan.
CREATE TABLE Taetigkeit (
    lTaetigkeitID   INTEGER PRIMARY KEY,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    fSoldrelevant   INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);

CREATE TABLE PersonArbeitsplan (
    lPersonArbeitsplanID  INTEGER PRIMARY KEY,
    lPersonID             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lArbeitsplanID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lTaetigkeitID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1
);
CREATE INDEX PersonArbeitsplan_Arbeitsplan ON PersonArbeitsplan (lArbeitsplanID);

-- ---------------------------------------------------------------------------------------------
-- Groups, documents, material, areas
-- ---------------------------------------------------------------------------------------------

CREATE TABLE Gruppe (
    lGruppeID       INTEGER PRIMARY KEY,
    lMandantID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE Dokumentart (
    lDokumentartID  INTEGER PRIMARY KEY,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE Dokument (
    lDokumentID     INTEGER PRIMARY KEY,
    lDokumentartID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strVisum        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strHeader       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

-- guidMasterMandant: the GUID of the Mandant that owns an article or maintenance plan shared with
-- other Mandanten.
CREATE TABLE Artikel (
    lArtikelID         INTEGER PRIMARY KEY,
    guid               TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    guidMasterMandant  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '00000000-0000-0000-0000-000000000000' COLLATE NOCASE,
    lArtikeltypID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lStatus            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    fActive            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1,
    dblCMenge          REAL NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strBezeichnung     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strKurzbezeichnung TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strArtikelNr       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strSerienNr        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strIdentifikation  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBestNr          TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strSpecs           TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strStandort        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Artikel_Mandant ON Artikel (lMandantID);

CREATE VIEW view_Artikel AS
SELECT lArtikelID, guid, lMandantID, guidMasterMandant, lArtikeltypID, lStatus, fActive, dblCMenge,
       strBezeichnung, strKurzbezeichnung, strArtikelNr, strSerienNr, strIdentifikation, strBestNr,
       strSpecs, strStandort
FROM Artikel;

CREATE TABLE Artikeljournal (
    lArtikeljournalID  INTEGER PRIMARY KEY,
    lArtikelID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtDatum            DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    strBemerkung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Artikeljournal_Artikel ON Artikeljournal (lArtikelID);

-- lZyklusUnit and lZyklus: the maintenance cycle (unit and count).
CREATE TABLE Wartungsplan (
    lWartungsplanID    INTEGER PRIMARY KEY,
    guid               TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lMandantID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    guidMasterMandant  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '00000000-0000-0000-0000-000000000000' COLLATE NOCASE,
    lZyklusUnit        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    lZyklus            INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    strBezeichnung     TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBemerkung       TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE VIEW view_Wartungsplan AS
SELECT lWartungsplanID, guid, lMandantID, guidMasterMandant, lZyklusUnit, lZyklus, strBezeichnung, strBemerkung
FROM Wartungsplan;

CREATE TABLE Wartungsjournal (
    lWartungsjournalID  INTEGER PRIMARY KEY,
    lArtikelID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lWartungsplanID     INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtDatum             DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT (datetime('now','localtime')),
    strBemerkung        TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);
CREATE INDEX Wartungsjournal_Artikel ON Wartungsjournal (lArtikelID);

CREATE TABLE Areaart (
    lAreaartID      INTEGER PRIMARY KEY,
    strBezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI
);

CREATE TABLE Area (
    lAreaID             INTEGER PRIMARY KEY,
    guid                TEXT NOT NULL ON CONFLICT REPLACE COLLATE NOCASE DEFAULT (hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))),
    lAreaartID          INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    strKurzbezeichnung  TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    strBezeichnung      TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '' COLLATE QVCI,
    fActive             INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 1
);

CREATE VIEW view_Area AS
SELECT a.lAreaID, a.guid, a.strKurzbezeichnung, a.strBezeichnung, a.fActive, a.lAreaartID,
       ifnull(aa.strBezeichnung, '') COLLATE QVCI AS strAreaart
FROM Area a LEFT JOIN Areaart aa ON a.lAreaartID = aa.lAreaartID;

-- The Mandanten of an area; fDeleted marks a membership that has ended.
CREATE TABLE AreaMandant (
    lAreaMandantID  INTEGER PRIMARY KEY,
    lAreaID         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lMandantID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    fDeleted        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX AreaMandant_Area ON AreaMandant (lAreaID);
CREATE INDEX AreaMandant_Mandant ON AreaMandant (lMandantID);

-- ---------------------------------------------------------------------------------------------
-- Row time stamps
-- ---------------------------------------------------------------------------------------------

CREATE TRIGGER Kurs_Timestamp AFTER UPDATE ON Kurs
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE Kurs SET dtTimestamp = datetime('now','localtime') WHERE lKursID = new.lKursID;
END;

CREATE TRIGGER Kursinstanz_Timestamp AFTER UPDATE ON Kursinstanz
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE Kursinstanz SET dtTimestamp = datetime('now','localtime') WHERE lKursinstanzID = new.lKursinstanzID;
END;

CREATE TRIGGER Kursinstanzdate_Timestamp AFTER UPDATE ON Kursinstanzdate
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE Kursinstanzdate SET dtTimestamp = datetime('now','localtime') WHERE lKursinstanzdateID = new.lKursinstanzdateID;
END;

CREATE TRIGGER KursinstanzGruppe_Timestamp AFTER UPDATE ON KursinstanzGruppe
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE KursinstanzGruppe SET dtTimestamp = datetime('now','localtime') WHERE lKursinstanzGruppeID = new.lKursinstanzGruppeID;
END;

CREATE TRIGGER Kursbemerkung_Timestamp AFTER UPDATE ON Kursbemerkung
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE Kursbemerkung SET dtTimestamp = datetime('now','localtime') WHERE lKursbemerkungID = new.lKursbemerkungID;
END;

CREATE TRIGGER PersonKurs_Timestamp AFTER UPDATE ON PersonKurs
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE PersonKurs SET dtTimestamp = datetime('now','localtime') WHERE lPersonKursID = new.lPersonKursID;
END;

CREATE TRIGGER Kursprecondition_Timestamp AFTER UPDATE ON Kursprecondition
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE Kursprecondition SET dtTimestamp = datetime('now','localtime') WHERE lKurspreconditionID = new.lKurspreconditionID;
END;

CREATE TRIGGER KurspreconditionItem_Timestamp AFTER UPDATE ON KurspreconditionItem
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE KurspreconditionItem SET dtTimestamp = datetime('now','localtime') WHERE lKurspreconditionItemID = new.lKurspreconditionItemID;
END;

CREATE TRIGGER Kursreservation_Timestamp AFTER UPDATE ON Kursreservation
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE Kursreservation SET dtTimestamp = datetime('now','localtime') WHERE lKursreservationID = new.lKursreservationID;
END;

CREATE TRIGGER MaxTeilnehmer_Timestamp AFTER UPDATE ON MaxTeilnehmer
WHEN new.dtTimestamp IS old.dtTimestamp AND new.dtTimestamp IS NOT datetime('now','localtime')
BEGIN
    UPDATE MaxTeilnehmer SET dtTimestamp = datetime('now','localtime') WHERE lMaxTeilnehmerID = new.lMaxTeilnehmerID;
END;

-- ---------------------------------------------------------------------------------------------
-- What deleting a row does to the rows that refer to it
-- ---------------------------------------------------------------------------------------------

-- The data exchange must learn of deleted registrations.
CREATE TRIGGER PersonKurs_Deleted AFTER DELETE ON PersonKurs
BEGIN
    INSERT INTO DeletedRow (lTableID, lID, guid, dtTimestamp)
    VALUES (23, old.lPersonKursID, old.guid, datetime('now','localtime'));
END;

-- Members of a deleted group become unassigned; otherwise they would show in no list.
CREATE TRIGGER KursinstanzGruppe_Deleted AFTER DELETE ON KursinstanzGruppe
WHEN old.lKursinstanzID <> -1
BEGIN
    UPDATE PersonKurs SET lKursinstanzGruppeID = -1 WHERE lKursinstanzGruppeID = old.lKursinstanzGruppeID;
END;

-- A deleted run's registrations fall back to "no run" (they keep course, year and status);
-- what belongs to the run alone goes with it. The activity made from the run stays.
CREATE TRIGGER Kursinstanz_Deleted AFTER DELETE ON Kursinstanz
BEGIN
    UPDATE PersonKurs SET lKursinstanzID = -1, lKursinstanzGruppeID = -1, fLeiter = 0
    WHERE lKursinstanzID = old.lKursinstanzID;
    DELETE FROM Kursinstanzdate WHERE lKursinstanzID = old.lKursinstanzID;
    DELETE FROM KursinstanzGruppe WHERE lKursinstanzID = old.lKursinstanzID;
    DELETE FROM SecKurs WHERE lKursinstanzID = old.lKursinstanzID;
    DELETE FROM Kursbemerkung WHERE lKursinstanzID = old.lKursinstanzID;
    DELETE FROM KursinstanzEinsatz WHERE lKursinstanzID = old.lKursinstanzID;
    DELETE FROM CustFieldValue WHERE lID = old.lKursinstanzID
        AND lCFTypeID IN (SELECT lCFTypeID FROM CustFieldType WHERE lTableID = 42);
END;

-- A course is deleted only when nothing of the people's records depends on it any more.
CREATE TRIGGER Kurs_Deleting BEFORE DELETE ON Kurs
BEGIN
    SELECT RAISE(ABORT, 'Der Kurs kann nicht gelöscht werden, weil er noch Austragungen hat.')
    WHERE EXISTS (SELECT 1 FROM Kursinstanz WHERE lKursID = old.lKursID);
    SELECT RAISE(ABORT, 'Der Kurs kann nicht gelöscht werden, weil noch Personen für ihn angemeldet sind.')
    WHERE EXISTS (SELECT 1 FROM PersonKurs WHERE lKursID = old.lKursID);
    SELECT RAISE(ABORT, 'Der Kurs kann nicht gelöscht werden, weil er Voraussetzung eines anderen Kurses ist.')
    WHERE EXISTS (SELECT 1 FROM KurspreconditionItem i JOIN Kursprecondition p ON i.lKurspreconditionID = p.lKurspreconditionID
                  WHERE i.lKursID = old.lKursID AND p.lKursID <> old.lKursID);
END;

CREATE TRIGGER Kurs_Deleted AFTER DELETE ON Kurs
BEGIN
    DELETE FROM SecKurs WHERE lKursID = old.lKursID;
    DELETE FROM KursinstanzGruppe WHERE lKursID = old.lKursID;
    DELETE FROM Kursbemerkung WHERE lKursID = old.lKursID AND lKursinstanzID = -1;
    DELETE FROM Kursprecondition WHERE lKursID = old.lKursID;
    DELETE FROM Kursreservation WHERE lKursID = old.lKursID;
    DELETE FROM MaxTeilnehmer WHERE lKursID = old.lKursID;
    DELETE FROM CustFieldValue WHERE lID = old.lKursID
        AND lCFTypeID IN (SELECT lCFTypeID FROM CustFieldType WHERE lTableID = 39);
END;

CREATE TRIGGER Kursprecondition_Deleted AFTER DELETE ON Kursprecondition
BEGIN
    DELETE FROM KurspreconditionItem WHERE lKurspreconditionID = old.lKurspreconditionID;
END;

CREATE TRIGGER Kursnotification_Deleted AFTER DELETE ON Kursnotification
BEGIN
    DELETE FROM KursnotificationItem WHERE lKursnotificationID = old.lKursnotificationID;
END;

CREATE TRIGGER KursnotificationMailtemplate_Deleted AFTER DELETE ON KursnotificationMailtemplate
BEGIN
    DELETE FROM QvLabel WHERE lFkID = old.lKursnotificationMailtemplateID
        AND strName IN ('KursnotificationMailtemplate_Subject', 'KursnotificationMailtemplate_Header',
                        'KursnotificationMailtemplate_Footer');
END;

-- ---------------------------------------------------------------------------------------------
-- Rows every installation has
-- ---------------------------------------------------------------------------------------------

INSERT INTO System (lSystemID, lSchemaVersion) VALUES (1, 1);
INSERT INTO DataExchange (lDataExchangeID) VALUES (1);
INSERT INTO Ort (lOrtID, lTyp) VALUES (0, 0);
INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (-1, '');

-- The course types' names; a course whose type has no label could not be found by the search.
-- Built-in rows carry keys below 1, which sp_GetUniqueID never hands out.
INSERT INTO QvLabel (lQvLabelID, lQvLanguageID, lFkID, strName, strLabel) VALUES
    (-1, 1, 1, 'Authoritytyp', 'Bund'),     (-2, 2, 1, 'Authoritytyp', 'Confédération'),
    (-3, 3, 1, 'Authoritytyp', 'Confederazione'), (-4, 4, 1, 'Authoritytyp', 'Federal'),
    (-5, 1, 2, 'Authoritytyp', 'Kanton'),   (-6, 2, 2, 'Authoritytyp', 'Canton'),
    (-7, 3, 2, 'Authoritytyp', 'Cantone'),  (-8, 4, 2, 'Authoritytyp', 'Cantonal'),
    (-9, 1, 3, 'Authoritytyp', 'Lokal'),    (-10, 2, 3, 'Authoritytyp', 'Local'),
    (-11, 3, 3, 'Authoritytyp', 'Locale'),  (-12, 4, 3, 'Authoritytyp', 'Local');

-- ---------------------------------------------------------------------------------------------
-- Activities made from course runs: budget data and pay deductions
-- ---------------------------------------------------------------------------------------------

-- The budget figures of an activity, computed from its pay rows by the incident recording.
CREATE TABLE EinsatzBudget (
    lEinsatzBudgetID  INTEGER PRIMARY KEY,
    lEinsatzID        INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lPersonen         INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    dblAnzahl         REAL NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curSold           MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0,
    curErtrag         MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX EinsatzBudget_Einsatz ON EinsatzBudget (lEinsatzID);

-- Amounts deducted from a person's pay of a rate within a period (lSoldansatzID -1: every rate).
CREATE TABLE SoldAbzug (
    lSoldAbzugID   INTEGER PRIMARY KEY,
    lPersonID      INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    lSoldansatzID  INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT -1,
    dtVon          DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    dtBis          DATETIME NOT NULL ON CONFLICT REPLACE DEFAULT '1899-12-30 00:00:00',
    curAbzug       MONEY NOT NULL ON CONFLICT REPLACE DEFAULT 0
);
CREATE INDEX SoldAbzug_Person ON SoldAbzug (lPersonID);
