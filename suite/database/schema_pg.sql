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

-- strPLZOrt "8400 Winterthur"; strPLZOrtEx adds the addition: "8400 Winterthur Seen" (the canton is strKanton,
-- which the place lists show beside it).
CREATE VIEW view_Ort AS
SELECT o.lOrtID, o.guid, o.strPLZ, o.strOrt, o.strZusatz, o.lTyp, o.lGemeindeID,
       coalesce(g.strBezeichnung, '') COLLATE qvci AS strGemeinde,
       coalesce(g.strKanton, '') COLLATE qvci AS strKanton,
       trim(o.strPLZ || ' ' || o.strOrt) COLLATE qvci AS strPLZOrt,
       trim(trim(o.strPLZ || ' ' || o.strOrt) || ' ' || trim(o.strZusatz)) COLLATE qvci AS strPLZOrtEx
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
-- The user's contact is found by its key as text (convert(varchar(50), guid) in the statements).
CREATE INDEX Contact_GuidText ON Contact ((CAST(guid AS varchar(50))));

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

-- The course catalogue as the lists show it: strKurs is the course's display name. The searches
-- build their texts from these views for every row they look at: a part is tested for being
-- empty byte by byte, which costs a fraction of a comparison by the collation.
CREATE VIEW view_Kurs AS
SELECT k.lKursID, k.guid, k.lTyp, k.fActive, k.strKurzbezeichnung, k.strBezeichnung,
       CASE WHEN k.strKurzbezeichnung COLLATE "C" <> '' AND k.strBezeichnung COLLATE "C" <> ''
            THEN k.strKurzbezeichnung || ', ' || k.strBezeichnung
            ELSE k.strKurzbezeichnung || k.strBezeichnung END COLLATE qvci AS strKurs
FROM Kurs k;

-- Runs as the lists show them: strAnschrift1L joins place, address (on one line) and the
-- chosen place's postcode and name (view_Ort's strPLZOrt, made once per place: the text that
-- cannot be NULL is made where the place is read, not for every run), leaving out the empty parts.
CREATE VIEW view_Kursinstanz AS
SELECT ki.lKursinstanzID, ki.lKursID, ki.guid, ki.strBezeichnung, ki.strLeitung, ki.fGeschlossen,
       ki.dtDatum, ki.dblDauer, ki.strOrt, ki.lOrtID,
       trim(
           CASE WHEN ki.strOrt COLLATE "C" <> '' THEN ki.strOrt ELSE '' END
           || CASE WHEN ki.strAdresse COLLATE "C" <> ''
                   THEN CASE WHEN ki.strOrt COLLATE "C" <> '' THEN ', ' ELSE '' END
                        || replace(replace(replace(ki.strAdresse COLLATE "C", chr(13) || chr(10), ', '), chr(10), ', '), chr(13), ', ')
                   ELSE '' END
           || CASE WHEN o.strPLZOrt COLLATE "C" <> ''
                   THEN CASE WHEN ki.strOrt COLLATE "C" <> '' OR ki.strAdresse COLLATE "C" <> '' THEN ', ' ELSE '' END
                        || o.strPLZOrt
                   ELSE '' END) COLLATE qvci AS strAnschrift1L
FROM Kursinstanz ki
     LEFT JOIN (SELECT lOrtID, coalesce(trim(strPLZ || ' ' || strOrt), '') AS strPLZOrt FROM Ort) o
     ON ki.lOrtID = o.lOrtID AND ki.lOrtID <> 0;

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

-- Made from the tables above, so a new table or column needs nothing here. Each table gets a
-- BEFORE INSERT OR UPDATE trigger <table>_Defaults running dbo.<table>_Defaults(): a NULL written
-- into a column with a default becomes the default, and a NULL single integer key the largest key
-- + 1 (what SQLite's NOT NULL ON CONFLICT REPLACE and INTEGER PRIMARY KEY do). A column of a
-- composite key keeps its NULL, and so does DeletedRow.dtTimestamp: SQLite refuses both. Computed
-- columns are left to the database; a table with nothing to fill gets no trigger.
DO $$
DECLARE
    t record;
BEGIN
    FOR t IN
        SELECT r.relname, r.relname || '_defaults' AS name,
               string_agg(format(E'    IF NEW.%1$I IS NULL THEN NEW.%1$I := %2$s; END IF;\n', a.attname,
                                 CASE WHEN k.indrelid IS NULL THEN pg_get_expr(d.adbin, d.adrelid)
                                      ELSE format('(SELECT coalesce(max(%I), 0) + 1 FROM %I)', a.attname, r.relname) END),
                          '' ORDER BY a.attnum) AS body
        FROM pg_class r
             JOIN pg_attribute a ON a.attrelid = r.oid AND a.attnum > 0 AND NOT a.attisdropped AND a.attgenerated = ''
             LEFT JOIN pg_attrdef d ON d.adrelid = r.oid AND d.adnum = a.attnum
             LEFT JOIN pg_index k ON k.indrelid = r.oid AND k.indisprimary AND a.attnum = ANY (k.indkey)
        WHERE r.relkind = 'r' AND r.relnamespace = 'public'::regnamespace
          AND CASE WHEN k.indrelid IS NULL THEN d.adbin IS NOT NULL AND (r.relname, a.attname) <> ('deletedrow', 'dttimestamp')
                   ELSE k.indnatts = 1 AND a.atttypid = 'integer'::regtype END
        GROUP BY r.oid, r.relname ORDER BY r.oid
    LOOP
        EXECUTE format('CREATE FUNCTION dbo.%I() RETURNS trigger LANGUAGE plpgsql AS %L',
                       t.name, E'\nBEGIN\n' || t.body || E'    RETURN NEW;\nEND ');
        EXECUTE format('CREATE TRIGGER %1$I BEFORE INSERT OR UPDATE ON %2$I FOR EACH ROW EXECUTE FUNCTION dbo.%1$I()',
                       t.name, t.relname);
    END LOOP;
END $$;

-- ---------------------------------------------------------------------------------------------
-- The text operator + (T-SQL's concatenation) and the functions the statements call as dbo.fn_...
-- They never give NULL where a text is expected: the searches concatenate their results.
-- ---------------------------------------------------------------------------------------------

CREATE FUNCTION dbo.qv_concat(a text, b text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT a || b';
CREATE OPERATOR public.+ (LEFTARG = text, RIGHTARG = text, FUNCTION = dbo.qv_concat);

-- The word test of the searches (a word in a text, as LIKE '%word%'): LIKE itself, estimated as
-- LIKE is on a text of one table (by the pattern, or the column's statistics), but on a text
-- joined from several tables, of which there are no statistics, as keeping a third of the rows,
-- where LIKE takes one row in 200: with two such words the planner expected a handful of the
-- course search's thousands of rows, and looped over the user's rights for each it found. A word
-- typed into a search is found in many rows as often as in few.
CREATE OPERATOR dbo.~~~ (LEFTARG = text, RIGHTARG = text, FUNCTION = pg_catalog.textlike,
                         RESTRICT = likesel, JOIN = scalargtjoinsel);

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
        -- Names compare without their blanks at the end, as on SQL Server.
        IF NOT EXISTS (SELECT 1 FROM KursinstanzGruppe WHERE lKursinstanzID = run
                       AND rtrim(strBezeichnung) = rtrim(g.strBezeichnung)) THEN
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

