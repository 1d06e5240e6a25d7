-- The suite's database on PostgreSQL: the same tables, views, defaults, triggers and rows as the
-- SQLite schema, with the functions and procedures in the schema dbo.
--
--   str.. text COLLATE qvci (case-insensitive, nondeterministic ICU), never NULL.
--   dt..  timestamp(3) in local time; the empty date is '1899-12-30 00:00:00'.
--   cur.. numeric(19,4).   img.. bytea.   guid  text, upper case without braces.
-- A NULL written into a column that has a default becomes the default (a BEFORE trigger per table
-- does what SQLite's NOT NULL ON CONFLICT REPLACE does). Names are unquoted: PostgreSQL folds them
-- to lower case, as the translator does.

CREATE COLLATION IF NOT EXISTS public.qvci (provider = icu, locale = 'und-u-ks-level2', deterministic = false);
CREATE SCHEMA IF NOT EXISTS dbo;

-- ---------------------------------------------------------------------------------------------
-- One-row tables
-- ---------------------------------------------------------------------------------------------

-- Read as "SELECT TOP 2 @@TRANCOUNT MyValue FROM System": exactly one row, always.
CREATE TABLE System (
    lSystemID integer PRIMARY KEY CHECK (lSystemID = 1),
    lSchemaVersion integer NOT NULL
);

-- The settings of the data exchange; read and written without WHERE.
CREATE TABLE DataExchange (
    lDataExchangeID integer PRIMARY KEY CHECK (lDataExchangeID = 1),
    fOnlineKursEnabled integer NOT NULL DEFAULT 0,
    strOnlineKursURL text COLLATE qvci NOT NULL DEFAULT '',
    lDefaultPersonKursStatus integer NOT NULL DEFAULT 0,
    fSwitchPersonAllowed integer NOT NULL DEFAULT 0,
    fAutoAssignToInstanzAllowed integer NOT NULL DEFAULT 0
);

-- Last key handed out per table and column (sp_GetUniqueID).
CREATE TABLE UniqueIDCounter (
    strTable text COLLATE qvci NOT NULL,
    strColumn text COLLATE qvci NOT NULL,
    lLastID integer NOT NULL,
    PRIMARY KEY (strTable, strColumn)
);

-- Rows deleted from tables that the data exchange exports (lTableID 23 = PersonKurs).
-- Only triggers write it, so its key is assigned by the database.
CREATE TABLE DeletedRow (
    lDeletedRowID integer PRIMARY KEY,
    lTableID integer NOT NULL,
    lID integer NOT NULL,
    guid text COLLATE qvci,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX DeletedRow_Table ON DeletedRow (lTableID, dtTimestamp);

-- ---------------------------------------------------------------------------------------------
-- Places, Mandanten, persons
-- ---------------------------------------------------------------------------------------------

CREATE TABLE Gemeinde (
    lGemeindeID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strKanton text COLLATE qvci NOT NULL DEFAULT ''
);

-- lTyp: the kind of place (the place combo offers kinds 1 and 2). Row 0 is the "no place" row:
-- lists join persons to view_Ort with an inner join, and a person without a place must not vanish.
CREATE TABLE Ort (
    lOrtID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    strPLZ text COLLATE qvci NOT NULL DEFAULT '',
    strOrt text COLLATE qvci NOT NULL DEFAULT '',
    strZusatz text COLLATE qvci NOT NULL DEFAULT '',
    lGemeindeID integer NOT NULL DEFAULT -1,
    lTyp integer NOT NULL DEFAULT 1
);
CREATE INDEX Ort_PLZ ON Ort (strPLZ);

-- strPLZOrt "8400 Winterthur"; strPLZOrtEx adds the addition and the canton: "8400 Winterthur Seen ZH".
CREATE VIEW view_Ort AS
SELECT o.lOrtID, o.guid, o.strPLZ, o.strOrt, o.strZusatz, o.lTyp, o.lGemeindeID,
       coalesce(g.strBezeichnung, '') COLLATE qvci AS strGemeinde,
       coalesce(g.strKanton, '') COLLATE qvci AS strKanton,
       trim(o.strPLZ || ' ' || o.strOrt) COLLATE qvci AS strPLZOrt,
       trim(trim(o.strPLZ || ' ' || o.strOrt) || ' ' || trim(o.strZusatz || ' ' || coalesce(g.strKanton, ''))) COLLATE qvci AS strPLZOrtEx
FROM Ort o LEFT JOIN Gemeinde g ON o.lGemeindeID = g.lGemeindeID;

-- strMandantName and strMandantTyp exist only here and in view_Mandant: the searches name them
-- without a table next to their own tables.
CREATE TABLE Mandant (
    lMandantID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    strMandantName text COLLATE qvci NOT NULL DEFAULT '',
    strMandantTyp text COLLATE qvci NOT NULL DEFAULT '',
    lOrtID integer NOT NULL DEFAULT 0,
    fActive integer NOT NULL DEFAULT 1,
    fKursNotification integer NOT NULL DEFAULT 0,
    imgLogo2 bytea,
    strLock text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE VIEW view_Mandant AS
SELECT m.lMandantID, m.guid, m.strMandantName, m.strMandantTyp, m.lOrtID, m.fActive,
       coalesce(o.strPLZOrt, '') COLLATE qvci AS strPLZOrt
FROM Mandant m LEFT JOIN view_Ort o ON m.lOrtID = o.lOrtID;

CREATE TABLE Grad (
    lGradID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strKurzbezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strKurzbezeichnungF text COLLATE qvci NOT NULL DEFAULT '',
    lRang integer NOT NULL DEFAULT 0
);

CREATE VIEW view_Grad AS
SELECT lGradID, guid, strBezeichnung, strKurzbezeichnung, strKurzbezeichnungF, lRang FROM Grad;

-- A person's phone, mobile, e-mail and pager entries point at Device rows (-1 = none).
-- The one-line address strAdresse1L is kept by the person administration.
CREATE TABLE Person (
    lPersonID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    strName text COLLATE qvci NOT NULL DEFAULT '',
    strVorname text COLLATE qvci NOT NULL DEFAULT '',
    strPersonNr text COLLATE qvci NOT NULL DEFAULT '',
    strAdresse1L text COLLATE qvci NOT NULL DEFAULT '',
    lOrtID integer NOT NULL DEFAULT 0,
    strSprache text COLLATE qvci NOT NULL DEFAULT 'DE',
    fWeiblich integer NOT NULL DEFAULT 0,
    fActive integer NOT NULL DEFAULT 1,
    lCAktGradID integer NOT NULL DEFAULT -1,
    lTelefonP integer NOT NULL DEFAULT -1,
    lTelefonG integer NOT NULL DEFAULT -1,
    lMobilP integer NOT NULL DEFAULT -1,
    lMobilG integer NOT NULL DEFAULT -1,
    lEMailP integer NOT NULL DEFAULT -1,
    lEMailG integer NOT NULL DEFAULT -1,
    lPager integer NOT NULL DEFAULT -1,
    strFaxNr text COLLATE qvci NOT NULL DEFAULT '',
    strWeb text COLLATE qvci NOT NULL DEFAULT '',
    strLock text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Person_Mandant ON Person (lMandantID);
CREATE INDEX Person_Name ON Person (strName, strVorname);

-- lAktGradRang: the rank of the person's current grade (0 without grade).
CREATE VIEW view_PersonSmall AS
SELECT p.lPersonID, p.guid, p.lMandantID, p.strName, p.strVorname,
       trim(p.strName || ' ' || p.strVorname) COLLATE qvci AS strPerson,
       p.fActive, p.fWeiblich, p.strPersonNr, p.strAdresse1L, p.lOrtID,
       coalesce(o.strPLZOrt, '') COLLATE qvci AS strPLZOrt, coalesce(o.strPLZOrtEx, '') COLLATE qvci AS strPLZOrtEx,
       p.lCAktGradID, coalesce(g.lRang, 0) AS lAktGradRang,
       p.lTelefonP, p.lTelefonG, p.lMobilP, p.lMobilG, p.lEMailP, p.lEMailG, p.lPager,
       p.strFaxNr, p.strWeb, p.strSprache
FROM Person p
     LEFT JOIN view_Ort o ON p.lOrtID = o.lOrtID
     LEFT JOIN Grad g ON p.lCAktGradID = g.lGradID;

-- lTyp of a device: 6 = e-mail; the other kinds belong to the device administration.
CREATE TABLE Device (
    lDeviceID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    lPersonID integer NOT NULL DEFAULT -1,
    lTyp integer NOT NULL DEFAULT 0,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strStatus text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Device_Person ON Device (lPersonID, lTyp);

-- lTyp of a number: 0 = the number in use (the one that is called or mailed).
CREATE TABLE Devicenumber (
    lDevicenumberID integer PRIMARY KEY,
    lDeviceID integer NOT NULL DEFAULT -1,
    lTyp integer NOT NULL DEFAULT 0,
    strNr text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Devicenumber_Device ON Devicenumber (lDeviceID, lTyp);

CREATE VIEW view_DevicenumberCall AS
SELECT lDeviceID, strNr FROM Devicenumber WHERE lTyp = 0;

CREATE TABLE Contact (
    lContactID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lPersonID integer NOT NULL DEFAULT -1,
    lOrtID integer NOT NULL DEFAULT 0,
    strName text COLLATE qvci NOT NULL DEFAULT '',
    strVorname text COLLATE qvci NOT NULL DEFAULT '',
    strFirma text COLLATE qvci NOT NULL DEFAULT '',
    strAdresse1L text COLLATE qvci NOT NULL DEFAULT '',
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    strTelefonP text COLLATE qvci NOT NULL DEFAULT '',
    strTelefonG text COLLATE qvci NOT NULL DEFAULT '',
    strMobilP text COLLATE qvci NOT NULL DEFAULT '',
    strMobilG text COLLATE qvci NOT NULL DEFAULT '',
    strEMailP text COLLATE qvci NOT NULL DEFAULT '',
    strEMailG text COLLATE qvci NOT NULL DEFAULT '',
    strFax text COLLATE qvci NOT NULL DEFAULT '',
    strWeb text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Contact_Person ON Contact (lPersonID);
-- The security user's contact, by QvSecUser.strUserID.
CREATE INDEX Contact_Guid ON Contact (guid);

CREATE TABLE Kategorie (
    lKategorieID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE ContactKategorie (
    lContactKategorieID integer PRIMARY KEY,
    lContactID integer NOT NULL DEFAULT -1,
    lKategorieID integer NOT NULL DEFAULT -1
);
CREATE INDEX ContactKategorie_Contact ON ContactKategorie (lContactID);

CREATE TABLE VIP (
    lVIPID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    fKursNotificationReceiver integer NOT NULL DEFAULT 0
);

CREATE TABLE VIPPersonMandant (
    lVIPPersonMandantID integer PRIMARY KEY,
    lVIPID integer NOT NULL DEFAULT -1,
    lPersonID integer NOT NULL DEFAULT -1,
    lMandantID integer NOT NULL DEFAULT -1
);
CREATE INDEX VIPPersonMandant_Mandant ON VIPPersonMandant (lMandantID);

-- Functions (roles) that a person holds; dtEnde '1899-12-30 00:00:00' = no end.
CREATE TABLE Funktion (
    lFunktionID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strKurzbezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE PersonFunktion (
    lPersonFunktionID integer PRIMARY KEY,
    lPersonID integer NOT NULL DEFAULT -1,
    lFunktionID integer NOT NULL DEFAULT -1,
    dtStart timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtEnde timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    fActive integer NOT NULL DEFAULT 1,
    fHauptFunktion integer NOT NULL DEFAULT 0
);
CREATE INDEX PersonFunktion_Person ON PersonFunktion (lPersonID);
CREATE INDEX PersonFunktion_Funktion ON PersonFunktion (lFunktionID);

CREATE TABLE Absenzgrund (
    lAbsenzgrundID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

-- Includes the row -1 (no reason) so that the registration editor can offer "none".
CREATE VIEW view_Absenzgrund AS
SELECT lAbsenzgrundID, strBezeichnung FROM Absenzgrund;

-- Absences of persons (holidays, illness ...); day-based, dtEnde is the last day.
CREATE TABLE Personabsenz (
    lPersonabsenzID integer PRIMARY KEY,
    lPersonID integer NOT NULL DEFAULT -1,
    lAbsenzgrundID integer NOT NULL DEFAULT -1,
    dtStart timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtEnde timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    strBemerkung text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Personabsenz_Person ON Personabsenz (lPersonID);

CREATE VIEW view_Personabsenz AS
SELECT a.lPersonabsenzID, a.lPersonID, a.lAbsenzgrundID, coalesce(g.strBezeichnung, '') COLLATE qvci AS strBezeichnung,
       a.dtStart, a.dtEnde, a.strBemerkung
FROM Personabsenz a LEFT JOIN Absenzgrund g ON a.lAbsenzgrundID = g.lAbsenzgrundID;

-- ---------------------------------------------------------------------------------------------
-- Security
-- ---------------------------------------------------------------------------------------------

-- strUserID: the GUID text of the user's Contact row (upper case, no braces).
CREATE TABLE QvSecUser (
    lQvSecUserID integer PRIMARY KEY,
    strUserID text COLLATE qvci NOT NULL DEFAULT '',
    strName text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX QvSecUser_UserID ON QvSecUser (strUserID);

-- Rights of a user on the records of a Mandant, per table id.
CREATE TABLE SecMandant (
    lSecMandantID integer PRIMARY KEY,
    lMandantID integer NOT NULL DEFAULT -1,
    lTableID integer NOT NULL DEFAULT 0,
    lQvSecUserID integer NOT NULL DEFAULT -1,
    lRight integer NOT NULL DEFAULT 0
);
CREATE INDEX SecMandant_Lookup ON SecMandant (lMandantID, lTableID, lQvSecUserID);

-- ---------------------------------------------------------------------------------------------
-- Labels, custom fields, documents, logs
-- ---------------------------------------------------------------------------------------------

-- lQvLanguageID: 1 German, 2 French, 3 Italian, 4 English.
CREATE TABLE QvLabel (
    lQvLabelID integer PRIMARY KEY,
    lQvLanguageID integer NOT NULL DEFAULT 1,
    lFkID integer NOT NULL DEFAULT 0,
    strName text COLLATE qvci NOT NULL DEFAULT '',
    strLabel text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX QvLabel_Name ON QvLabel (strName, lFkID, lQvLanguageID);

-- The labels in the system's language (German): one row per name and key, so joins do not
-- multiply the rows they label.
CREATE VIEW view_QvLabel AS
SELECT lQvLabelID, lFkID, strName, strLabel FROM QvLabel WHERE lQvLanguageID = 1;

-- lTableID: the table id of the records the field belongs to; fUsed4Search: the values take part
-- in the record search.
CREATE TABLE CustFieldType (
    lCFTypeID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lTableID integer NOT NULL DEFAULT 0,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    lOrder integer NOT NULL DEFAULT 0,
    fUsed4Search integer NOT NULL DEFAULT 0,
    fPublic integer NOT NULL DEFAULT 0
);
CREATE INDEX CustFieldType_Table ON CustFieldType (lTableID);

-- lID: the record (of the type's table). Rows are copied with INSERT ... SELECT without a key,
-- so the key is assigned by the database.
CREATE TABLE CustFieldValue (
    lCustFieldValueID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lCFTypeID integer NOT NULL DEFAULT -1,
    lID integer NOT NULL DEFAULT -1,
    strValue text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX CustFieldValue_Record ON CustFieldValue (lID, lCFTypeID);
CREATE INDEX CustFieldValue_Guid ON CustFieldValue (guid);

-- Audit trail, written by the user-log server. lGrouping ties the entries of one operation.
CREATE TABLE UserLog (
    lUserLogID integer PRIMARY KEY,
    lGrouping integer NOT NULL DEFAULT 0,
    dtTime timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    lKind integer NOT NULL DEFAULT 0,
    strText text COLLATE qvci NOT NULL DEFAULT '',
    strDetail text COLLATE qvci NOT NULL DEFAULT '',
    strModul text COLLATE qvci NOT NULL DEFAULT '',
    lCode integer NOT NULL DEFAULT 0,
    lTableID integer NOT NULL DEFAULT 0,
    guidRecord text COLLATE qvci NOT NULL DEFAULT '00000000-0000-0000-0000-000000000000',
    guidParent text COLLATE qvci NOT NULL DEFAULT '00000000-0000-0000-0000-000000000000',
    lValue integer NOT NULL DEFAULT 0,
    strUser text COLLATE qvci NOT NULL DEFAULT '',
    strComputer text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX UserLog_Modul ON UserLog (strModul, lCode, dtTime);
CREATE INDEX UserLog_Grouping ON UserLog (lGrouping);
CREATE INDEX UserLog_Record ON UserLog (guidRecord);

-- Documents attached to records (lTableID, lFkID) and their files.
CREATE TABLE DocMngmt (
    lDocMngmtID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lTableID integer NOT NULL DEFAULT 0,
    lFkID integer NOT NULL DEFAULT -1,
    lDocImageID integer NOT NULL DEFAULT -1
);
CREATE INDEX DocMngmt_Record ON DocMngmt (lTableID, lFkID);

CREATE TABLE DocImage (
    lDocImageID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    strFileName text COLLATE qvci NOT NULL DEFAULT '',
    strEditPath text COLLATE qvci NOT NULL DEFAULT '',
    imgDocument bytea,
    strLock text COLLATE qvci NOT NULL DEFAULT ''
);

-- Records that exist once per installation and are linked by guidID across Mandanten.
CREATE TABLE Organisation (
    lOrganisationID integer PRIMARY KEY,
    guidID text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE Konto (
    lKontoID integer PRIMARY KEY,
    guidID text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

-- Reports of the report server by profile; strLabel is the report's display name.
CREATE TABLE QvReportServerProfile (
    lQvReportServerProfileID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    strName text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE QvReportServerReport (
    lQvReportServerReportID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lQvReportServerProfileID integer NOT NULL DEFAULT -1,
    strReport text COLLATE qvci NOT NULL DEFAULT '',
    strLabel text COLLATE qvci NOT NULL DEFAULT '',
    strHelpID text COLLATE qvci NOT NULL DEFAULT '',
    strLanguage text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX QvReportServerReport_Profile ON QvReportServerReport (lQvReportServerProfileID);

CREATE VIEW view_QvReportServerReport AS
SELECT lQvReportServerReportID, lQvReportServerProfileID, strReport, guid, strLabel, strHelpID, strLanguage
FROM QvReportServerReport;

-- Self-test switches and results of the installation check.
CREATE TABLE QvTDDComputer (
    lQvTDDComputerID integer PRIMARY KEY,
    strComputer text COLLATE qvci NOT NULL DEFAULT '' UNIQUE,
    TDDEnabled integer NOT NULL DEFAULT 0
);

-- Written with INSERT without a key: the database assigns it.
CREATE TABLE QvTDDLog (
    lQvTDDLogID integer PRIMARY KEY,
    dtTime timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    strComputer text COLLATE qvci NOT NULL DEFAULT '',
    strAppID text COLLATE qvci NOT NULL DEFAULT '',
    strServer text COLLATE qvci NOT NULL DEFAULT '',
    strTest text COLLATE qvci NOT NULL DEFAULT '',
    strParam text COLLATE qvci NOT NULL DEFAULT '',
    eType integer NOT NULL DEFAULT 0,
    lResult integer NOT NULL DEFAULT 0,
    strHint text COLLATE qvci NOT NULL DEFAULT ''
);

-- ---------------------------------------------------------------------------------------------
-- Courses
-- ---------------------------------------------------------------------------------------------

-- lTyp: 1 federal, 2 cantonal, 3 local course. A course belongs to no Mandant: the quota editor
-- joins Kurs with MaxTeilnehmer and names MaxTeilnehmer's lMandantID without a table.
CREATE TABLE Kurs (
    lKursID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lTyp integer NOT NULL DEFAULT 3,
    fActive integer NOT NULL DEFAULT 1,
    strKurzbezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    dblProzOverbook double precision NOT NULL DEFAULT 0,
    strZielpublikum text COLLATE qvci NOT NULL DEFAULT '',
    strKursziel text COLLATE qvci NOT NULL DEFAULT '',
    strTenu text COLLATE qvci NOT NULL DEFAULT '',
    strMaterial text COLLATE qvci NOT NULL DEFAULT '',
    fMultiregistration integer NOT NULL DEFAULT 0,
    strLock text COLLATE qvci NOT NULL DEFAULT '',
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX Kurs_Guid ON Kurs (guid);

-- A run. dtDatum is the earliest start of its dates; the empty date in dtAnmeldenVon,
-- dtAnmeldenBis and dtAbgesagt means "not set" and in dtPublish "not published yet".
-- lOrtID 0 = no place chosen; lMinInstruktor 0 = no minimum.
CREATE TABLE Kursinstanz (
    lKursinstanzID integer PRIMARY KEY,
    lKursID integer NOT NULL DEFAULT -1,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    dtDatum timestamp(3) NOT NULL DEFAULT CAST(CURRENT_DATE AS timestamp(3)),
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    strOrt text COLLATE qvci NOT NULL DEFAULT '',
    strAdresse text COLLATE qvci NOT NULL DEFAULT '',
    lOrtID integer NOT NULL DEFAULT 0,
    strTreffpunkt text COLLATE qvci NOT NULL DEFAULT '',
    strLeitung text COLLATE qvci NOT NULL DEFAULT '',
    dblDauer double precision NOT NULL DEFAULT 1.0,
    strTenu text COLLATE qvci NOT NULL DEFAULT '',
    strParkplatz text COLLATE qvci NOT NULL DEFAULT '',
    strMaterial text COLLATE qvci NOT NULL DEFAULT '',
    strZielpublikum text COLLATE qvci NOT NULL DEFAULT '',
    strKursziel text COLLATE qvci NOT NULL DEFAULT '',
    lMaxTeilnehmer integer NOT NULL DEFAULT 0,
    lMinInstruktor integer NOT NULL DEFAULT 0,
    fGeschlossen integer NOT NULL DEFAULT 1,
    dtAnmeldenVon timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtAnmeldenBis timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtAbgesagt timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtPublish timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    strLock text COLLATE qvci NOT NULL DEFAULT '',
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
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
    lKursinstanzdateID integer PRIMARY KEY,
    lKursinstanzID integer NOT NULL DEFAULT -1,
    dtStart timestamp(3) NOT NULL DEFAULT CAST(CURRENT_DATE AS timestamp(3)),
    dtEnde timestamp(3),
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX Kursinstanzdate_Kursinstanz ON Kursinstanzdate (lKursinstanzID, dtStart);

-- Groups of a run (lKursinstanzID = the run, lKursID = -1) and the group template of a course
-- (lKursID = the course, lKursinstanzID = -1). A row is never both: the groups page lists a run's
-- groups by lKursinstanzID, and the template check counts rows by lKursID; run groups are inserted
-- without lKursID and get -1.
CREATE TABLE KursinstanzGruppe (
    lKursinstanzGruppeID integer PRIMARY KEY,
    lKursinstanzID integer NOT NULL DEFAULT -1,
    lKursID integer NOT NULL DEFAULT -1,
    lEinsatzGruppeID integer NOT NULL DEFAULT -1,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    lMaxTeilnehmer integer NOT NULL DEFAULT 0,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    CHECK (lKursinstanzID = -1 OR lKursID = -1)
);
CREATE INDEX KursinstanzGruppe_Kursinstanz ON KursinstanzGruppe (lKursinstanzID);
CREATE INDEX KursinstanzGruppe_Kurs ON KursinstanzGruppe (lKursID);

-- Internal remarks: one row per run (lKursinstanzID) or per course (lKursID, lKursinstanzID -1).
CREATE TABLE Kursbemerkung (
    lKursbemerkungID integer PRIMARY KEY,
    lKursID integer NOT NULL DEFAULT -1,
    lKursinstanzID integer NOT NULL DEFAULT -1,
    strBemerkungIntern text COLLATE qvci NOT NULL DEFAULT '',
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE UNIQUE INDEX Kursbemerkung_Kursinstanz ON Kursbemerkung (lKursinstanzID) WHERE lKursinstanzID <> -1;
CREATE UNIQUE INDEX Kursbemerkung_Kurs ON Kursbemerkung (lKursID) WHERE lKursinstanzID = -1;

-- Leadership roles that an instructor can hold in a course; the name is the function's.
CREATE TABLE Kursleitung (
    lKursleitungID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lFunktionID integer NOT NULL DEFAULT -1
);

-- A registration (participant or instructor) of a person in a course, with or without run.
-- lKursinstanzID, lKursinstanzGruppeID, lAbsenzgrundID and lKursleitungID are -1 for "none";
-- lStatus is 0..7; changedBy is fn_GetSystemID() of the writer.
CREATE TABLE PersonKurs (
    lPersonKursID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lPersonID integer NOT NULL DEFAULT -1,
    lKursID integer NOT NULL DEFAULT -1,
    lKursinstanzID integer NOT NULL DEFAULT -1,
    lKursinstanzGruppeID integer NOT NULL DEFAULT -1,
    lAbsenzgrundID integer NOT NULL DEFAULT -1,
    lKursleitungID integer NOT NULL DEFAULT -1,
    fTeilnehmer integer NOT NULL DEFAULT 1,
    fLeiter integer NOT NULL DEFAULT 0,
    fLinked integer NOT NULL DEFAULT 0,
    lStatus integer NOT NULL DEFAULT 0,
    dtDatum timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    dtAnmeldung timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    strGrundNichtBestanden text COLLATE qvci NOT NULL DEFAULT '',
    fEntschuldigt integer NOT NULL DEFAULT 0,
    strInstanzOrt text COLLATE qvci NOT NULL DEFAULT '',
    dblInstanzDauer double precision NOT NULL DEFAULT 0,
    strInstanzLeitung text COLLATE qvci NOT NULL DEFAULT '',
    changedBy integer NOT NULL DEFAULT 0,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
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
    lSecKursID integer PRIMARY KEY,
    lKursID integer NOT NULL DEFAULT -1,
    lKursinstanzID integer NOT NULL DEFAULT -1,
    lQvSecUserID integer NOT NULL DEFAULT -1,
    lRight integer NOT NULL DEFAULT 0,
    fValid integer NOT NULL DEFAULT 1
);
-- One row per object and user: a second row would list the course twice in every rights join.
CREATE UNIQUE INDEX SecKurs_Object ON SecKurs (lKursID, lKursinstanzID, lQvSecUserID);
CREATE INDEX SecKurs_Kursinstanz ON SecKurs (lKursinstanzID, lQvSecUserID);
CREATE INDEX SecKurs_User ON SecKurs (lQvSecUserID, lKursID);

-- Precondition rules of a course: lOperator of a rule 0..3, of an item 1/2.
CREATE TABLE Kursprecondition (
    lKurspreconditionID integer PRIMARY KEY,
    lKursID integer NOT NULL DEFAULT -1,
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    lOrder integer NOT NULL DEFAULT 0,
    lOperator integer NOT NULL DEFAULT 0,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX Kursprecondition_Kurs ON Kursprecondition (lKursID);

CREATE TABLE KurspreconditionItem (
    lKurspreconditionItemID integer PRIMARY KEY,
    lKurspreconditionID integer NOT NULL DEFAULT -1,
    lKursID integer NOT NULL DEFAULT -1,
    lOperator integer NOT NULL DEFAULT 1,
    lMaxYear integer NOT NULL DEFAULT 0,
    lLockYear integer NOT NULL DEFAULT 0,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX KurspreconditionItem_Precondition ON KurspreconditionItem (lKurspreconditionID);
CREATE INDEX KurspreconditionItem_Kurs ON KurspreconditionItem (lKursID);

-- Places a Mandant reserves in a course and year: one row per Mandant, course and year.
CREATE TABLE Kursreservation (
    lKursreservationID integer PRIMARY KEY,
    lMandantID integer NOT NULL DEFAULT -1,
    lKursID integer NOT NULL DEFAULT -1,
    lYear integer NOT NULL DEFAULT 0,
    lAnzahl integer NOT NULL DEFAULT 0,
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE UNIQUE INDEX Kursreservation_Key ON Kursreservation (lMandantID, lKursID, lYear);
CREATE INDEX Kursreservation_Kurs ON Kursreservation (lKursID);

-- The budget module: the accounts of each Mandant (a standard account answers for a kind of record
-- and side when the record has no account linked), the account linked to a booked record on one
-- side (-1 expense, 1 income) and the budgeted amount of a record on one side.
CREATE TABLE BudgetKonto (
    lBudgetKontoID integer PRIMARY KEY,
    lMandantID integer NOT NULL DEFAULT -1,
    strNummer text COLLATE qvci NOT NULL DEFAULT '',
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    lStdTyp integer NOT NULL DEFAULT 0,
    lStdArt integer NOT NULL DEFAULT 0,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX BudgetKonto_Mandant ON BudgetKonto (lMandantID, lStdTyp, lStdArt);
CREATE TABLE BudgetKontoLink (
    lBudgetKontoLinkID integer PRIMARY KEY,
    lTableID integer NOT NULL DEFAULT 0,
    lRecordID integer NOT NULL DEFAULT 0,
    lLinkTyp integer NOT NULL DEFAULT 0,
    lMandantID integer NOT NULL DEFAULT -1,
    lBudgetKontoID integer NOT NULL DEFAULT -1,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE UNIQUE INDEX BudgetKontoLink_Record ON BudgetKontoLink (lTableID, lRecordID, lLinkTyp, lMandantID);
CREATE TABLE BudgetBuchungssatz (
    lBudgetBuchungssatzID integer PRIMARY KEY,
    lTableID integer NOT NULL DEFAULT 0,
    lRecordID integer NOT NULL DEFAULT 0,
    lLinkTyp integer NOT NULL DEFAULT 0,
    lBudgetKontoID integer NOT NULL DEFAULT -1,
    dtDatum timestamp(3),
    strText text COLLATE qvci NOT NULL DEFAULT '',
    lModified integer NOT NULL DEFAULT 0,
    curBetrag double precision NOT NULL DEFAULT 0,
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE UNIQUE INDEX BudgetBuchungssatz_Record ON BudgetBuchungssatz (lTableID, lRecordID, lLinkTyp);

-- Participant quotas per course, Mandant and year (lYear 0 = every year).
CREATE TABLE MaxTeilnehmer (
    lMaxTeilnehmerID integer PRIMARY KEY,
    lKursID integer NOT NULL DEFAULT -1,
    lMandantID integer NOT NULL DEFAULT -1,
    lYear integer NOT NULL DEFAULT 0,
    lAnzahl integer NOT NULL DEFAULT 0,
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    dtTimestamp timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX MaxTeilnehmer_Kurs ON MaxTeilnehmer (lKursID, lMandantID, lYear);
CREATE INDEX MaxTeilnehmer_Mandant ON MaxTeilnehmer (lMandantID);

-- Queued notifications of registration changes: to a Mandant (lPersonID -1) or to one person.
-- dtSent is the empty date until the notification is sent.
CREATE TABLE Kursnotification (
    lKursnotificationID integer PRIMARY KEY,
    lMandantID integer NOT NULL DEFAULT -1,
    lPersonID integer NOT NULL DEFAULT -1,
    dtCreate timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    dtSent timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00'
);
CREATE INDEX Kursnotification_Open ON Kursnotification (lMandantID, lPersonID, dtSent);

-- lArt: 1 added, 2 status changed, 3 and 4 removed.
CREATE TABLE KursnotificationItem (
    lKursnotificationItemID integer PRIMARY KEY,
    lKursnotificationID integer NOT NULL DEFAULT -1,
    lPersonID integer NOT NULL DEFAULT -1,
    lKursID integer NOT NULL DEFAULT -1,
    lKursinstanzID integer NOT NULL DEFAULT -1,
    strPerson text COLLATE qvci NOT NULL DEFAULT '',
    strKurs text COLLATE qvci NOT NULL DEFAULT '',
    strKursinstanz text COLLATE qvci NOT NULL DEFAULT '',
    lArt integer NOT NULL DEFAULT 1,
    lStatus integer NOT NULL DEFAULT 0,
    dtChange timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP)
);
CREATE INDEX KursnotificationItem_Notification ON KursnotificationItem (lKursnotificationID);

-- Mail templates; their translations are QvLabel rows named KursnotificationMailtemplate_Subject,
-- _Header and _Footer with the template's key in lFkID.
CREATE TABLE KursnotificationMailtemplate (
    lKursnotificationMailtemplateID integer PRIMARY KEY,
    strName text COLLATE qvci NOT NULL DEFAULT '',
    strSubject text COLLATE qvci NOT NULL DEFAULT '',
    strHeader text COLLATE qvci NOT NULL DEFAULT '',
    strFooter text COLLATE qvci NOT NULL DEFAULT '',
    strCC text COLLATE qvci NOT NULL DEFAULT '',
    strBCC text COLLATE qvci NOT NULL DEFAULT ''
);

-- The course catalogue as the lists show it: strKurs is the course's display name.
CREATE VIEW view_Kurs AS
SELECT k.lKursID, k.guid, k.lTyp, k.fActive, k.strKurzbezeichnung, k.strBezeichnung,
       CASE WHEN k.strKurzbezeichnung <> '' AND k.strBezeichnung <> ''
            THEN k.strKurzbezeichnung || ', ' || k.strBezeichnung
            ELSE k.strKurzbezeichnung || k.strBezeichnung END COLLATE qvci AS strKurs
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
                        || replace(replace(replace(ki.strAdresse COLLATE "C", chr(13) || chr(10), ', '), chr(10), ', '), chr(13), ', ')
                   ELSE '' END
           || CASE WHEN coalesce(o.strPLZOrt, '') <> ''
                   THEN CASE WHEN ki.strOrt <> '' OR ki.strAdresse <> '' THEN ', ' ELSE '' END || o.strPLZOrt
                   ELSE '' END) COLLATE qvci AS strAnschrift1L
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
    lTableID integer NOT NULL,
    lID integer NOT NULL,
    strMode text COLLATE qvci NOT NULL DEFAULT '',
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    PRIMARY KEY (lTableID, lID, strMode)
);

CREATE VIEW view_CacheBezeichnung AS
SELECT lID, lTableID, strMode, strBezeichnung FROM CacheBezeichnung;

-- Where the texts come from; the triggers below copy them into the cache.
CREATE VIEW view_BezeichnungPerson AS
SELECT p.lPersonID AS lID,
       (trim(p.strName || ' ' || p.strVorname)
        || CASE WHEN coalesce(o.strOrt, '') <> '' THEN ', ' || o.strOrt ELSE '' END) COLLATE qvci AS strBezeichnung
FROM Person p LEFT JOIN Ort o ON p.lOrtID = o.lOrtID;

CREATE VIEW view_BezeichnungKursinstanz AS
SELECT ki.lKursinstanzID AS lID,
       (CASE WHEN ki.strBezeichnung <> '' THEN ki.strBezeichnung ELSE coalesce(k.strKurs, '') END
        || ' (' || to_char(ki.dtDatum, 'DD.MM.YYYY') || ')')
       COLLATE qvci AS strBezeichnung
FROM Kursinstanz ki LEFT JOIN view_Kurs k ON ki.lKursID = k.lKursID;




-- A renamed place renames the persons living there.


-- A renamed course also renames its runs that carry no name of their own.








-- ---------------------------------------------------------------------------------------------
-- Activities, agenda, pay
-- ---------------------------------------------------------------------------------------------

-- lEinsatzart: the kind of an activity type (the activity transfer offers kinds 0 and 4).
CREATE TABLE Einsatzart (
    lEinsatzartID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    fVisible integer NOT NULL DEFAULT 1,
    lEinsatzart integer NOT NULL DEFAULT 0
);

-- strAdresse1L is strAdresse on one line.
CREATE TABLE Einsatz (
    lEinsatzID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    lEinsatzartID integer NOT NULL DEFAULT -1,
    lOrtID integer NOT NULL DEFAULT 0,
    dtEinsatz timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    dtEinsatzBis timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtErfassung timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    strEreignis text COLLATE qvci NOT NULL DEFAULT '',
    strEinsatzNr text COLLATE qvci NOT NULL DEFAULT '',
    strEinsatzort text COLLATE qvci NOT NULL DEFAULT '',
    strAdresse text COLLATE qvci NOT NULL DEFAULT '',
    strAdresse1L text COLLATE qvci GENERATED ALWAYS AS (replace(replace(replace(strAdresse COLLATE "C", chr(13) || chr(10), ', '), chr(10), ', '), chr(13), ', ')) STORED
);
CREATE INDEX Einsatz_Mandant ON Einsatz (lMandantID, dtEinsatz);

-- Processing states of an activity; the one with the highest lOrder is current.
CREATE TABLE Einsatzstatus (
    lEinsatzstatusID integer PRIMARY KEY,
    lEinsatzID integer NOT NULL DEFAULT -1,
    lStatus integer NOT NULL DEFAULT 0,
    lOrder integer NOT NULL DEFAULT 0
);
CREATE INDEX Einsatzstatus_Einsatz ON Einsatzstatus (lEinsatzID, lOrder);

CREATE TABLE EinsatzGruppe (
    lEinsatzGruppeID integer PRIMARY KEY,
    lEinsatzID integer NOT NULL DEFAULT -1,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX EinsatzGruppe_Einsatz ON EinsatzGruppe (lEinsatzID);

-- The activity made from a run.
CREATE TABLE KursinstanzEinsatz (
    lKursinstanzEinsatzID integer PRIMARY KEY,
    lKursinstanzID integer NOT NULL DEFAULT -1,
    lEinsatzID integer NOT NULL DEFAULT -1
);
CREATE INDEX KursinstanzEinsatz_Kursinstanz ON KursinstanzEinsatz (lKursinstanzID);

-- Pay rates; lEinheit 4 = days.
CREATE TABLE Soldansatz (
    lSoldansatzID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    lEinheit integer NOT NULL DEFAULT 0,
    curAnsatz numeric(19,4) NOT NULL DEFAULT 0
);

CREATE TABLE PersonEinsatz (
    lPersonEinsatzID integer PRIMARY KEY,
    lEinsatzID integer NOT NULL DEFAULT -1,
    lSoldansatzID integer NOT NULL DEFAULT -1,
    lPersonID integer NOT NULL DEFAULT -1,
    lEinsatzGruppeID integer NOT NULL DEFAULT -1,
    curSold numeric(19,4) NOT NULL DEFAULT 0,
    fSoldKorrigiert integer NOT NULL DEFAULT 0,
    dblAnzahl double precision NOT NULL DEFAULT 0,
    curSoldansatz numeric(19,4) NOT NULL DEFAULT 0,
    curZuschlag numeric(19,4) NOT NULL DEFAULT 0,
    curErtrag numeric(19,4) NOT NULL DEFAULT 0,
    fErtragKorrigiert integer NOT NULL DEFAULT 0,
    curErtragansatz numeric(19,4) NOT NULL DEFAULT 0,
    curErtragzuschlag numeric(19,4) NOT NULL DEFAULT 0,
    dtVon timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtBis timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    strBemerkung text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX PersonEinsatz_Einsatz ON PersonEinsatz (lEinsatzID, lPersonID);

CREATE TABLE Absenz (
    lAbsenzID integer PRIMARY KEY,
    lEinsatzID integer NOT NULL DEFAULT -1,
    lAbsenzgrundID integer NOT NULL DEFAULT -1,
    lPersonID integer NOT NULL DEFAULT -1,
    fEntschuldigt integer NOT NULL DEFAULT 0,
    strBemerkung text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Absenz_Einsatz ON Absenz (lEinsatzID, lPersonID);

CREATE TABLE Ausbildungsstufe (
    lAusbildungsstufeID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

-- strAdresse1L is strAdresse on one line.
CREATE TABLE Agenda (
    lAgendaID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    lEinsatzID integer NOT NULL DEFAULT -1,
    lEinsatzartID integer NOT NULL DEFAULT -1,
    lAusbildungsstufeID integer NOT NULL DEFAULT -1,
    lOrtID integer NOT NULL DEFAULT 0,
    dtAktivitaet timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strObjekt text COLLATE qvci NOT NULL DEFAULT '',
    strAdresse text COLLATE qvci NOT NULL DEFAULT '',
    strLektionsart text COLLATE qvci NOT NULL DEFAULT '',
    strAdresse1L text COLLATE qvci GENERATED ALWAYS AS (replace(replace(replace(strAdresse COLLATE "C", chr(13) || chr(10), ', '), chr(10), ', '), chr(13), ', ')) STORED
);
CREATE INDEX Agenda_Mandant ON Agenda (lMandantID, dtAktivitaet);

CREATE TABLE Agendastatus (
    lAgendastatusID integer PRIMARY KEY,
    lAgendaID integer NOT NULL DEFAULT -1,
    lStatus integer NOT NULL DEFAULT 0,
    lOrder integer NOT NULL DEFAULT 0
);
CREATE INDEX Agendastatus_Agenda ON Agendastatus (lAgendaID, lOrder);

CREATE TABLE Abrechnung (
    lAbrechnungID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    dtDatum timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strBemerkung text COLLATE qvci NOT NULL DEFAULT '',
    strZahlungsgrund text COLLATE qvci NOT NULL DEFAULT '',
    fAHVAbrechnung integer NOT NULL DEFAULT 0,
    fCacheOK integer NOT NULL DEFAULT 0
);

CREATE TABLE Formation (
    lFormationID integer PRIMARY KEY,
    lMandantID integer NOT NULL DEFAULT -1,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE Arbeitsplan (
    lArbeitsplanID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    lFormationID integer NOT NULL DEFAULT -1,
    lEinsatzID integer NOT NULL DEFAULT -1,
    dtStart timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtEnde timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strArbeitsplanNr text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Arbeitsplan_Start ON Arbeitsplan (dtStart);

-- fSoldrelevant belongs to the activity (not to the assignment): the work-plan statement names it
-- without a table next to PersonArbeitsplan.
CREATE TABLE Taetigkeit (
    lTaetigkeitID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    fSoldrelevant integer NOT NULL DEFAULT 0
);

CREATE TABLE PersonArbeitsplan (
    lPersonArbeitsplanID integer PRIMARY KEY,
    lPersonID integer NOT NULL DEFAULT -1,
    lArbeitsplanID integer NOT NULL DEFAULT -1,
    lTaetigkeitID integer NOT NULL DEFAULT -1
);
CREATE INDEX PersonArbeitsplan_Arbeitsplan ON PersonArbeitsplan (lArbeitsplanID);

-- ---------------------------------------------------------------------------------------------
-- Groups, documents, material, areas
-- ---------------------------------------------------------------------------------------------

CREATE TABLE Gruppe (
    lGruppeID integer PRIMARY KEY,
    lMandantID integer NOT NULL DEFAULT -1,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE Dokumentart (
    lDokumentartID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE Dokument (
    lDokumentID integer PRIMARY KEY,
    lDokumentartID integer NOT NULL DEFAULT -1,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strVisum text COLLATE qvci NOT NULL DEFAULT '',
    strHeader text COLLATE qvci NOT NULL DEFAULT ''
);

-- guidMasterMandant: the GUID of the Mandant that owns an article or maintenance plan shared with
-- other Mandanten.
CREATE TABLE Artikel (
    lArtikelID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    guidMasterMandant text COLLATE qvci NOT NULL DEFAULT '00000000-0000-0000-0000-000000000000',
    lArtikeltypID integer NOT NULL DEFAULT 0,
    lStatus integer NOT NULL DEFAULT 0,
    fActive integer NOT NULL DEFAULT 1,
    dblCMenge double precision NOT NULL DEFAULT 0,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strKurzbezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strArtikelNr text COLLATE qvci NOT NULL DEFAULT '',
    strSerienNr text COLLATE qvci NOT NULL DEFAULT '',
    strIdentifikation text COLLATE qvci NOT NULL DEFAULT '',
    strBestNr text COLLATE qvci NOT NULL DEFAULT '',
    strSpecs text COLLATE qvci NOT NULL DEFAULT '',
    strStandort text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Artikel_Mandant ON Artikel (lMandantID);

CREATE VIEW view_Artikel AS
SELECT lArtikelID, guid, lMandantID, guidMasterMandant, lArtikeltypID, lStatus, fActive, dblCMenge,
       strBezeichnung, strKurzbezeichnung, strArtikelNr, strSerienNr, strIdentifikation, strBestNr,
       strSpecs, strStandort
FROM Artikel;

CREATE TABLE Artikeljournal (
    lArtikeljournalID integer PRIMARY KEY,
    lArtikelID integer NOT NULL DEFAULT -1,
    dtDatum timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    strBemerkung text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Artikeljournal_Artikel ON Artikeljournal (lArtikelID);

-- lZyklusUnit and lZyklus: the maintenance cycle (unit and count).
CREATE TABLE Wartungsplan (
    lWartungsplanID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lMandantID integer NOT NULL DEFAULT -1,
    guidMasterMandant text COLLATE qvci NOT NULL DEFAULT '00000000-0000-0000-0000-000000000000',
    lZyklusUnit integer NOT NULL DEFAULT 0,
    lZyklus integer NOT NULL DEFAULT 0,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strBemerkung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE VIEW view_Wartungsplan AS
SELECT lWartungsplanID, guid, lMandantID, guidMasterMandant, lZyklusUnit, lZyklus, strBezeichnung, strBemerkung
FROM Wartungsplan;

CREATE TABLE Wartungsjournal (
    lWartungsjournalID integer PRIMARY KEY,
    lArtikelID integer NOT NULL DEFAULT -1,
    lWartungsplanID integer NOT NULL DEFAULT -1,
    dtDatum timestamp(3) NOT NULL DEFAULT date_trunc('second', LOCALTIMESTAMP),
    strBemerkung text COLLATE qvci NOT NULL DEFAULT ''
);
CREATE INDEX Wartungsjournal_Artikel ON Wartungsjournal (lArtikelID);

CREATE TABLE Areaart (
    lAreaartID integer PRIMARY KEY,
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT ''
);

CREATE TABLE Area (
    lAreaID integer PRIMARY KEY,
    guid text COLLATE qvci NOT NULL DEFAULT upper(CAST(gen_random_uuid() AS text)),
    lAreaartID integer NOT NULL DEFAULT -1,
    strKurzbezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    strBezeichnung text COLLATE qvci NOT NULL DEFAULT '',
    fActive integer NOT NULL DEFAULT 1
);

CREATE VIEW view_Area AS
SELECT a.lAreaID, a.guid, a.strKurzbezeichnung, a.strBezeichnung, a.fActive, a.lAreaartID,
       coalesce(aa.strBezeichnung, '') COLLATE qvci AS strAreaart
FROM Area a LEFT JOIN Areaart aa ON a.lAreaartID = aa.lAreaartID;

-- The Mandanten of an area; fDeleted marks a membership that has ended.
CREATE TABLE AreaMandant (
    lAreaMandantID integer PRIMARY KEY,
    lAreaID integer NOT NULL DEFAULT -1,
    lMandantID integer NOT NULL DEFAULT -1,
    fDeleted integer NOT NULL DEFAULT 0
);
CREATE INDEX AreaMandant_Area ON AreaMandant (lAreaID);
CREATE INDEX AreaMandant_Mandant ON AreaMandant (lMandantID);

-- ---------------------------------------------------------------------------------------------
-- Row time stamps
-- ---------------------------------------------------------------------------------------------











-- ---------------------------------------------------------------------------------------------
-- What deleting a row does to the rows that refer to it
-- ---------------------------------------------------------------------------------------------

-- The data exchange must learn of deleted registrations.

-- Members of a deleted group become unassigned; otherwise they would show in no list.

-- A deleted run's registrations fall back to "no run" (they keep course, year and status);
-- what belongs to the run alone goes with it. The activity made from the run stays.

-- A course is deleted only when nothing of the people's records depends on it any more.





-- ---------------------------------------------------------------------------------------------
-- Activities made from course runs: budget data and pay deductions
-- ---------------------------------------------------------------------------------------------

-- The budget figures of an activity, computed from its pay rows by the incident recording.
CREATE TABLE EinsatzBudget (
    lEinsatzBudgetID integer PRIMARY KEY,
    lEinsatzID integer NOT NULL DEFAULT -1,
    lPersonen integer NOT NULL DEFAULT 0,
    dblAnzahl double precision NOT NULL DEFAULT 0,
    curSold numeric(19,4) NOT NULL DEFAULT 0,
    curErtrag numeric(19,4) NOT NULL DEFAULT 0
);
CREATE INDEX EinsatzBudget_Einsatz ON EinsatzBudget (lEinsatzID);

-- Amounts deducted from a person's pay of a rate within a period (lSoldansatzID -1: every rate).
CREATE TABLE SoldAbzug (
    lSoldAbzugID integer PRIMARY KEY,
    lPersonID integer NOT NULL DEFAULT -1,
    lSoldansatzID integer NOT NULL DEFAULT -1,
    dtVon timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    dtBis timestamp(3) NOT NULL DEFAULT '1899-12-30 00:00:00',
    curAbzug numeric(19,4) NOT NULL DEFAULT 0
);
CREATE INDEX SoldAbzug_Person ON SoldAbzug (lPersonID);

-- ---------------------------------------------------------------------------------------------
-- NULL becomes the column's default
-- ---------------------------------------------------------------------------------------------

CREATE FUNCTION dbo.System_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lSystemID IS NULL THEN NEW.lSystemID := (SELECT coalesce(max(lSystemID), 0) + 1 FROM System); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER System_Defaults BEFORE INSERT OR UPDATE ON System FOR EACH ROW EXECUTE FUNCTION dbo.System_Defaults();

CREATE FUNCTION dbo.DataExchange_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDataExchangeID IS NULL THEN NEW.lDataExchangeID := (SELECT coalesce(max(lDataExchangeID), 0) + 1 FROM DataExchange); END IF;
    IF NEW.fOnlineKursEnabled IS NULL THEN NEW.fOnlineKursEnabled := 0; END IF;
    IF NEW.strOnlineKursURL IS NULL THEN NEW.strOnlineKursURL := ''; END IF;
    IF NEW.lDefaultPersonKursStatus IS NULL THEN NEW.lDefaultPersonKursStatus := 0; END IF;
    IF NEW.fSwitchPersonAllowed IS NULL THEN NEW.fSwitchPersonAllowed := 0; END IF;
    IF NEW.fAutoAssignToInstanzAllowed IS NULL THEN NEW.fAutoAssignToInstanzAllowed := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER DataExchange_Defaults BEFORE INSERT OR UPDATE ON DataExchange FOR EACH ROW EXECUTE FUNCTION dbo.DataExchange_Defaults();

CREATE FUNCTION dbo.DeletedRow_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDeletedRowID IS NULL THEN NEW.lDeletedRowID := (SELECT coalesce(max(lDeletedRowID), 0) + 1 FROM DeletedRow); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER DeletedRow_Defaults BEFORE INSERT OR UPDATE ON DeletedRow FOR EACH ROW EXECUTE FUNCTION dbo.DeletedRow_Defaults();

CREATE FUNCTION dbo.Gemeinde_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lGemeindeID IS NULL THEN NEW.lGemeindeID := (SELECT coalesce(max(lGemeindeID), 0) + 1 FROM Gemeinde); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strKanton IS NULL THEN NEW.strKanton := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Gemeinde_Defaults BEFORE INSERT OR UPDATE ON Gemeinde FOR EACH ROW EXECUTE FUNCTION dbo.Gemeinde_Defaults();

CREATE FUNCTION dbo.Ort_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lOrtID IS NULL THEN NEW.lOrtID := (SELECT coalesce(max(lOrtID), 0) + 1 FROM Ort); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.strPLZ IS NULL THEN NEW.strPLZ := ''; END IF;
    IF NEW.strOrt IS NULL THEN NEW.strOrt := ''; END IF;
    IF NEW.strZusatz IS NULL THEN NEW.strZusatz := ''; END IF;
    IF NEW.lGemeindeID IS NULL THEN NEW.lGemeindeID := -1; END IF;
    IF NEW.lTyp IS NULL THEN NEW.lTyp := 1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Ort_Defaults BEFORE INSERT OR UPDATE ON Ort FOR EACH ROW EXECUTE FUNCTION dbo.Ort_Defaults();

CREATE FUNCTION dbo.Mandant_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := (SELECT coalesce(max(lMandantID), 0) + 1 FROM Mandant); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.strMandantName IS NULL THEN NEW.strMandantName := ''; END IF;
    IF NEW.strMandantTyp IS NULL THEN NEW.strMandantTyp := ''; END IF;
    IF NEW.lOrtID IS NULL THEN NEW.lOrtID := 0; END IF;
    IF NEW.fActive IS NULL THEN NEW.fActive := 1; END IF;
    IF NEW.fKursNotification IS NULL THEN NEW.fKursNotification := 0; END IF;
    IF NEW.strLock IS NULL THEN NEW.strLock := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Mandant_Defaults BEFORE INSERT OR UPDATE ON Mandant FOR EACH ROW EXECUTE FUNCTION dbo.Mandant_Defaults();

CREATE FUNCTION dbo.Grad_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lGradID IS NULL THEN NEW.lGradID := (SELECT coalesce(max(lGradID), 0) + 1 FROM Grad); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strKurzbezeichnung IS NULL THEN NEW.strKurzbezeichnung := ''; END IF;
    IF NEW.strKurzbezeichnungF IS NULL THEN NEW.strKurzbezeichnungF := ''; END IF;
    IF NEW.lRang IS NULL THEN NEW.lRang := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Grad_Defaults BEFORE INSERT OR UPDATE ON Grad FOR EACH ROW EXECUTE FUNCTION dbo.Grad_Defaults();

CREATE FUNCTION dbo.Person_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := (SELECT coalesce(max(lPersonID), 0) + 1 FROM Person); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.strName IS NULL THEN NEW.strName := ''; END IF;
    IF NEW.strVorname IS NULL THEN NEW.strVorname := ''; END IF;
    IF NEW.strPersonNr IS NULL THEN NEW.strPersonNr := ''; END IF;
    IF NEW.strAdresse1L IS NULL THEN NEW.strAdresse1L := ''; END IF;
    IF NEW.lOrtID IS NULL THEN NEW.lOrtID := 0; END IF;
    IF NEW.strSprache IS NULL THEN NEW.strSprache := 'DE'; END IF;
    IF NEW.fWeiblich IS NULL THEN NEW.fWeiblich := 0; END IF;
    IF NEW.fActive IS NULL THEN NEW.fActive := 1; END IF;
    IF NEW.lCAktGradID IS NULL THEN NEW.lCAktGradID := -1; END IF;
    IF NEW.lTelefonP IS NULL THEN NEW.lTelefonP := -1; END IF;
    IF NEW.lTelefonG IS NULL THEN NEW.lTelefonG := -1; END IF;
    IF NEW.lMobilP IS NULL THEN NEW.lMobilP := -1; END IF;
    IF NEW.lMobilG IS NULL THEN NEW.lMobilG := -1; END IF;
    IF NEW.lEMailP IS NULL THEN NEW.lEMailP := -1; END IF;
    IF NEW.lEMailG IS NULL THEN NEW.lEMailG := -1; END IF;
    IF NEW.lPager IS NULL THEN NEW.lPager := -1; END IF;
    IF NEW.strFaxNr IS NULL THEN NEW.strFaxNr := ''; END IF;
    IF NEW.strWeb IS NULL THEN NEW.strWeb := ''; END IF;
    IF NEW.strLock IS NULL THEN NEW.strLock := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Person_Defaults BEFORE INSERT OR UPDATE ON Person FOR EACH ROW EXECUTE FUNCTION dbo.Person_Defaults();

CREATE FUNCTION dbo.Device_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDeviceID IS NULL THEN NEW.lDeviceID := (SELECT coalesce(max(lDeviceID), 0) + 1 FROM Device); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lTyp IS NULL THEN NEW.lTyp := 0; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strStatus IS NULL THEN NEW.strStatus := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Device_Defaults BEFORE INSERT OR UPDATE ON Device FOR EACH ROW EXECUTE FUNCTION dbo.Device_Defaults();

CREATE FUNCTION dbo.Devicenumber_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDevicenumberID IS NULL THEN NEW.lDevicenumberID := (SELECT coalesce(max(lDevicenumberID), 0) + 1 FROM Devicenumber); END IF;
    IF NEW.lDeviceID IS NULL THEN NEW.lDeviceID := -1; END IF;
    IF NEW.lTyp IS NULL THEN NEW.lTyp := 0; END IF;
    IF NEW.strNr IS NULL THEN NEW.strNr := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Devicenumber_Defaults BEFORE INSERT OR UPDATE ON Devicenumber FOR EACH ROW EXECUTE FUNCTION dbo.Devicenumber_Defaults();

CREATE FUNCTION dbo.Contact_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lContactID IS NULL THEN NEW.lContactID := (SELECT coalesce(max(lContactID), 0) + 1 FROM Contact); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lOrtID IS NULL THEN NEW.lOrtID := 0; END IF;
    IF NEW.strName IS NULL THEN NEW.strName := ''; END IF;
    IF NEW.strVorname IS NULL THEN NEW.strVorname := ''; END IF;
    IF NEW.strFirma IS NULL THEN NEW.strFirma := ''; END IF;
    IF NEW.strAdresse1L IS NULL THEN NEW.strAdresse1L := ''; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.strTelefonP IS NULL THEN NEW.strTelefonP := ''; END IF;
    IF NEW.strTelefonG IS NULL THEN NEW.strTelefonG := ''; END IF;
    IF NEW.strMobilP IS NULL THEN NEW.strMobilP := ''; END IF;
    IF NEW.strMobilG IS NULL THEN NEW.strMobilG := ''; END IF;
    IF NEW.strEMailP IS NULL THEN NEW.strEMailP := ''; END IF;
    IF NEW.strEMailG IS NULL THEN NEW.strEMailG := ''; END IF;
    IF NEW.strFax IS NULL THEN NEW.strFax := ''; END IF;
    IF NEW.strWeb IS NULL THEN NEW.strWeb := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Contact_Defaults BEFORE INSERT OR UPDATE ON Contact FOR EACH ROW EXECUTE FUNCTION dbo.Contact_Defaults();

CREATE FUNCTION dbo.Kategorie_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKategorieID IS NULL THEN NEW.lKategorieID := (SELECT coalesce(max(lKategorieID), 0) + 1 FROM Kategorie); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kategorie_Defaults BEFORE INSERT OR UPDATE ON Kategorie FOR EACH ROW EXECUTE FUNCTION dbo.Kategorie_Defaults();

CREATE FUNCTION dbo.ContactKategorie_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lContactKategorieID IS NULL THEN NEW.lContactKategorieID := (SELECT coalesce(max(lContactKategorieID), 0) + 1 FROM ContactKategorie); END IF;
    IF NEW.lContactID IS NULL THEN NEW.lContactID := -1; END IF;
    IF NEW.lKategorieID IS NULL THEN NEW.lKategorieID := -1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER ContactKategorie_Defaults BEFORE INSERT OR UPDATE ON ContactKategorie FOR EACH ROW EXECUTE FUNCTION dbo.ContactKategorie_Defaults();

CREATE FUNCTION dbo.VIP_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lVIPID IS NULL THEN NEW.lVIPID := (SELECT coalesce(max(lVIPID), 0) + 1 FROM VIP); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.fKursNotificationReceiver IS NULL THEN NEW.fKursNotificationReceiver := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER VIP_Defaults BEFORE INSERT OR UPDATE ON VIP FOR EACH ROW EXECUTE FUNCTION dbo.VIP_Defaults();

CREATE FUNCTION dbo.VIPPersonMandant_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lVIPPersonMandantID IS NULL THEN NEW.lVIPPersonMandantID := (SELECT coalesce(max(lVIPPersonMandantID), 0) + 1 FROM VIPPersonMandant); END IF;
    IF NEW.lVIPID IS NULL THEN NEW.lVIPID := -1; END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER VIPPersonMandant_Defaults BEFORE INSERT OR UPDATE ON VIPPersonMandant FOR EACH ROW EXECUTE FUNCTION dbo.VIPPersonMandant_Defaults();

CREATE FUNCTION dbo.Funktion_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lFunktionID IS NULL THEN NEW.lFunktionID := (SELECT coalesce(max(lFunktionID), 0) + 1 FROM Funktion); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strKurzbezeichnung IS NULL THEN NEW.strKurzbezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Funktion_Defaults BEFORE INSERT OR UPDATE ON Funktion FOR EACH ROW EXECUTE FUNCTION dbo.Funktion_Defaults();

CREATE FUNCTION dbo.PersonFunktion_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lPersonFunktionID IS NULL THEN NEW.lPersonFunktionID := (SELECT coalesce(max(lPersonFunktionID), 0) + 1 FROM PersonFunktion); END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lFunktionID IS NULL THEN NEW.lFunktionID := -1; END IF;
    IF NEW.dtStart IS NULL THEN NEW.dtStart := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtEnde IS NULL THEN NEW.dtEnde := '1899-12-30 00:00:00'; END IF;
    IF NEW.fActive IS NULL THEN NEW.fActive := 1; END IF;
    IF NEW.fHauptFunktion IS NULL THEN NEW.fHauptFunktion := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER PersonFunktion_Defaults BEFORE INSERT OR UPDATE ON PersonFunktion FOR EACH ROW EXECUTE FUNCTION dbo.PersonFunktion_Defaults();

CREATE FUNCTION dbo.Absenzgrund_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAbsenzgrundID IS NULL THEN NEW.lAbsenzgrundID := (SELECT coalesce(max(lAbsenzgrundID), 0) + 1 FROM Absenzgrund); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Absenzgrund_Defaults BEFORE INSERT OR UPDATE ON Absenzgrund FOR EACH ROW EXECUTE FUNCTION dbo.Absenzgrund_Defaults();

CREATE FUNCTION dbo.Personabsenz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lPersonabsenzID IS NULL THEN NEW.lPersonabsenzID := (SELECT coalesce(max(lPersonabsenzID), 0) + 1 FROM Personabsenz); END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lAbsenzgrundID IS NULL THEN NEW.lAbsenzgrundID := -1; END IF;
    IF NEW.dtStart IS NULL THEN NEW.dtStart := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtEnde IS NULL THEN NEW.dtEnde := '1899-12-30 00:00:00'; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Personabsenz_Defaults BEFORE INSERT OR UPDATE ON Personabsenz FOR EACH ROW EXECUTE FUNCTION dbo.Personabsenz_Defaults();

CREATE FUNCTION dbo.QvSecUser_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lQvSecUserID IS NULL THEN NEW.lQvSecUserID := (SELECT coalesce(max(lQvSecUserID), 0) + 1 FROM QvSecUser); END IF;
    IF NEW.strUserID IS NULL THEN NEW.strUserID := ''; END IF;
    IF NEW.strName IS NULL THEN NEW.strName := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER QvSecUser_Defaults BEFORE INSERT OR UPDATE ON QvSecUser FOR EACH ROW EXECUTE FUNCTION dbo.QvSecUser_Defaults();

CREATE FUNCTION dbo.SecMandant_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lSecMandantID IS NULL THEN NEW.lSecMandantID := (SELECT coalesce(max(lSecMandantID), 0) + 1 FROM SecMandant); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lTableID IS NULL THEN NEW.lTableID := 0; END IF;
    IF NEW.lQvSecUserID IS NULL THEN NEW.lQvSecUserID := -1; END IF;
    IF NEW.lRight IS NULL THEN NEW.lRight := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER SecMandant_Defaults BEFORE INSERT OR UPDATE ON SecMandant FOR EACH ROW EXECUTE FUNCTION dbo.SecMandant_Defaults();

CREATE FUNCTION dbo.QvLabel_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lQvLabelID IS NULL THEN NEW.lQvLabelID := (SELECT coalesce(max(lQvLabelID), 0) + 1 FROM QvLabel); END IF;
    IF NEW.lQvLanguageID IS NULL THEN NEW.lQvLanguageID := 1; END IF;
    IF NEW.lFkID IS NULL THEN NEW.lFkID := 0; END IF;
    IF NEW.strName IS NULL THEN NEW.strName := ''; END IF;
    IF NEW.strLabel IS NULL THEN NEW.strLabel := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER QvLabel_Defaults BEFORE INSERT OR UPDATE ON QvLabel FOR EACH ROW EXECUTE FUNCTION dbo.QvLabel_Defaults();

CREATE FUNCTION dbo.CustFieldType_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lCFTypeID IS NULL THEN NEW.lCFTypeID := (SELECT coalesce(max(lCFTypeID), 0) + 1 FROM CustFieldType); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lTableID IS NULL THEN NEW.lTableID := 0; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.lOrder IS NULL THEN NEW.lOrder := 0; END IF;
    IF NEW.fUsed4Search IS NULL THEN NEW.fUsed4Search := 0; END IF;
    IF NEW.fPublic IS NULL THEN NEW.fPublic := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER CustFieldType_Defaults BEFORE INSERT OR UPDATE ON CustFieldType FOR EACH ROW EXECUTE FUNCTION dbo.CustFieldType_Defaults();

CREATE FUNCTION dbo.CustFieldValue_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lCustFieldValueID IS NULL THEN NEW.lCustFieldValueID := (SELECT coalesce(max(lCustFieldValueID), 0) + 1 FROM CustFieldValue); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lCFTypeID IS NULL THEN NEW.lCFTypeID := -1; END IF;
    IF NEW.lID IS NULL THEN NEW.lID := -1; END IF;
    IF NEW.strValue IS NULL THEN NEW.strValue := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER CustFieldValue_Defaults BEFORE INSERT OR UPDATE ON CustFieldValue FOR EACH ROW EXECUTE FUNCTION dbo.CustFieldValue_Defaults();

CREATE FUNCTION dbo.UserLog_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lUserLogID IS NULL THEN NEW.lUserLogID := (SELECT coalesce(max(lUserLogID), 0) + 1 FROM UserLog); END IF;
    IF NEW.lGrouping IS NULL THEN NEW.lGrouping := 0; END IF;
    IF NEW.dtTime IS NULL THEN NEW.dtTime := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.lKind IS NULL THEN NEW.lKind := 0; END IF;
    IF NEW.strText IS NULL THEN NEW.strText := ''; END IF;
    IF NEW.strDetail IS NULL THEN NEW.strDetail := ''; END IF;
    IF NEW.strModul IS NULL THEN NEW.strModul := ''; END IF;
    IF NEW.lCode IS NULL THEN NEW.lCode := 0; END IF;
    IF NEW.lTableID IS NULL THEN NEW.lTableID := 0; END IF;
    IF NEW.guidRecord IS NULL THEN NEW.guidRecord := '00000000-0000-0000-0000-000000000000'; END IF;
    IF NEW.guidParent IS NULL THEN NEW.guidParent := '00000000-0000-0000-0000-000000000000'; END IF;
    IF NEW.lValue IS NULL THEN NEW.lValue := 0; END IF;
    IF NEW.strUser IS NULL THEN NEW.strUser := ''; END IF;
    IF NEW.strComputer IS NULL THEN NEW.strComputer := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER UserLog_Defaults BEFORE INSERT OR UPDATE ON UserLog FOR EACH ROW EXECUTE FUNCTION dbo.UserLog_Defaults();

CREATE FUNCTION dbo.DocMngmt_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDocMngmtID IS NULL THEN NEW.lDocMngmtID := (SELECT coalesce(max(lDocMngmtID), 0) + 1 FROM DocMngmt); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lTableID IS NULL THEN NEW.lTableID := 0; END IF;
    IF NEW.lFkID IS NULL THEN NEW.lFkID := -1; END IF;
    IF NEW.lDocImageID IS NULL THEN NEW.lDocImageID := -1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER DocMngmt_Defaults BEFORE INSERT OR UPDATE ON DocMngmt FOR EACH ROW EXECUTE FUNCTION dbo.DocMngmt_Defaults();

CREATE FUNCTION dbo.DocImage_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDocImageID IS NULL THEN NEW.lDocImageID := (SELECT coalesce(max(lDocImageID), 0) + 1 FROM DocImage); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.strFileName IS NULL THEN NEW.strFileName := ''; END IF;
    IF NEW.strEditPath IS NULL THEN NEW.strEditPath := ''; END IF;
    IF NEW.strLock IS NULL THEN NEW.strLock := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER DocImage_Defaults BEFORE INSERT OR UPDATE ON DocImage FOR EACH ROW EXECUTE FUNCTION dbo.DocImage_Defaults();

CREATE FUNCTION dbo.Organisation_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lOrganisationID IS NULL THEN NEW.lOrganisationID := (SELECT coalesce(max(lOrganisationID), 0) + 1 FROM Organisation); END IF;
    IF NEW.guidID IS NULL THEN NEW.guidID := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Organisation_Defaults BEFORE INSERT OR UPDATE ON Organisation FOR EACH ROW EXECUTE FUNCTION dbo.Organisation_Defaults();

CREATE FUNCTION dbo.Konto_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKontoID IS NULL THEN NEW.lKontoID := (SELECT coalesce(max(lKontoID), 0) + 1 FROM Konto); END IF;
    IF NEW.guidID IS NULL THEN NEW.guidID := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Konto_Defaults BEFORE INSERT OR UPDATE ON Konto FOR EACH ROW EXECUTE FUNCTION dbo.Konto_Defaults();

CREATE FUNCTION dbo.QvReportServerProfile_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lQvReportServerProfileID IS NULL THEN NEW.lQvReportServerProfileID := (SELECT coalesce(max(lQvReportServerProfileID), 0) + 1 FROM QvReportServerProfile); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.strName IS NULL THEN NEW.strName := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER QvReportServerProfile_Defaults BEFORE INSERT OR UPDATE ON QvReportServerProfile FOR EACH ROW EXECUTE FUNCTION dbo.QvReportServerProfile_Defaults();

CREATE FUNCTION dbo.QvReportServerReport_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lQvReportServerReportID IS NULL THEN NEW.lQvReportServerReportID := (SELECT coalesce(max(lQvReportServerReportID), 0) + 1 FROM QvReportServerReport); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lQvReportServerProfileID IS NULL THEN NEW.lQvReportServerProfileID := -1; END IF;
    IF NEW.strReport IS NULL THEN NEW.strReport := ''; END IF;
    IF NEW.strLabel IS NULL THEN NEW.strLabel := ''; END IF;
    IF NEW.strHelpID IS NULL THEN NEW.strHelpID := ''; END IF;
    IF NEW.strLanguage IS NULL THEN NEW.strLanguage := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER QvReportServerReport_Defaults BEFORE INSERT OR UPDATE ON QvReportServerReport FOR EACH ROW EXECUTE FUNCTION dbo.QvReportServerReport_Defaults();

CREATE FUNCTION dbo.QvTDDComputer_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lQvTDDComputerID IS NULL THEN NEW.lQvTDDComputerID := (SELECT coalesce(max(lQvTDDComputerID), 0) + 1 FROM QvTDDComputer); END IF;
    IF NEW.strComputer IS NULL THEN NEW.strComputer := '' UNIQUE; END IF;
    IF NEW.TDDEnabled IS NULL THEN NEW.TDDEnabled := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER QvTDDComputer_Defaults BEFORE INSERT OR UPDATE ON QvTDDComputer FOR EACH ROW EXECUTE FUNCTION dbo.QvTDDComputer_Defaults();

CREATE FUNCTION dbo.QvTDDLog_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lQvTDDLogID IS NULL THEN NEW.lQvTDDLogID := (SELECT coalesce(max(lQvTDDLogID), 0) + 1 FROM QvTDDLog); END IF;
    IF NEW.dtTime IS NULL THEN NEW.dtTime := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.strComputer IS NULL THEN NEW.strComputer := ''; END IF;
    IF NEW.strAppID IS NULL THEN NEW.strAppID := ''; END IF;
    IF NEW.strServer IS NULL THEN NEW.strServer := ''; END IF;
    IF NEW.strTest IS NULL THEN NEW.strTest := ''; END IF;
    IF NEW.strParam IS NULL THEN NEW.strParam := ''; END IF;
    IF NEW.eType IS NULL THEN NEW.eType := 0; END IF;
    IF NEW.lResult IS NULL THEN NEW.lResult := 0; END IF;
    IF NEW.strHint IS NULL THEN NEW.strHint := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER QvTDDLog_Defaults BEFORE INSERT OR UPDATE ON QvTDDLog FOR EACH ROW EXECUTE FUNCTION dbo.QvTDDLog_Defaults();

CREATE FUNCTION dbo.Kurs_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursID IS NULL THEN NEW.lKursID := (SELECT coalesce(max(lKursID), 0) + 1 FROM Kurs); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lTyp IS NULL THEN NEW.lTyp := 3; END IF;
    IF NEW.fActive IS NULL THEN NEW.fActive := 1; END IF;
    IF NEW.strKurzbezeichnung IS NULL THEN NEW.strKurzbezeichnung := ''; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.dblProzOverbook IS NULL THEN NEW.dblProzOverbook := 0; END IF;
    IF NEW.strZielpublikum IS NULL THEN NEW.strZielpublikum := ''; END IF;
    IF NEW.strKursziel IS NULL THEN NEW.strKursziel := ''; END IF;
    IF NEW.strTenu IS NULL THEN NEW.strTenu := ''; END IF;
    IF NEW.strMaterial IS NULL THEN NEW.strMaterial := ''; END IF;
    IF NEW.fMultiregistration IS NULL THEN NEW.fMultiregistration := 0; END IF;
    IF NEW.strLock IS NULL THEN NEW.strLock := ''; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kurs_Defaults BEFORE INSERT OR UPDATE ON Kurs FOR EACH ROW EXECUTE FUNCTION dbo.Kurs_Defaults();

CREATE FUNCTION dbo.Kursinstanz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := (SELECT coalesce(max(lKursinstanzID), 0) + 1 FROM Kursinstanz); END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.dtDatum IS NULL THEN NEW.dtDatum := CAST(CURRENT_DATE AS timestamp(3)); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.strOrt IS NULL THEN NEW.strOrt := ''; END IF;
    IF NEW.strAdresse IS NULL THEN NEW.strAdresse := ''; END IF;
    IF NEW.lOrtID IS NULL THEN NEW.lOrtID := 0; END IF;
    IF NEW.strTreffpunkt IS NULL THEN NEW.strTreffpunkt := ''; END IF;
    IF NEW.strLeitung IS NULL THEN NEW.strLeitung := ''; END IF;
    IF NEW.dblDauer IS NULL THEN NEW.dblDauer := 1.0; END IF;
    IF NEW.strTenu IS NULL THEN NEW.strTenu := ''; END IF;
    IF NEW.strParkplatz IS NULL THEN NEW.strParkplatz := ''; END IF;
    IF NEW.strMaterial IS NULL THEN NEW.strMaterial := ''; END IF;
    IF NEW.strZielpublikum IS NULL THEN NEW.strZielpublikum := ''; END IF;
    IF NEW.strKursziel IS NULL THEN NEW.strKursziel := ''; END IF;
    IF NEW.lMaxTeilnehmer IS NULL THEN NEW.lMaxTeilnehmer := 0; END IF;
    IF NEW.lMinInstruktor IS NULL THEN NEW.lMinInstruktor := 0; END IF;
    IF NEW.fGeschlossen IS NULL THEN NEW.fGeschlossen := 1; END IF;
    IF NEW.dtAnmeldenVon IS NULL THEN NEW.dtAnmeldenVon := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtAnmeldenBis IS NULL THEN NEW.dtAnmeldenBis := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtAbgesagt IS NULL THEN NEW.dtAbgesagt := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtPublish IS NULL THEN NEW.dtPublish := '1899-12-30 00:00:00'; END IF;
    IF NEW.strLock IS NULL THEN NEW.strLock := ''; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kursinstanz_Defaults BEFORE INSERT OR UPDATE ON Kursinstanz FOR EACH ROW EXECUTE FUNCTION dbo.Kursinstanz_Defaults();

CREATE FUNCTION dbo.Kursinstanzdate_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursinstanzdateID IS NULL THEN NEW.lKursinstanzdateID := (SELECT coalesce(max(lKursinstanzdateID), 0) + 1 FROM Kursinstanzdate); END IF;
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := -1; END IF;
    IF NEW.dtStart IS NULL THEN NEW.dtStart := CAST(CURRENT_DATE AS timestamp(3)); END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kursinstanzdate_Defaults BEFORE INSERT OR UPDATE ON Kursinstanzdate FOR EACH ROW EXECUTE FUNCTION dbo.Kursinstanzdate_Defaults();

CREATE FUNCTION dbo.KursinstanzGruppe_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursinstanzGruppeID IS NULL THEN NEW.lKursinstanzGruppeID := (SELECT coalesce(max(lKursinstanzGruppeID), 0) + 1 FROM KursinstanzGruppe); END IF;
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := -1; END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lEinsatzGruppeID IS NULL THEN NEW.lEinsatzGruppeID := -1; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.lMaxTeilnehmer IS NULL THEN NEW.lMaxTeilnehmer := 0; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER KursinstanzGruppe_Defaults BEFORE INSERT OR UPDATE ON KursinstanzGruppe FOR EACH ROW EXECUTE FUNCTION dbo.KursinstanzGruppe_Defaults();

CREATE FUNCTION dbo.Kursbemerkung_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursbemerkungID IS NULL THEN NEW.lKursbemerkungID := (SELECT coalesce(max(lKursbemerkungID), 0) + 1 FROM Kursbemerkung); END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := -1; END IF;
    IF NEW.strBemerkungIntern IS NULL THEN NEW.strBemerkungIntern := ''; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kursbemerkung_Defaults BEFORE INSERT OR UPDATE ON Kursbemerkung FOR EACH ROW EXECUTE FUNCTION dbo.Kursbemerkung_Defaults();

CREATE FUNCTION dbo.Kursleitung_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursleitungID IS NULL THEN NEW.lKursleitungID := (SELECT coalesce(max(lKursleitungID), 0) + 1 FROM Kursleitung); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lFunktionID IS NULL THEN NEW.lFunktionID := -1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kursleitung_Defaults BEFORE INSERT OR UPDATE ON Kursleitung FOR EACH ROW EXECUTE FUNCTION dbo.Kursleitung_Defaults();

CREATE FUNCTION dbo.PersonKurs_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lPersonKursID IS NULL THEN NEW.lPersonKursID := (SELECT coalesce(max(lPersonKursID), 0) + 1 FROM PersonKurs); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := -1; END IF;
    IF NEW.lKursinstanzGruppeID IS NULL THEN NEW.lKursinstanzGruppeID := -1; END IF;
    IF NEW.lAbsenzgrundID IS NULL THEN NEW.lAbsenzgrundID := -1; END IF;
    IF NEW.lKursleitungID IS NULL THEN NEW.lKursleitungID := -1; END IF;
    IF NEW.fTeilnehmer IS NULL THEN NEW.fTeilnehmer := 1; END IF;
    IF NEW.fLeiter IS NULL THEN NEW.fLeiter := 0; END IF;
    IF NEW.fLinked IS NULL THEN NEW.fLinked := 0; END IF;
    IF NEW.lStatus IS NULL THEN NEW.lStatus := 0; END IF;
    IF NEW.dtDatum IS NULL THEN NEW.dtDatum := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.dtAnmeldung IS NULL THEN NEW.dtAnmeldung := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.strGrundNichtBestanden IS NULL THEN NEW.strGrundNichtBestanden := ''; END IF;
    IF NEW.fEntschuldigt IS NULL THEN NEW.fEntschuldigt := 0; END IF;
    IF NEW.strInstanzOrt IS NULL THEN NEW.strInstanzOrt := ''; END IF;
    IF NEW.dblInstanzDauer IS NULL THEN NEW.dblInstanzDauer := 0; END IF;
    IF NEW.strInstanzLeitung IS NULL THEN NEW.strInstanzLeitung := ''; END IF;
    IF NEW.changedBy IS NULL THEN NEW.changedBy := 0; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER PersonKurs_Defaults BEFORE INSERT OR UPDATE ON PersonKurs FOR EACH ROW EXECUTE FUNCTION dbo.PersonKurs_Defaults();

CREATE FUNCTION dbo.SecKurs_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lSecKursID IS NULL THEN NEW.lSecKursID := (SELECT coalesce(max(lSecKursID), 0) + 1 FROM SecKurs); END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := -1; END IF;
    IF NEW.lQvSecUserID IS NULL THEN NEW.lQvSecUserID := -1; END IF;
    IF NEW.lRight IS NULL THEN NEW.lRight := 0; END IF;
    IF NEW.fValid IS NULL THEN NEW.fValid := 1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER SecKurs_Defaults BEFORE INSERT OR UPDATE ON SecKurs FOR EACH ROW EXECUTE FUNCTION dbo.SecKurs_Defaults();

CREATE FUNCTION dbo.Kursprecondition_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKurspreconditionID IS NULL THEN NEW.lKurspreconditionID := (SELECT coalesce(max(lKurspreconditionID), 0) + 1 FROM Kursprecondition); END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.lOrder IS NULL THEN NEW.lOrder := 0; END IF;
    IF NEW.lOperator IS NULL THEN NEW.lOperator := 0; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kursprecondition_Defaults BEFORE INSERT OR UPDATE ON Kursprecondition FOR EACH ROW EXECUTE FUNCTION dbo.Kursprecondition_Defaults();

CREATE FUNCTION dbo.KurspreconditionItem_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKurspreconditionItemID IS NULL THEN NEW.lKurspreconditionItemID := (SELECT coalesce(max(lKurspreconditionItemID), 0) + 1 FROM KurspreconditionItem); END IF;
    IF NEW.lKurspreconditionID IS NULL THEN NEW.lKurspreconditionID := -1; END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lOperator IS NULL THEN NEW.lOperator := 1; END IF;
    IF NEW.lMaxYear IS NULL THEN NEW.lMaxYear := 0; END IF;
    IF NEW.lLockYear IS NULL THEN NEW.lLockYear := 0; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER KurspreconditionItem_Defaults BEFORE INSERT OR UPDATE ON KurspreconditionItem FOR EACH ROW EXECUTE FUNCTION dbo.KurspreconditionItem_Defaults();

CREATE FUNCTION dbo.Kursreservation_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursreservationID IS NULL THEN NEW.lKursreservationID := (SELECT coalesce(max(lKursreservationID), 0) + 1 FROM Kursreservation); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lYear IS NULL THEN NEW.lYear := 0; END IF;
    IF NEW.lAnzahl IS NULL THEN NEW.lAnzahl := 0; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kursreservation_Defaults BEFORE INSERT OR UPDATE ON Kursreservation FOR EACH ROW EXECUTE FUNCTION dbo.Kursreservation_Defaults();

CREATE FUNCTION dbo.BudgetKonto_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lBudgetKontoID IS NULL THEN NEW.lBudgetKontoID := (SELECT coalesce(max(lBudgetKontoID), 0) + 1 FROM BudgetKonto); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.strNummer IS NULL THEN NEW.strNummer := ''; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.lStdTyp IS NULL THEN NEW.lStdTyp := 0; END IF;
    IF NEW.lStdArt IS NULL THEN NEW.lStdArt := 0; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER BudgetKonto_Defaults BEFORE INSERT OR UPDATE ON BudgetKonto FOR EACH ROW EXECUTE FUNCTION dbo.BudgetKonto_Defaults();

CREATE FUNCTION dbo.BudgetKontoLink_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lBudgetKontoLinkID IS NULL THEN NEW.lBudgetKontoLinkID := (SELECT coalesce(max(lBudgetKontoLinkID), 0) + 1 FROM BudgetKontoLink); END IF;
    IF NEW.lTableID IS NULL THEN NEW.lTableID := 0; END IF;
    IF NEW.lRecordID IS NULL THEN NEW.lRecordID := 0; END IF;
    IF NEW.lLinkTyp IS NULL THEN NEW.lLinkTyp := 0; END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lBudgetKontoID IS NULL THEN NEW.lBudgetKontoID := -1; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER BudgetKontoLink_Defaults BEFORE INSERT OR UPDATE ON BudgetKontoLink FOR EACH ROW EXECUTE FUNCTION dbo.BudgetKontoLink_Defaults();

CREATE FUNCTION dbo.BudgetBuchungssatz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lBudgetBuchungssatzID IS NULL THEN NEW.lBudgetBuchungssatzID := (SELECT coalesce(max(lBudgetBuchungssatzID), 0) + 1 FROM BudgetBuchungssatz); END IF;
    IF NEW.lTableID IS NULL THEN NEW.lTableID := 0; END IF;
    IF NEW.lRecordID IS NULL THEN NEW.lRecordID := 0; END IF;
    IF NEW.lLinkTyp IS NULL THEN NEW.lLinkTyp := 0; END IF;
    IF NEW.lBudgetKontoID IS NULL THEN NEW.lBudgetKontoID := -1; END IF;
    IF NEW.strText IS NULL THEN NEW.strText := ''; END IF;
    IF NEW.lModified IS NULL THEN NEW.lModified := 0; END IF;
    IF NEW.curBetrag IS NULL THEN NEW.curBetrag := 0; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER BudgetBuchungssatz_Defaults BEFORE INSERT OR UPDATE ON BudgetBuchungssatz FOR EACH ROW EXECUTE FUNCTION dbo.BudgetBuchungssatz_Defaults();

CREATE FUNCTION dbo.MaxTeilnehmer_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lMaxTeilnehmerID IS NULL THEN NEW.lMaxTeilnehmerID := (SELECT coalesce(max(lMaxTeilnehmerID), 0) + 1 FROM MaxTeilnehmer); END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lYear IS NULL THEN NEW.lYear := 0; END IF;
    IF NEW.lAnzahl IS NULL THEN NEW.lAnzahl := 0; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.dtTimestamp IS NULL THEN NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER MaxTeilnehmer_Defaults BEFORE INSERT OR UPDATE ON MaxTeilnehmer FOR EACH ROW EXECUTE FUNCTION dbo.MaxTeilnehmer_Defaults();

CREATE FUNCTION dbo.Kursnotification_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursnotificationID IS NULL THEN NEW.lKursnotificationID := (SELECT coalesce(max(lKursnotificationID), 0) + 1 FROM Kursnotification); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.dtCreate IS NULL THEN NEW.dtCreate := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.dtSent IS NULL THEN NEW.dtSent := '1899-12-30 00:00:00'; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kursnotification_Defaults BEFORE INSERT OR UPDATE ON Kursnotification FOR EACH ROW EXECUTE FUNCTION dbo.Kursnotification_Defaults();

CREATE FUNCTION dbo.KursnotificationItem_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursnotificationItemID IS NULL THEN NEW.lKursnotificationItemID := (SELECT coalesce(max(lKursnotificationItemID), 0) + 1 FROM KursnotificationItem); END IF;
    IF NEW.lKursnotificationID IS NULL THEN NEW.lKursnotificationID := -1; END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lKursID IS NULL THEN NEW.lKursID := -1; END IF;
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := -1; END IF;
    IF NEW.strPerson IS NULL THEN NEW.strPerson := ''; END IF;
    IF NEW.strKurs IS NULL THEN NEW.strKurs := ''; END IF;
    IF NEW.strKursinstanz IS NULL THEN NEW.strKursinstanz := ''; END IF;
    IF NEW.lArt IS NULL THEN NEW.lArt := 1; END IF;
    IF NEW.lStatus IS NULL THEN NEW.lStatus := 0; END IF;
    IF NEW.dtChange IS NULL THEN NEW.dtChange := date_trunc('second', LOCALTIMESTAMP); END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER KursnotificationItem_Defaults BEFORE INSERT OR UPDATE ON KursnotificationItem FOR EACH ROW EXECUTE FUNCTION dbo.KursnotificationItem_Defaults();

CREATE FUNCTION dbo.KursnotificationMailtemplate_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursnotificationMailtemplateID IS NULL THEN NEW.lKursnotificationMailtemplateID := (SELECT coalesce(max(lKursnotificationMailtemplateID), 0) + 1 FROM KursnotificationMailtemplate); END IF;
    IF NEW.strName IS NULL THEN NEW.strName := ''; END IF;
    IF NEW.strSubject IS NULL THEN NEW.strSubject := ''; END IF;
    IF NEW.strHeader IS NULL THEN NEW.strHeader := ''; END IF;
    IF NEW.strFooter IS NULL THEN NEW.strFooter := ''; END IF;
    IF NEW.strCC IS NULL THEN NEW.strCC := ''; END IF;
    IF NEW.strBCC IS NULL THEN NEW.strBCC := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER KursnotificationMailtemplate_Defaults BEFORE INSERT OR UPDATE ON KursnotificationMailtemplate FOR EACH ROW EXECUTE FUNCTION dbo.KursnotificationMailtemplate_Defaults();

CREATE FUNCTION dbo.CacheBezeichnung_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER CacheBezeichnung_Defaults BEFORE INSERT OR UPDATE ON CacheBezeichnung FOR EACH ROW EXECUTE FUNCTION dbo.CacheBezeichnung_Defaults();

CREATE FUNCTION dbo.Einsatzart_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lEinsatzartID IS NULL THEN NEW.lEinsatzartID := (SELECT coalesce(max(lEinsatzartID), 0) + 1 FROM Einsatzart); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.fVisible IS NULL THEN NEW.fVisible := 1; END IF;
    IF NEW.lEinsatzart IS NULL THEN NEW.lEinsatzart := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Einsatzart_Defaults BEFORE INSERT OR UPDATE ON Einsatzart FOR EACH ROW EXECUTE FUNCTION dbo.Einsatzart_Defaults();

CREATE FUNCTION dbo.Einsatz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := (SELECT coalesce(max(lEinsatzID), 0) + 1 FROM Einsatz); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lEinsatzartID IS NULL THEN NEW.lEinsatzartID := -1; END IF;
    IF NEW.lOrtID IS NULL THEN NEW.lOrtID := 0; END IF;
    IF NEW.dtEinsatz IS NULL THEN NEW.dtEinsatz := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.dtEinsatzBis IS NULL THEN NEW.dtEinsatzBis := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtErfassung IS NULL THEN NEW.dtErfassung := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.strEreignis IS NULL THEN NEW.strEreignis := ''; END IF;
    IF NEW.strEinsatzNr IS NULL THEN NEW.strEinsatzNr := ''; END IF;
    IF NEW.strEinsatzort IS NULL THEN NEW.strEinsatzort := ''; END IF;
    IF NEW.strAdresse IS NULL THEN NEW.strAdresse := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Einsatz_Defaults BEFORE INSERT OR UPDATE ON Einsatz FOR EACH ROW EXECUTE FUNCTION dbo.Einsatz_Defaults();

CREATE FUNCTION dbo.Einsatzstatus_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lEinsatzstatusID IS NULL THEN NEW.lEinsatzstatusID := (SELECT coalesce(max(lEinsatzstatusID), 0) + 1 FROM Einsatzstatus); END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    IF NEW.lStatus IS NULL THEN NEW.lStatus := 0; END IF;
    IF NEW.lOrder IS NULL THEN NEW.lOrder := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Einsatzstatus_Defaults BEFORE INSERT OR UPDATE ON Einsatzstatus FOR EACH ROW EXECUTE FUNCTION dbo.Einsatzstatus_Defaults();

CREATE FUNCTION dbo.EinsatzGruppe_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lEinsatzGruppeID IS NULL THEN NEW.lEinsatzGruppeID := (SELECT coalesce(max(lEinsatzGruppeID), 0) + 1 FROM EinsatzGruppe); END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER EinsatzGruppe_Defaults BEFORE INSERT OR UPDATE ON EinsatzGruppe FOR EACH ROW EXECUTE FUNCTION dbo.EinsatzGruppe_Defaults();

CREATE FUNCTION dbo.KursinstanzEinsatz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lKursinstanzEinsatzID IS NULL THEN NEW.lKursinstanzEinsatzID := (SELECT coalesce(max(lKursinstanzEinsatzID), 0) + 1 FROM KursinstanzEinsatz); END IF;
    IF NEW.lKursinstanzID IS NULL THEN NEW.lKursinstanzID := -1; END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER KursinstanzEinsatz_Defaults BEFORE INSERT OR UPDATE ON KursinstanzEinsatz FOR EACH ROW EXECUTE FUNCTION dbo.KursinstanzEinsatz_Defaults();

CREATE FUNCTION dbo.Soldansatz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lSoldansatzID IS NULL THEN NEW.lSoldansatzID := (SELECT coalesce(max(lSoldansatzID), 0) + 1 FROM Soldansatz); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.lEinheit IS NULL THEN NEW.lEinheit := 0; END IF;
    IF NEW.curAnsatz IS NULL THEN NEW.curAnsatz := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Soldansatz_Defaults BEFORE INSERT OR UPDATE ON Soldansatz FOR EACH ROW EXECUTE FUNCTION dbo.Soldansatz_Defaults();

CREATE FUNCTION dbo.PersonEinsatz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lPersonEinsatzID IS NULL THEN NEW.lPersonEinsatzID := (SELECT coalesce(max(lPersonEinsatzID), 0) + 1 FROM PersonEinsatz); END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    IF NEW.lSoldansatzID IS NULL THEN NEW.lSoldansatzID := -1; END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lEinsatzGruppeID IS NULL THEN NEW.lEinsatzGruppeID := -1; END IF;
    IF NEW.curSold IS NULL THEN NEW.curSold := 0; END IF;
    IF NEW.fSoldKorrigiert IS NULL THEN NEW.fSoldKorrigiert := 0; END IF;
    IF NEW.dblAnzahl IS NULL THEN NEW.dblAnzahl := 0; END IF;
    IF NEW.curSoldansatz IS NULL THEN NEW.curSoldansatz := 0; END IF;
    IF NEW.curZuschlag IS NULL THEN NEW.curZuschlag := 0; END IF;
    IF NEW.curErtrag IS NULL THEN NEW.curErtrag := 0; END IF;
    IF NEW.fErtragKorrigiert IS NULL THEN NEW.fErtragKorrigiert := 0; END IF;
    IF NEW.curErtragansatz IS NULL THEN NEW.curErtragansatz := 0; END IF;
    IF NEW.curErtragzuschlag IS NULL THEN NEW.curErtragzuschlag := 0; END IF;
    IF NEW.dtVon IS NULL THEN NEW.dtVon := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtBis IS NULL THEN NEW.dtBis := '1899-12-30 00:00:00'; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER PersonEinsatz_Defaults BEFORE INSERT OR UPDATE ON PersonEinsatz FOR EACH ROW EXECUTE FUNCTION dbo.PersonEinsatz_Defaults();

CREATE FUNCTION dbo.Absenz_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAbsenzID IS NULL THEN NEW.lAbsenzID := (SELECT coalesce(max(lAbsenzID), 0) + 1 FROM Absenz); END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    IF NEW.lAbsenzgrundID IS NULL THEN NEW.lAbsenzgrundID := -1; END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.fEntschuldigt IS NULL THEN NEW.fEntschuldigt := 0; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Absenz_Defaults BEFORE INSERT OR UPDATE ON Absenz FOR EACH ROW EXECUTE FUNCTION dbo.Absenz_Defaults();

CREATE FUNCTION dbo.Ausbildungsstufe_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAusbildungsstufeID IS NULL THEN NEW.lAusbildungsstufeID := (SELECT coalesce(max(lAusbildungsstufeID), 0) + 1 FROM Ausbildungsstufe); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Ausbildungsstufe_Defaults BEFORE INSERT OR UPDATE ON Ausbildungsstufe FOR EACH ROW EXECUTE FUNCTION dbo.Ausbildungsstufe_Defaults();

CREATE FUNCTION dbo.Agenda_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAgendaID IS NULL THEN NEW.lAgendaID := (SELECT coalesce(max(lAgendaID), 0) + 1 FROM Agenda); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    IF NEW.lEinsatzartID IS NULL THEN NEW.lEinsatzartID := -1; END IF;
    IF NEW.lAusbildungsstufeID IS NULL THEN NEW.lAusbildungsstufeID := -1; END IF;
    IF NEW.lOrtID IS NULL THEN NEW.lOrtID := 0; END IF;
    IF NEW.dtAktivitaet IS NULL THEN NEW.dtAktivitaet := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strObjekt IS NULL THEN NEW.strObjekt := ''; END IF;
    IF NEW.strAdresse IS NULL THEN NEW.strAdresse := ''; END IF;
    IF NEW.strLektionsart IS NULL THEN NEW.strLektionsart := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Agenda_Defaults BEFORE INSERT OR UPDATE ON Agenda FOR EACH ROW EXECUTE FUNCTION dbo.Agenda_Defaults();

CREATE FUNCTION dbo.Agendastatus_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAgendastatusID IS NULL THEN NEW.lAgendastatusID := (SELECT coalesce(max(lAgendastatusID), 0) + 1 FROM Agendastatus); END IF;
    IF NEW.lAgendaID IS NULL THEN NEW.lAgendaID := -1; END IF;
    IF NEW.lStatus IS NULL THEN NEW.lStatus := 0; END IF;
    IF NEW.lOrder IS NULL THEN NEW.lOrder := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Agendastatus_Defaults BEFORE INSERT OR UPDATE ON Agendastatus FOR EACH ROW EXECUTE FUNCTION dbo.Agendastatus_Defaults();

CREATE FUNCTION dbo.Abrechnung_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAbrechnungID IS NULL THEN NEW.lAbrechnungID := (SELECT coalesce(max(lAbrechnungID), 0) + 1 FROM Abrechnung); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.dtDatum IS NULL THEN NEW.dtDatum := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    IF NEW.strZahlungsgrund IS NULL THEN NEW.strZahlungsgrund := ''; END IF;
    IF NEW.fAHVAbrechnung IS NULL THEN NEW.fAHVAbrechnung := 0; END IF;
    IF NEW.fCacheOK IS NULL THEN NEW.fCacheOK := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Abrechnung_Defaults BEFORE INSERT OR UPDATE ON Abrechnung FOR EACH ROW EXECUTE FUNCTION dbo.Abrechnung_Defaults();

CREATE FUNCTION dbo.Formation_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lFormationID IS NULL THEN NEW.lFormationID := (SELECT coalesce(max(lFormationID), 0) + 1 FROM Formation); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Formation_Defaults BEFORE INSERT OR UPDATE ON Formation FOR EACH ROW EXECUTE FUNCTION dbo.Formation_Defaults();

CREATE FUNCTION dbo.Arbeitsplan_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lArbeitsplanID IS NULL THEN NEW.lArbeitsplanID := (SELECT coalesce(max(lArbeitsplanID), 0) + 1 FROM Arbeitsplan); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.lFormationID IS NULL THEN NEW.lFormationID := -1; END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    IF NEW.dtStart IS NULL THEN NEW.dtStart := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtEnde IS NULL THEN NEW.dtEnde := '1899-12-30 00:00:00'; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strArbeitsplanNr IS NULL THEN NEW.strArbeitsplanNr := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Arbeitsplan_Defaults BEFORE INSERT OR UPDATE ON Arbeitsplan FOR EACH ROW EXECUTE FUNCTION dbo.Arbeitsplan_Defaults();

CREATE FUNCTION dbo.Taetigkeit_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lTaetigkeitID IS NULL THEN NEW.lTaetigkeitID := (SELECT coalesce(max(lTaetigkeitID), 0) + 1 FROM Taetigkeit); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.fSoldrelevant IS NULL THEN NEW.fSoldrelevant := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Taetigkeit_Defaults BEFORE INSERT OR UPDATE ON Taetigkeit FOR EACH ROW EXECUTE FUNCTION dbo.Taetigkeit_Defaults();

CREATE FUNCTION dbo.PersonArbeitsplan_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lPersonArbeitsplanID IS NULL THEN NEW.lPersonArbeitsplanID := (SELECT coalesce(max(lPersonArbeitsplanID), 0) + 1 FROM PersonArbeitsplan); END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lArbeitsplanID IS NULL THEN NEW.lArbeitsplanID := -1; END IF;
    IF NEW.lTaetigkeitID IS NULL THEN NEW.lTaetigkeitID := -1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER PersonArbeitsplan_Defaults BEFORE INSERT OR UPDATE ON PersonArbeitsplan FOR EACH ROW EXECUTE FUNCTION dbo.PersonArbeitsplan_Defaults();

CREATE FUNCTION dbo.Gruppe_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lGruppeID IS NULL THEN NEW.lGruppeID := (SELECT coalesce(max(lGruppeID), 0) + 1 FROM Gruppe); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Gruppe_Defaults BEFORE INSERT OR UPDATE ON Gruppe FOR EACH ROW EXECUTE FUNCTION dbo.Gruppe_Defaults();

CREATE FUNCTION dbo.Dokumentart_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDokumentartID IS NULL THEN NEW.lDokumentartID := (SELECT coalesce(max(lDokumentartID), 0) + 1 FROM Dokumentart); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Dokumentart_Defaults BEFORE INSERT OR UPDATE ON Dokumentart FOR EACH ROW EXECUTE FUNCTION dbo.Dokumentart_Defaults();

CREATE FUNCTION dbo.Dokument_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lDokumentID IS NULL THEN NEW.lDokumentID := (SELECT coalesce(max(lDokumentID), 0) + 1 FROM Dokument); END IF;
    IF NEW.lDokumentartID IS NULL THEN NEW.lDokumentartID := -1; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strVisum IS NULL THEN NEW.strVisum := ''; END IF;
    IF NEW.strHeader IS NULL THEN NEW.strHeader := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Dokument_Defaults BEFORE INSERT OR UPDATE ON Dokument FOR EACH ROW EXECUTE FUNCTION dbo.Dokument_Defaults();

CREATE FUNCTION dbo.Artikel_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lArtikelID IS NULL THEN NEW.lArtikelID := (SELECT coalesce(max(lArtikelID), 0) + 1 FROM Artikel); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.guidMasterMandant IS NULL THEN NEW.guidMasterMandant := '00000000-0000-0000-0000-000000000000'; END IF;
    IF NEW.lArtikeltypID IS NULL THEN NEW.lArtikeltypID := 0; END IF;
    IF NEW.lStatus IS NULL THEN NEW.lStatus := 0; END IF;
    IF NEW.fActive IS NULL THEN NEW.fActive := 1; END IF;
    IF NEW.dblCMenge IS NULL THEN NEW.dblCMenge := 0; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strKurzbezeichnung IS NULL THEN NEW.strKurzbezeichnung := ''; END IF;
    IF NEW.strArtikelNr IS NULL THEN NEW.strArtikelNr := ''; END IF;
    IF NEW.strSerienNr IS NULL THEN NEW.strSerienNr := ''; END IF;
    IF NEW.strIdentifikation IS NULL THEN NEW.strIdentifikation := ''; END IF;
    IF NEW.strBestNr IS NULL THEN NEW.strBestNr := ''; END IF;
    IF NEW.strSpecs IS NULL THEN NEW.strSpecs := ''; END IF;
    IF NEW.strStandort IS NULL THEN NEW.strStandort := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Artikel_Defaults BEFORE INSERT OR UPDATE ON Artikel FOR EACH ROW EXECUTE FUNCTION dbo.Artikel_Defaults();

CREATE FUNCTION dbo.Artikeljournal_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lArtikeljournalID IS NULL THEN NEW.lArtikeljournalID := (SELECT coalesce(max(lArtikeljournalID), 0) + 1 FROM Artikeljournal); END IF;
    IF NEW.lArtikelID IS NULL THEN NEW.lArtikelID := -1; END IF;
    IF NEW.dtDatum IS NULL THEN NEW.dtDatum := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Artikeljournal_Defaults BEFORE INSERT OR UPDATE ON Artikeljournal FOR EACH ROW EXECUTE FUNCTION dbo.Artikeljournal_Defaults();

CREATE FUNCTION dbo.Wartungsplan_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lWartungsplanID IS NULL THEN NEW.lWartungsplanID := (SELECT coalesce(max(lWartungsplanID), 0) + 1 FROM Wartungsplan); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.guidMasterMandant IS NULL THEN NEW.guidMasterMandant := '00000000-0000-0000-0000-000000000000'; END IF;
    IF NEW.lZyklusUnit IS NULL THEN NEW.lZyklusUnit := 0; END IF;
    IF NEW.lZyklus IS NULL THEN NEW.lZyklus := 0; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Wartungsplan_Defaults BEFORE INSERT OR UPDATE ON Wartungsplan FOR EACH ROW EXECUTE FUNCTION dbo.Wartungsplan_Defaults();

CREATE FUNCTION dbo.Wartungsjournal_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lWartungsjournalID IS NULL THEN NEW.lWartungsjournalID := (SELECT coalesce(max(lWartungsjournalID), 0) + 1 FROM Wartungsjournal); END IF;
    IF NEW.lArtikelID IS NULL THEN NEW.lArtikelID := -1; END IF;
    IF NEW.lWartungsplanID IS NULL THEN NEW.lWartungsplanID := -1; END IF;
    IF NEW.dtDatum IS NULL THEN NEW.dtDatum := date_trunc('second', LOCALTIMESTAMP); END IF;
    IF NEW.strBemerkung IS NULL THEN NEW.strBemerkung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Wartungsjournal_Defaults BEFORE INSERT OR UPDATE ON Wartungsjournal FOR EACH ROW EXECUTE FUNCTION dbo.Wartungsjournal_Defaults();

CREATE FUNCTION dbo.Areaart_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAreaartID IS NULL THEN NEW.lAreaartID := (SELECT coalesce(max(lAreaartID), 0) + 1 FROM Areaart); END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Areaart_Defaults BEFORE INSERT OR UPDATE ON Areaart FOR EACH ROW EXECUTE FUNCTION dbo.Areaart_Defaults();

CREATE FUNCTION dbo.Area_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAreaID IS NULL THEN NEW.lAreaID := (SELECT coalesce(max(lAreaID), 0) + 1 FROM Area); END IF;
    IF NEW.guid IS NULL THEN NEW.guid := upper(CAST(gen_random_uuid() AS text)); END IF;
    IF NEW.lAreaartID IS NULL THEN NEW.lAreaartID := -1; END IF;
    IF NEW.strKurzbezeichnung IS NULL THEN NEW.strKurzbezeichnung := ''; END IF;
    IF NEW.strBezeichnung IS NULL THEN NEW.strBezeichnung := ''; END IF;
    IF NEW.fActive IS NULL THEN NEW.fActive := 1; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Area_Defaults BEFORE INSERT OR UPDATE ON Area FOR EACH ROW EXECUTE FUNCTION dbo.Area_Defaults();

CREATE FUNCTION dbo.AreaMandant_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lAreaMandantID IS NULL THEN NEW.lAreaMandantID := (SELECT coalesce(max(lAreaMandantID), 0) + 1 FROM AreaMandant); END IF;
    IF NEW.lAreaID IS NULL THEN NEW.lAreaID := -1; END IF;
    IF NEW.lMandantID IS NULL THEN NEW.lMandantID := -1; END IF;
    IF NEW.fDeleted IS NULL THEN NEW.fDeleted := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER AreaMandant_Defaults BEFORE INSERT OR UPDATE ON AreaMandant FOR EACH ROW EXECUTE FUNCTION dbo.AreaMandant_Defaults();

CREATE FUNCTION dbo.EinsatzBudget_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lEinsatzBudgetID IS NULL THEN NEW.lEinsatzBudgetID := (SELECT coalesce(max(lEinsatzBudgetID), 0) + 1 FROM EinsatzBudget); END IF;
    IF NEW.lEinsatzID IS NULL THEN NEW.lEinsatzID := -1; END IF;
    IF NEW.lPersonen IS NULL THEN NEW.lPersonen := 0; END IF;
    IF NEW.dblAnzahl IS NULL THEN NEW.dblAnzahl := 0; END IF;
    IF NEW.curSold IS NULL THEN NEW.curSold := 0; END IF;
    IF NEW.curErtrag IS NULL THEN NEW.curErtrag := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER EinsatzBudget_Defaults BEFORE INSERT OR UPDATE ON EinsatzBudget FOR EACH ROW EXECUTE FUNCTION dbo.EinsatzBudget_Defaults();

CREATE FUNCTION dbo.SoldAbzug_Defaults() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.lSoldAbzugID IS NULL THEN NEW.lSoldAbzugID := (SELECT coalesce(max(lSoldAbzugID), 0) + 1 FROM SoldAbzug); END IF;
    IF NEW.lPersonID IS NULL THEN NEW.lPersonID := -1; END IF;
    IF NEW.lSoldansatzID IS NULL THEN NEW.lSoldansatzID := -1; END IF;
    IF NEW.dtVon IS NULL THEN NEW.dtVon := '1899-12-30 00:00:00'; END IF;
    IF NEW.dtBis IS NULL THEN NEW.dtBis := '1899-12-30 00:00:00'; END IF;
    IF NEW.curAbzug IS NULL THEN NEW.curAbzug := 0; END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER SoldAbzug_Defaults BEFORE INSERT OR UPDATE ON SoldAbzug FOR EACH ROW EXECUTE FUNCTION dbo.SoldAbzug_Defaults();

-- ---------------------------------------------------------------------------------------------
-- The text operator + (T-SQL's concatenation) and the functions the statements call as dbo.fn_...
-- They never give NULL where a text is expected: the searches concatenate their results.
-- ---------------------------------------------------------------------------------------------

CREATE FUNCTION dbo.qv_concat(a text, b text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT a || b';
CREATE OPERATOR public.+ (LEFTARG = text, RIGHTARG = text, FUNCTION = dbo.qv_concat);

-- The application user signed in on this connection (SET qv.system_id), written into changedBy
-- columns; 0 until set.
CREATE FUNCTION dbo.fn_GetSystemID() RETURNS integer LANGUAGE sql STABLE AS
$$ SELECT CAST(coalesce(nullif(current_setting('qv.system_id', true), ''), '0') AS integer) $$;

-- The display names live in CacheBezeichnung, so lists, logs and these functions agree. 'A' is the
-- only person mode in use; the language does not change a name.
CREATE FUNCTION dbo.fn_GetPersonBezeichnung(id integer, mode text) RETURNS text LANGUAGE sql STABLE AS
$$ SELECT coalesce((SELECT strBezeichnung FROM CacheBezeichnung WHERE lTableID = 4 AND lID = id AND strMode = 'A'), '') $$;
CREATE FUNCTION dbo.fn_GetPersonBezeichnungEx(id integer, mode text, language text) RETURNS text LANGUAGE sql STABLE AS
$$ SELECT dbo.fn_GetPersonBezeichnung(id, mode) $$;
CREATE FUNCTION dbo.fn_GetKursBezeichnung(id integer) RETURNS text LANGUAGE sql STABLE AS
$$ SELECT coalesce((SELECT strBezeichnung FROM CacheBezeichnung WHERE lTableID = 39 AND lID = id), '') $$;
CREATE FUNCTION dbo.fn_GetKursBezeichnungEx(id integer, language text) RETURNS text LANGUAGE sql STABLE AS
$$ SELECT dbo.fn_GetKursBezeichnung(id) $$;
CREATE FUNCTION dbo.fn_GetKursinstanzBezeichnung(id integer) RETURNS text LANGUAGE sql STABLE AS
$$ SELECT coalesce((SELECT strBezeichnung FROM CacheBezeichnung WHERE lTableID = 42 AND lID = id), '') $$;

-- 1 when the absence and the run share a day. A run's days are its dates (a date without end
-- lasts its start day); a run without dates lasts the day of dtDatum. An absence without end
-- (the empty date) lasts its start day.
CREATE FUNCTION dbo.fn_CheckAbsenz4Kurs(run integer, absence integer) RETURNS integer LANGUAGE sql STABLE AS $$
SELECT CASE WHEN EXISTS (
    SELECT 1 FROM Personabsenz a,
        (SELECT CAST(dtStart AS date) AS d1,
                CAST(CASE WHEN dtEnde IS NULL OR dtEnde = '1899-12-30 00:00:00' THEN dtStart ELSE dtEnde END AS date) AS d2
         FROM Kursinstanzdate WHERE lKursinstanzID = run
         UNION ALL
         SELECT CAST(dtDatum AS date), CAST(dtDatum AS date) FROM Kursinstanz
         WHERE lKursinstanzID = run AND NOT EXISTS (SELECT 1 FROM Kursinstanzdate WHERE lKursinstanzID = run)) r
    WHERE a.lPersonabsenzID = absence
      AND CAST(a.dtStart AS date) <= r.d2
      AND CAST(CASE WHEN a.dtEnde = '1899-12-30 00:00:00' THEN a.dtStart ELSE a.dtEnde END AS date) >= r.d1)
THEN 1 ELSE 0 END $$;

-- A phone number without its separators, so "044 123 45 67" is found as "0441234567".
CREATE FUNCTION dbo.fn_RemoveChars(s text) RETURNS text LANGUAGE sql IMMUTABLE AS
$$ SELECT coalesce(translate(s, E' \t-/.()''', ''), '') $$;

-- The values of the record's custom fields that take part in the search, separated by blanks.
-- PL/pgSQL keeps the query's plan between calls: the searches call it for every row they look at.
CREATE FUNCTION dbo.fn_GetCustFieldValuesUsed4Search(tableId integer, id integer) RETURNS text LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN coalesce((SELECT string_agg(v.strValue, ' ' ORDER BY t.lOrder, t.lCFTypeID, v.lCustFieldValueID)
                     FROM CustFieldValue v JOIN CustFieldType t ON v.lCFTypeID = t.lCFTypeID
                     WHERE t.lTableID = tableId AND t.fUsed4Search = 1 AND v.lID = id AND v.strValue <> ''), '');
END $$;

CREATE FUNCTION dbo.fn_GetFunktionBezeichnung(id integer) RETURNS text LANGUAGE sql STABLE AS
$$ SELECT coalesce((SELECT strBezeichnung FROM Funktion WHERE lFunktionID = id), '') $$;

-- "Nr Bezeichnung (dd.mm.yyyy)" with the plan's start day; empty parts are left out.
CREATE FUNCTION dbo.fn_GetArbeitsplanBezeichnung(id integer) RETURNS text LANGUAGE sql STABLE AS $$
SELECT coalesce((SELECT trim(trim(strArbeitsplanNr || ' ' || strBezeichnung) ||
                 CASE WHEN dtStart = '1899-12-30 00:00:00' THEN '' ELSE ' (' || to_char(dtStart, 'DD.MM.YYYY') || ')' END)
                 FROM Arbeitsplan WHERE lArbeitsplanID = id), '') $$;

CREATE FUNCTION dbo.fn_GetAreaBezeichnung(id integer) RETURNS text LANGUAGE sql STABLE AS $$
SELECT coalesce((SELECT CASE WHEN strKurzbezeichnung <> '' AND strBezeichnung <> ''
                             THEN strKurzbezeichnung || ', ' || strBezeichnung ELSE strKurzbezeichnung || strBezeichnung END
                 FROM Area WHERE lAreaID = id), '') $$;

-- The contact's categories as "a, b," (each followed by a comma; the list drops the last one).
CREATE FUNCTION dbo.fn_GetKategories4Contact(id integer) RETURNS text LANGUAGE sql STABLE AS $$
SELECT coalesce((SELECT string_agg(k.strBezeichnung || ',', ' ' ORDER BY k.strBezeichnung, k.lKategorieID)
                 FROM ContactKategorie ck JOIN Kategorie k ON ck.lKategorieID = k.lKategorieID
                 WHERE ck.lContactID = id), '') $$;

CREATE FUNCTION dbo.fn_GetTaetigkeitBezeichnung(id integer) RETURNS text LANGUAGE sql STABLE AS
$$ SELECT coalesce((SELECT strBezeichnung FROM Taetigkeit WHERE lTaetigkeitID = id), '') $$;

-- ---------------------------------------------------------------------------------------------
-- Procedures
-- ---------------------------------------------------------------------------------------------

-- The next key for a column of a table: never below 1, never handed out twice, always above the
-- column's largest value. The names are taken only as names the schema has, never as SQL.
CREATE FUNCTION dbo.sp_GetUniqueID(tableName text, columnName text) RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
    t text;
    c text;
    largest integer;
    drawn integer;
BEGIN
    SELECT relname INTO t FROM pg_class
    WHERE relkind = 'r' AND relnamespace = 'public'::regnamespace AND relname = lower(tableName);
    IF t IS NULL THEN
        RAISE EXCEPTION 'sp_GetUniqueID: no table %', tableName;
    END IF;
    SELECT attname INTO c FROM pg_attribute
    WHERE attrelid = ('public.' || quote_ident(t))::regclass AND attnum > 0 AND NOT attisdropped
      AND attname = lower(columnName);
    IF c IS NULL THEN
        RAISE EXCEPTION 'sp_GetUniqueID: no column % in %', columnName, t;
    END IF;
    EXECUTE format('SELECT coalesce(max(%I), 0) FROM public.%I', c, t) INTO largest;
    INSERT INTO UniqueIDCounter (strTable, strColumn, lLastID) VALUES (t, c, greatest(largest, 0) + 1)
    ON CONFLICT (strTable, strColumn) DO UPDATE SET lLastID = greatest(UniqueIDCounter.lLastID, largest) + 1
    RETURNING lLastID INTO drawn;
    RETURN drawn;
END $$;

-- Adds to the run the groups of its course's template; a name the run has already is not added
-- again. No template, or no such run: nothing happens.
CREATE FUNCTION dbo.sp_CreateKursinstanzGruppeFromTemplate(run integer) RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    course integer;
    g record;
BEGIN
    SELECT CASE WHEN lKursID > 0 THEN lKursID ELSE 0 END INTO course FROM Kursinstanz WHERE lKursinstanzID = run;
    IF coalesce(course, 0) = 0 THEN
        RETURN;
    END IF;
    FOR g IN SELECT strBezeichnung, lMaxTeilnehmer FROM KursinstanzGruppe
             WHERE lKursID = course AND lKursinstanzID = -1 ORDER BY lKursinstanzGruppeID LOOP
        IF NOT EXISTS (SELECT 1 FROM KursinstanzGruppe WHERE lKursinstanzID = run AND strBezeichnung = g.strBezeichnung) THEN
            INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lKursID, lEinsatzGruppeID,
                                           strBezeichnung, lMaxTeilnehmer)
            VALUES (dbo.sp_GetUniqueID('KursinstanzGruppe', 'lKursinstanzGruppeID'), run, -1, -1,
                    g.strBezeichnung, g.lMaxTeilnehmer);
        END IF;
    END LOOP;
END $$;

-- Makes the run's current groups the template of its course, replacing the earlier template.
CREATE FUNCTION dbo.sp_CreateKursinstanzGruppeTemplate(run integer) RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    course integer;
    g record;
BEGIN
    SELECT CASE WHEN lKursID > 0 THEN lKursID ELSE 0 END INTO course FROM Kursinstanz WHERE lKursinstanzID = run;
    IF coalesce(course, 0) = 0 THEN
        RETURN;
    END IF;
    CREATE TEMPORARY TABLE IF NOT EXISTS qv_groups (strBezeichnung text, lMaxTeilnehmer integer, n integer) ON COMMIT DROP;
    DELETE FROM qv_groups;
    INSERT INTO qv_groups SELECT strBezeichnung, lMaxTeilnehmer, lKursinstanzGruppeID FROM KursinstanzGruppe
    WHERE lKursinstanzID = run;
    DELETE FROM KursinstanzGruppe WHERE lKursID = course AND lKursinstanzID = -1;
    FOR g IN SELECT * FROM qv_groups ORDER BY n LOOP
        INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lKursID, lEinsatzGruppeID,
                                       strBezeichnung, lMaxTeilnehmer)
        VALUES (dbo.sp_GetUniqueID('KursinstanzGruppe', 'lKursinstanzGruppeID'), -1, course, -1,
                g.strBezeichnung, g.lMaxTeilnehmer);
    END LOOP;
    DROP TABLE qv_groups;
END $$;

-- ---------------------------------------------------------------------------------------------
-- Triggers
-- ---------------------------------------------------------------------------------------------

CREATE FUNCTION dbo.KeepRow() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'Die Tabelle % muss genau eine Zeile enthalten.', TG_ARGV[0];
END $$;
CREATE TRIGGER System_KeepRow BEFORE DELETE ON System FOR EACH ROW EXECUTE FUNCTION dbo.KeepRow('System');
CREATE TRIGGER DataExchange_KeepRow BEFORE DELETE ON DataExchange FOR EACH ROW
    EXECUTE FUNCTION dbo.KeepRow('DataExchange');

-- Every UPDATE renews the time stamp, unless the statement sets it itself.
CREATE FUNCTION dbo.RenewTimestamp() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.dtTimestamp IS NOT DISTINCT FROM OLD.dtTimestamp THEN
        NEW.dtTimestamp := date_trunc('second', LOCALTIMESTAMP);
    END IF;
    RETURN NEW;
END $$;
CREATE TRIGGER Kurs_Timestamp BEFORE UPDATE ON Kurs FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER Kursinstanz_Timestamp BEFORE UPDATE ON Kursinstanz FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER Kursinstanzdate_Timestamp BEFORE UPDATE ON Kursinstanzdate FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER KursinstanzGruppe_Timestamp BEFORE UPDATE ON KursinstanzGruppe FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER Kursbemerkung_Timestamp BEFORE UPDATE ON Kursbemerkung FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER PersonKurs_Timestamp BEFORE UPDATE ON PersonKurs FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER Kursprecondition_Timestamp BEFORE UPDATE ON Kursprecondition FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER KurspreconditionItem_Timestamp BEFORE UPDATE ON KurspreconditionItem FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER Kursreservation_Timestamp BEFORE UPDATE ON Kursreservation FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER MaxTeilnehmer_Timestamp BEFORE UPDATE ON MaxTeilnehmer FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER BudgetKonto_Timestamp BEFORE UPDATE ON BudgetKonto FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER BudgetKontoLink_Timestamp BEFORE UPDATE ON BudgetKontoLink FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();
CREATE TRIGGER BudgetBuchungssatz_Timestamp BEFORE UPDATE ON BudgetBuchungssatz FOR EACH ROW EXECUTE FUNCTION dbo.RenewTimestamp();

-- The display-name cache (see CacheBezeichnung).
CREATE FUNCTION dbo.CachePerson() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP <> 'INSERT' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 4 AND lID = OLD.lPersonID;
    END IF;
    IF TG_OP <> 'DELETE' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 4 AND lID = NEW.lPersonID;
        INSERT INTO CacheBezeichnung (lTableID, lID, strMode, strBezeichnung)
        SELECT 4, lID, 'A', strBezeichnung FROM view_BezeichnungPerson WHERE lID = NEW.lPersonID;
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER Person_Bezeichnung_Insert AFTER INSERT ON Person FOR EACH ROW EXECUTE FUNCTION dbo.CachePerson();
CREATE TRIGGER Person_Bezeichnung_Update AFTER UPDATE OF lPersonID, strName, strVorname, lOrtID ON Person
    FOR EACH ROW EXECUTE FUNCTION dbo.CachePerson();
CREATE TRIGGER Person_Bezeichnung_Delete AFTER DELETE ON Person FOR EACH ROW EXECUTE FUNCTION dbo.CachePerson();

-- A renamed place renames the persons living there.
CREATE FUNCTION dbo.CacheOrt() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM CacheBezeichnung WHERE lTableID = 4
        AND lID IN (SELECT lPersonID FROM Person WHERE lOrtID = NEW.lOrtID);
    INSERT INTO CacheBezeichnung (lTableID, lID, strMode, strBezeichnung)
    SELECT 4, lID, 'A', strBezeichnung FROM view_BezeichnungPerson
    WHERE lID IN (SELECT lPersonID FROM Person WHERE lOrtID = NEW.lOrtID);
    RETURN NULL;
END $$;
CREATE TRIGGER Ort_Bezeichnung_Update AFTER UPDATE OF strOrt ON Ort FOR EACH ROW EXECUTE FUNCTION dbo.CacheOrt();

-- A renamed course also renames its runs that carry no name of their own.
CREATE FUNCTION dbo.CacheKurs() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP <> 'INSERT' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 39 AND lID = OLD.lKursID;
    END IF;
    IF TG_OP <> 'DELETE' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 39 AND lID = NEW.lKursID;
        INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
        SELECT 39, lKursID, strKurs FROM view_Kurs WHERE lKursID = NEW.lKursID;
    END IF;
    IF TG_OP = 'UPDATE' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 42
            AND lID IN (SELECT lKursinstanzID FROM Kursinstanz WHERE lKursID = NEW.lKursID);
        INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
        SELECT 42, lID, strBezeichnung FROM view_BezeichnungKursinstanz
        WHERE lID IN (SELECT lKursinstanzID FROM Kursinstanz WHERE lKursID = NEW.lKursID);
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER Kurs_Bezeichnung_Insert AFTER INSERT ON Kurs FOR EACH ROW EXECUTE FUNCTION dbo.CacheKurs();
CREATE TRIGGER Kurs_Bezeichnung_Update AFTER UPDATE OF lKursID, strKurzbezeichnung, strBezeichnung ON Kurs
    FOR EACH ROW EXECUTE FUNCTION dbo.CacheKurs();
CREATE TRIGGER Kurs_Bezeichnung_Delete AFTER DELETE ON Kurs FOR EACH ROW EXECUTE FUNCTION dbo.CacheKurs();

CREATE FUNCTION dbo.CacheKursinstanz() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP <> 'INSERT' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 42 AND lID = OLD.lKursinstanzID;
    END IF;
    IF TG_OP <> 'DELETE' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 42 AND lID = NEW.lKursinstanzID;
        INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung)
        SELECT 42, lID, strBezeichnung FROM view_BezeichnungKursinstanz WHERE lID = NEW.lKursinstanzID;
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER Kursinstanz_Bezeichnung_Insert AFTER INSERT ON Kursinstanz FOR EACH ROW EXECUTE FUNCTION dbo.CacheKursinstanz();
CREATE TRIGGER Kursinstanz_Bezeichnung_Update AFTER UPDATE OF lKursinstanzID, lKursID, strBezeichnung, dtDatum ON Kursinstanz
    FOR EACH ROW EXECUTE FUNCTION dbo.CacheKursinstanz();
CREATE TRIGGER Kursinstanz_Bezeichnung_Delete AFTER DELETE ON Kursinstanz FOR EACH ROW EXECUTE FUNCTION dbo.CacheKursinstanz();

CREATE FUNCTION dbo.CacheMandant() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP <> 'INSERT' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 45 AND lID = OLD.lMandantID;
    END IF;
    IF TG_OP <> 'DELETE' THEN
        DELETE FROM CacheBezeichnung WHERE lTableID = 45 AND lID = NEW.lMandantID;
        INSERT INTO CacheBezeichnung (lTableID, lID, strBezeichnung) VALUES (45, NEW.lMandantID, NEW.strMandantName);
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER Mandant_Bezeichnung_Insert AFTER INSERT ON Mandant FOR EACH ROW EXECUTE FUNCTION dbo.CacheMandant();
CREATE TRIGGER Mandant_Bezeichnung_Update AFTER UPDATE OF lMandantID, strMandantName ON Mandant
    FOR EACH ROW EXECUTE FUNCTION dbo.CacheMandant();
CREATE TRIGGER Mandant_Bezeichnung_Delete AFTER DELETE ON Mandant FOR EACH ROW EXECUTE FUNCTION dbo.CacheMandant();

-- What deleting a row does to the rows that refer to it.
CREATE FUNCTION dbo.PersonKursDeleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO DeletedRow (lTableID, lID, guid, dtTimestamp)
    VALUES (23, OLD.lPersonKursID, OLD.guid, date_trunc('second', LOCALTIMESTAMP));
    RETURN NULL;
END $$;
CREATE TRIGGER PersonKurs_Deleted AFTER DELETE ON PersonKurs FOR EACH ROW EXECUTE FUNCTION dbo.PersonKursDeleted();

CREATE FUNCTION dbo.KursinstanzGruppeDeleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    UPDATE PersonKurs SET lKursinstanzGruppeID = -1 WHERE lKursinstanzGruppeID = OLD.lKursinstanzGruppeID;
    RETURN NULL;
END $$;
CREATE TRIGGER KursinstanzGruppe_Deleted AFTER DELETE ON KursinstanzGruppe FOR EACH ROW
    WHEN (OLD.lKursinstanzID <> -1) EXECUTE FUNCTION dbo.KursinstanzGruppeDeleted();

CREATE FUNCTION dbo.KursinstanzDeleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    UPDATE PersonKurs SET lKursinstanzID = -1, lKursinstanzGruppeID = -1, fLeiter = 0
    WHERE lKursinstanzID = OLD.lKursinstanzID;
    DELETE FROM Kursinstanzdate WHERE lKursinstanzID = OLD.lKursinstanzID;
    DELETE FROM KursinstanzGruppe WHERE lKursinstanzID = OLD.lKursinstanzID;
    DELETE FROM SecKurs WHERE lKursinstanzID = OLD.lKursinstanzID;
    DELETE FROM Kursbemerkung WHERE lKursinstanzID = OLD.lKursinstanzID;
    DELETE FROM KursinstanzEinsatz WHERE lKursinstanzID = OLD.lKursinstanzID;
    DELETE FROM CustFieldValue WHERE lID = OLD.lKursinstanzID
        AND lCFTypeID IN (SELECT lCFTypeID FROM CustFieldType WHERE lTableID = 42);
    RETURN NULL;
END $$;
CREATE TRIGGER Kursinstanz_Deleted AFTER DELETE ON Kursinstanz FOR EACH ROW EXECUTE FUNCTION dbo.KursinstanzDeleted();

CREATE FUNCTION dbo.KursDeleting() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF EXISTS (SELECT 1 FROM Kursinstanz WHERE lKursID = OLD.lKursID) THEN
        RAISE EXCEPTION 'Der Kurs kann nicht gelöscht werden, weil er noch Austragungen hat.';
    END IF;
    IF EXISTS (SELECT 1 FROM PersonKurs WHERE lKursID = OLD.lKursID) THEN
        RAISE EXCEPTION 'Der Kurs kann nicht gelöscht werden, weil noch Personen für ihn angemeldet sind.';
    END IF;
    IF EXISTS (SELECT 1 FROM KurspreconditionItem i JOIN Kursprecondition p ON i.lKurspreconditionID = p.lKurspreconditionID
               WHERE i.lKursID = OLD.lKursID AND p.lKursID <> OLD.lKursID) THEN
        RAISE EXCEPTION 'Der Kurs kann nicht gelöscht werden, weil er Voraussetzung eines anderen Kurses ist.';
    END IF;
    RETURN OLD;
END $$;
CREATE TRIGGER Kurs_Deleting BEFORE DELETE ON Kurs FOR EACH ROW EXECUTE FUNCTION dbo.KursDeleting();

CREATE FUNCTION dbo.KursDeleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM SecKurs WHERE lKursID = OLD.lKursID;
    DELETE FROM KursinstanzGruppe WHERE lKursID = OLD.lKursID;
    DELETE FROM Kursbemerkung WHERE lKursID = OLD.lKursID AND lKursinstanzID = -1;
    DELETE FROM Kursprecondition WHERE lKursID = OLD.lKursID;
    DELETE FROM Kursreservation WHERE lKursID = OLD.lKursID;
    DELETE FROM MaxTeilnehmer WHERE lKursID = OLD.lKursID;
    DELETE FROM CustFieldValue WHERE lID = OLD.lKursID
        AND lCFTypeID IN (SELECT lCFTypeID FROM CustFieldType WHERE lTableID = 39);
    RETURN NULL;
END $$;
CREATE TRIGGER Kurs_Deleted AFTER DELETE ON Kurs FOR EACH ROW EXECUTE FUNCTION dbo.KursDeleted();

CREATE FUNCTION dbo.KurspreconditionDeleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM KurspreconditionItem WHERE lKurspreconditionID = OLD.lKurspreconditionID;
    RETURN NULL;
END $$;
CREATE TRIGGER Kursprecondition_Deleted AFTER DELETE ON Kursprecondition FOR EACH ROW EXECUTE FUNCTION dbo.KurspreconditionDeleted();

CREATE FUNCTION dbo.KursnotificationDeleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM KursnotificationItem WHERE lKursnotificationID = OLD.lKursnotificationID;
    RETURN NULL;
END $$;
CREATE TRIGGER Kursnotification_Deleted AFTER DELETE ON Kursnotification FOR EACH ROW EXECUTE FUNCTION dbo.KursnotificationDeleted();

CREATE FUNCTION dbo.MailtemplateDeleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM QvLabel WHERE lFkID = OLD.lKursnotificationMailtemplateID
        AND strName IN ('KursnotificationMailtemplate_Subject', 'KursnotificationMailtemplate_Header',
                        'KursnotificationMailtemplate_Footer');
    RETURN NULL;
END $$;
CREATE TRIGGER KursnotificationMailtemplate_Deleted AFTER DELETE ON KursnotificationMailtemplate FOR EACH ROW
    EXECUTE FUNCTION dbo.MailtemplateDeleted();

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
-- Tables of the option and security servers, made by the servers on first use
-- ---------------------------------------------------------------------------------------------

CREATE FUNCTION dbo.qv_CreateOptionTables() RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    IF to_regclass('public.qvoption') IS NOT NULL THEN RETURN; END IF;
    -- Two workstations starting at once make it once.
    PERFORM pg_advisory_xact_lock(hashtext('qv_CreateOptionTables'));
    CREATE TABLE IF NOT EXISTS public.QvOption (
        lQvOptionID integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
        lArea integer NOT NULL,
        strName text COLLATE qvci NOT NULL,
        lQvSecUserID integer NOT NULL DEFAULT 0,
        lType integer NOT NULL DEFAULT 8,
        strValue text NOT NULL DEFAULT '',
        UNIQUE (lArea, strName, lQvSecUserID));
END $$;

-- The roles of the demo's users are set while no role is: the course leader reads and leads
-- (0x10001) everything but the course settings.
CREATE FUNCTION dbo.qv_CreateSecurityTables() RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    IF to_regclass('public.qvsecright') IS NULL THEN
        PERFORM pg_advisory_xact_lock(hashtext('qv_CreateSecurityTables'));
        CREATE TABLE IF NOT EXISTS public.QvSecRole (
            lQvSecUserID integer PRIMARY KEY,
            fAdmin integer NOT NULL DEFAULT 0);
        CREATE TABLE IF NOT EXISTS public.QvSecFunction (
            guid text COLLATE qvci PRIMARY KEY,
            strName text NOT NULL DEFAULT '');
        CREATE TABLE IF NOT EXISTS public.QvSecObject (
            strKey text COLLATE qvci PRIMARY KEY,
            strKey2 text COLLATE qvci NOT NULL DEFAULT '',
            guidFunction text COLLATE qvci NOT NULL,
            strName text NOT NULL DEFAULT '');
        CREATE TABLE IF NOT EXISTS public.QvSecRight (
            lQvSecRightID integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
            lQvSecUserID integer NOT NULL,
            guid text COLLATE qvci NOT NULL,
            strKey text COLLATE qvci NOT NULL DEFAULT '',
            lRight integer NOT NULL DEFAULT 0,
            UNIQUE (lQvSecUserID, guid, strKey));
        INSERT INTO public.QvSecFunction (guid, strName) VALUES
            ('5F03AD81-548C-4F27-8FDA-45FC8E49B17C', 'Ausbildung'),
            ('4E96EEEA-F268-4E0C-A6C4-0AB9ED892746', 'Ausbildung: Einstellungen'),
            ('00D42EE5-F393-45EB-BCDF-5873430E1432', 'Kurs'),
            ('FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358', 'Kursaustragung'),
            ('9226ADE4-9631-4108-A7D0-EC5FB3DE9D36', 'Ausbildung: Berichte'),
            ('26C2F4CD-E822-4E3B-B665-F7A60A24B65B', 'Teilnehmer'),
            ('7AC2F5A3-00A0-4147-A25D-730B31F0BC8B', 'Instruktoren'),
            ('924411CF-EA09-4E11-ABA5-F7779B9C6523', 'Instanzdaten'),
            ('7DFFEFCC-5812-42A6-BEB3-F9E7369EF042', 'Instruktor'),
            ('8BDEFAFA-61B5-4DB5-8CBD-5C38E19AEB70', 'Planung'),
            ('B92A2088-34E1-4211-8BC9-2A743F3B16CD', 'Archiv')
        ON CONFLICT DO NOTHING;
    END IF;
    IF EXISTS (SELECT 1 FROM public.QvSecRole) THEN RETURN; END IF;
    INSERT INTO public.QvSecRole (lQvSecUserID, fAdmin)
        SELECT lQvSecUserID, 1 FROM QvSecUser WHERE strName = 'Administrator'
        UNION ALL SELECT lQvSecUserID, 0 FROM QvSecUser WHERE strName = 'Kursleiter'
        ON CONFLICT DO NOTHING;
    INSERT INTO public.QvSecRight (lQvSecUserID, guid, strKey, lRight)
        SELECT lQvSecUserID, '00000000-0000-0000-0000-000000000000', '', 65537 FROM QvSecUser WHERE strName = 'Kursleiter'
        UNION ALL SELECT lQvSecUserID, '4E96EEEA-F268-4E0C-A6C4-0AB9ED892746', '', 0 FROM QvSecUser WHERE strName = 'Kursleiter'
        ON CONFLICT (lQvSecUserID, guid, strKey) DO UPDATE SET lRight = EXCLUDED.lRight;
END $$;

-- The document server writes a document's bytes as hex text: rows change only by statements here.
CREATE FUNCTION dbo.qv_StoreDocImage(id integer, hex text) RETURNS void LANGUAGE sql AS
$$ UPDATE DocImage SET imgDocument = decode(hex, 'hex') WHERE lDocImageID = id $$;
