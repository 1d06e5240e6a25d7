#pragma once
// Word lists of the demo data. All of it is made up: names are drawn and combined at random, the
// places and their postcodes exist nowhere, the addresses lead nowhere.
#include <cstddef>

namespace qv::suite::demo::names {

// Apostrophe and umlauts on purpose: searches, sorting and SQL quoting must cope with them.
inline constexpr const char* kSurnames[] = {
    "Ammann",    "Bachmann",   "Baumgartner", "Bärtschi",  "Bosshard",   "Brändli",   "Bühler",
    "Egli",      "Fehr",       "Frei",        "Gasser",    "Gerber",     "Graf",      "Gubler",
    "Häberli",   "Hasler",     "Hofer",       "Hürlimann", "Huber",      "Iseli",     "Jenni",
    "Kägi",      "Keller",     "Kern",        "Knecht",    "Kuhn",       "Kunz",      "Künzli",
    "Lanz",      "Lehmann",    "Lüthi",       "Marti",     "Meier",      "Moser",     "Näf",
    "Nussbaumer", "Oberholzer", "Peter",      "Pfister",   "Rüegg",      "Ryser",     "Schär",
    "Schmid",    "Schneider",  "Schnyder",    "Schüpbach", "Sigrist",    "Sommer",    "Spörri",
    "Stähli",    "Steiner",    "Stucki",      "Sutter",    "Tanner",     "Thalmann",  "Vogt",
    "Wälti",     "Weber",      "Wegmann",     "Widmer",    "Wyss",       "Zaugg",     "Zbinden",
    "Zimmermann", "Zürcher",   "Bernasconi",  "Crivelli",  "Favre",      "Rochat",    "Perrin",
    "Da Silva",  "Rexhepi",    "Berisha",     "Wüthrich",  "Fässler",    "Ochsner",   "Rutishauser",
    "Hählen",    "Imhof",      "Büchi",
};

// Given to exactly one person.
inline constexpr const char* kApostropheSurname = "O'Carrigan";

inline constexpr const char* kMaleNames[] = {
    "Andreas", "Beat",   "Christian", "Daniel",  "Dominik", "Fabian",  "Florian", "Jürg",   "Lukas",
    "Marco",   "Markus", "Martin",    "Matthias", "Michael", "Patrick", "Pascal",  "Peter",  "Reto",
    "Roger",   "Samuel", "Simon",     "Stefan",  "Thomas",  "Urs",     "Adrian",  "René",   "Jérôme",
    "Luca",    "Noël",   "Kevin",     "Yannick", "Cédric",  "Jonas",   "Nico",    "Raphael", "Sandro",
    "Ueli",    "Hansjörg", "Björn",   "Severin",
};

inline constexpr const char* kFemaleNames[] = {
    "Andrea",  "Anna",    "Barbara", "Carmen",   "Claudia", "Corinne", "Daniela", "Franziska",
    "Jasmin",  "Karin",   "Laura",   "Lea",      "Manuela", "Monika",  "Nadine",  "Nicole",
    "Sandra",  "Sarah",   "Simone",  "Stefanie", "Tamara",  "Ursula",  "Zoë",     "Mélanie",
    "Chantal", "Regula",  "Seraina", "Jolanda",  "Käthi",   "Noémie",
};

inline constexpr const char* kStreets[] = {
    "Bahnhofstrasse", "Dorfstrasse",  "Kirchgasse",    "Schulstrasse", "Lindenweg",     "Rebbergstrasse",
    "Sonnenrain",     "Mühlematt",    "Im Grund",      "Obere Halde",  "Hinterdorf",    "Chileweg",
    "Bachtelweg",     "Rosenweg",     "Föhrenweg",     "Zelgstrasse",  "Wiesenstrasse", "Ahornweg",
    "Brunnenmatt",    "Höhenweg",     "Tannenstrasse", "Gartenstrasse", "Industriestrasse", "Seestrasse",
    "Bergstrasse",    "Eichholzweg",  "Untere Zelg",   "Rütiweg",      "Feldstrasse",   "Weiherweg",
};

struct Gemeinde {
    const char* name;
    const char* plz;
    const char* village;  // a second place of the Gemeinde ("" none)
    const char* villagePlz;
};

// Canton 0 holds the first two brigades, canton 1 the third.
inline constexpr const char* kCantons[] = {"ZH", "SG"};

inline constexpr Gemeinde kGemeindenA[] = {
    {"Lindenbühl", "8471", "Oberlindenbühl", "8471"}, {"Seldorf", "8472", "", ""},
    {"Oberfrechtingen", "8474", "Frechtingermühle", "8474"}, {"Unterfrechtingen", "8475", "", ""},
    {"Rüeggwil", "8493", "Rüeggwil-Station", "8494"},      {"Hinterstaufen", "8495", "", ""},
    {"Mattwil am See", "8712", "Seeblick", "8713"},         {"Birmatt", "8714", "", ""},
    {"Tannenried", "8478", "", ""},                         {"Gossenau", "8497", "Gossenauerberg", "8498"},
    {"Wolfsacker", "8489", "", ""},                         {"Chrüzlingen", "8496", "", ""},
    {"Altbrunnen", "8477", "", ""},                         {"Ebnetswil", "8491", "", ""},
};

inline constexpr Gemeinde kGemeindenB[] = {
    {"Tannegg", "9613", "Tanneggerhöhe", "9613"}, {"Wildenau", "9614", "", ""},
    {"Bergstetten", "9622", "", ""},                {"Sennwiler", "9623", "Sennwiler-Dorf", "9624"},
    {"Hohrüti", "9631", "", ""},                    {"Thurlingen", "9633", "", ""},
    {"Neufurt", "9636", "Neufurt-Au", "9637"},      {"Moosbrunnen", "9641", "", ""},
    {"Rietstetten", "9643", "", ""},                {"Schönengrund-Matt", "9645", "", ""},
};

struct Brigade {
    const char* name;
    const char* typ;
    int canton;
    int gemeinde;        // index into the canton's list: the brigade's seat
    int gemeinden[4];    // the Gemeinden it serves (-1 unused)
    const char* domain;  // of its members' office e-mail addresses
    int members;
};

inline constexpr Brigade kBrigades[] = {
    {"Feuerwehr Lindenbühl-Seldorf", "Feuerwehr", 0, 0, {0, 1, 8, 12}, "fw-lindenbuehl.example", 900},
    {"Stützpunktfeuerwehr Rüeggwil", "Stützpunkt", 0, 4, {4, 5, 9, 11}, "sfw-rueeggwil.example", 650},
    {"Feuerwehr Tannegg-Wildenau", "Feuerwehr", 1, 0, {0, 1, 2, 3}, "fw-tannegg.example", 450},
};

struct Rank {
    const char* name;
    const char* shortName;
    const char* shortNameF;  // "" = as the male form
    int rang;
    double weight;  // share of the members
};

inline constexpr Rank kRanks[] = {
    {"Feuerwehrmann", "Fw Sdt", "Fw Sdt", 1, 46},  {"Gefreiter", "Gfr", "", 2, 14},
    {"Korporal", "Kpl", "", 3, 12},                {"Wachtmeister", "Wm", "", 4, 9},
    {"Feldweibel", "Fw", "", 5, 4},                {"Fourier", "Four", "", 6, 3},
    {"Leutnant", "Lt", "", 7, 5},                  {"Oberleutnant", "Oblt", "", 8, 3},
    {"Hauptmann", "Hptm", "", 9, 2},               {"Major", "Maj", "", 10, 1},
};

struct Function {
    const char* name;
    const char* shortName;
};

// The first four are the course leadership roles (Kursleitung).
inline constexpr Function kFunctions[] = {
    {"Kursleiter", "KL"},        {"Klassenlehrer", "KLL"},     {"Fachinstruktor", "FI"},
    {"Kursadministration", "KA"}, {"Kommandant", "Kdt"},        {"Vizekommandant", "Vize Kdt"},
    {"Ausbildungschef", "AC"},   {"Atemschutzchef", "ASC"},    {"Maschinist", "Masch"},
    {"Materialwart", "MW"},      {"Sanitäter", "San"},         {"Fahrer", "Fahr"},
};
inline constexpr int kLeadershipRoles = 4;
inline constexpr int kFunctionKommandant = 4;
inline constexpr int kFunctionAusbildungschef = 6;

inline constexpr const char* kAbsenceReasons[] = {
    "Ferien", "Krankheit", "Unfall", "Militärdienst", "Beruflich verhindert", "Familiäre Gründe",
};

// Courses: type 1 federal, 2 cantonal, 3 local.
struct Course {
    int typ;
    const char* shortName;
    const char* name;
    double days;   // duration of a run
    int maxBase;   // usual participant limit
    int minInstr;  // usual minimum of instructors
    const char* audience;
    const char* goal;
};

inline constexpr Course kCourses[] = {
    {1, "B-IK1", "Instruktorenkurs Stufe 1", 5, 24, 3, "Angehende Feuerwehrinstruktoren", "Methodik und Didaktik der Feuerwehrausbildung"},
    {1, "B-IK2", "Instruktorenkurs Stufe 2", 5, 20, 3, "Instruktoren mit Stufe 1", "Leitung von Kursen und Klassen"},
    {1, "B-KDT", "Kommandantenkurs", 4, 24, 3, "Kommandanten und ihre Stellvertreter", "Führung einer Feuerwehr"},
    {1, "B-EL", "Einsatzleiterkurs Grossereignis", 3, 20, 2, "Offiziere mit Einsatzerfahrung", "Führung im Grossereignis"},
    {1, "B-CW", "Chemiewehr Spezialist", 3, 18, 2, "Angehörige der Stützpunkte", "Einsätze mit gefährlichen Stoffen"},
    {1, "B-STR", "Strahlenschutz Grundlagen", 2, 18, 2, "Angehörige der Stützpunkte", "Messen und Schützen bei Strahlung"},
    {1, "B-RHT", "Rettung aus Höhen und Tiefen, Instruktor", 4, 16, 3, "Instruktoren Höhenrettung", "Ausbildung der Höhenrettungsgruppen"},
    {1, "B-STAB", "Stabsarbeit im Führungsstab", 3, 24, 2, "Stabsoffiziere", "Arbeit im Führungsrhythmus"},
    {2, "K-GK", "Grundkurs Feuerwehr", 3, 36, 4, "Neu eingeteilte Angehörige der Feuerwehr", "Grundlagen des Feuerwehrdienstes"},
    {2, "K-AS1", "Atemschutz Grundkurs", 3, 24, 3, "Angehörige mit Grundkurs", "Sicherer Einsatz unter Atemschutz"},
    {2, "K-AS2", "Atemschutz Weiterbildung", 1, 24, 2, "Atemschutzgeräteträger", "Auffrischung und Belastungstest"},
    {2, "K-MS", "Maschinistenkurs Motorspritze", 2, 20, 2, "Angehende Maschinisten", "Bedienung der Motorspritze"},
    {2, "K-TLF", "Maschinistenkurs Tanklöschfahrzeug", 2, 16, 2, "Maschinisten mit Führerausweis C", "Bedienung des Tanklöschfahrzeugs"},
    {2, "K-GF", "Gruppenführerkurs", 4, 30, 3, "Angehende Unteroffiziere", "Führung einer Gruppe im Einsatz"},
    {2, "K-OFF", "Offizierskurs", 5, 24, 3, "Angehende Offiziere", "Führung eines Zuges"},
    {2, "K-VD", "Verkehrsdienst", 1, 30, 2, "Angehörige des Verkehrsdienstes", "Sichern und Regeln von Verkehr"},
    {2, "K-ELE", "Elementarereignisse", 2, 30, 2, "Angehörige der Feuerwehr", "Einsatz bei Hochwasser, Sturm und Rutschungen"},
    {2, "K-THL", "Technische Hilfeleistung", 2, 24, 3, "Angehörige der Stützpunkte", "Befreien eingeklemmter Personen"},
    {2, "K-OEL", "Ölwehr", 1, 24, 2, "Angehörige der Feuerwehr", "Eindämmen und Aufnehmen von Öl"},
    {2, "K-SAN", "Sanitätsdienst Feuerwehr", 2, 24, 2, "Angehörige des Sanitätsdienstes", "Erste Hilfe im Einsatz"},
    {2, "K-FAHR", "Fahrerkurs schwere Motorwagen", 2, 12, 2, "Fahrer von Feuerwehrfahrzeugen", "Sicheres Fahren mit Sondersignal"},
    {2, "K-HR", "Höhenrettung Grundkurs", 3, 16, 3, "Angehörige der Höhenrettungsgruppen", "Retten mit Seil und Leiter"},
    {3, "L-HYD", "Übung Hydrantendienst", 0.5, 30, 1, "Alle Angehörigen", "Wasserbezug ab Hydrant"},
    {3, "L-LEI", "Leiterdienst", 0.5, 24, 1, "Alle Angehörigen", "Stellen und Besteigen der Leitern"},
    {3, "L-INN", "Brandbekämpfung im Innenangriff", 1, 24, 2, "Atemschutzgeräteträger", "Vorgehen im Gebäude"},
    {3, "L-ASJ", "Atemschutz Jahresübung", 0.5, 20, 2, "Atemschutzgeräteträger", "Jährliche Übung unter Atemschutz"},
    {3, "L-FUNK", "Funkausbildung", 0.5, 30, 1, "Alle Angehörigen", "Funkverkehr nach Vorschrift"},
    {3, "L-KH", "Kameradenhilfe", 0.5, 24, 1, "Atemschutzgeräteträger", "Retten verunfallter Kameraden"},
    {3, "L-ABS", "Absturzsicherung", 1, 16, 2, "Alle Angehörigen", "Sichern gegen Absturz"},
    {3, "L-WV", "Wasserversorgung über lange Wege", 1, 30, 1, "Maschinisten und Gruppenführer", "Förderstrecken aufbauen"},
    {3, "L-LUE", "Lüftung und Rauchschutz", 0.5, 24, 1, "Alle Angehörigen", "Einsatz des Überdrucklüfters"},
    {3, "L-VR", "Verkehrsregelung im Dorf", 0.5, 20, 1, "Angehörige des Verkehrsdienstes", "Regeln bei Anlässen"},
    {3, "L-EH", "Erste Hilfe Auffrischung", 0.5, 24, 1, "Alle Angehörigen", "Lebensrettende Sofortmassnahmen"},
    {3, "L-FZK", "Fahrzeugkunde", 0.5, 20, 1, "Neu eingeteilte Angehörige", "Beladung der Fahrzeuge"},
    {3, "L-KAD", "Kaderübung", 1, 20, 2, "Offiziere und Unteroffiziere", "Führen in der Übung"},
    {3, "L-GK", "Gerätekunde für Neueintretende", 0.5, 24, 1, "Neu eingeteilte Angehörige", "Die Geräte des Depots"},
    {3, "L-MS", "Motorsägenkurs", 1, 12, 2, "Angehörige der Elementargruppe", "Sicheres Arbeiten mit der Motorsäge"},
    {3, "L-PIO", "Pionierdienst", 1, 20, 1, "Angehörige der Pioniergruppe", "Stützen, Heben, Sichern"},
    {3, "L-UNW", "Einsatz bei Unwetter", 0.5, 30, 1, "Alle Angehörigen", "Abläufe bei Unwetterlagen"},
    {3, "L-BEL", "Beleuchtung der Einsatzstelle", 0.5, 20, 1, "Alle Angehörigen", "Licht und Strom am Einsatzort"},
};

inline constexpr const char* kVenues[] = {
    "Ausbildungszentrum", "Feuerwehrdepot", "Übungsgelände", "Mehrzweckhalle", "Zivilschutzanlage", "Werkhof",
};

inline constexpr const char* kRemarks[] = {
    "Vegetarische Verpflegung", "Reist mit dem öffentlichen Verkehr an", "Übernachtung gewünscht",
    "Kommt erst am Mittag", "Brille unter der Atemschutzmaske", "Parkplatz benötigt",
};

}  // namespace qv::suite::demo::names
