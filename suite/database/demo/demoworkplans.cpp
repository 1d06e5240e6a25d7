// Demo data of the neighbouring modules that the record search reads: kinds of area and the
// areas of the brigades, activities, work groups, functions and the work plans with their
// persons.
#include "demomodel.h"

namespace qv::suite::demo {

void WriteWorkPlansAndAreas(Model& m) {
    Insert areaart(m.db, "Areaart", {"lAreaartID", "strBezeichnung"});
    areaart.Row(1, "Einsatzgebiet");
    areaart.Row(2, "Alarmierungskreis");
    areaart.Row(3, "Übungsgelände");

    // Each brigade has its intervention area and a training ground; one old area is inactive.
    Insert area(m.db, "Area", {"lAreaID", "guid", "lAreaartID", "strKurzbezeichnung", "strBezeichnung", "fActive"});
    Insert areaMandant(m.db, "AreaMandant", {"lAreaMandantID", "lAreaID", "lMandantID", "fDeleted"});
    std::int64_t areaID = 0;
    for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
        const MandantRec& mandant = m.mandanten[b];
        const std::string suffix = std::to_string(b + 1);
        area.Row(++areaID, m.rng.Guid(), 1, "EG" + suffix, "Einsatzgebiet Feuerwehr " + suffix, 1);
        areaMandant.Row(areaID, areaID, mandant.id, 0);
        area.Row(++areaID, m.rng.Guid(), 3, "UE" + suffix, "Übungsgelände Feuerwehr " + suffix, 1);
        areaMandant.Row(areaID, areaID, mandant.id, 0);
    }
    area.Row(++areaID, m.rng.Guid(), 2, "AK-ALT", "Alarmierungskreis alt", 0);

    Insert einsatzart(m.db, "Einsatzart", {"lEinsatzartID", "strBezeichnung"});
    einsatzart.Row(1, "Brandeinsatz");
    einsatzart.Row(2, "Übung");

    Insert taetigkeit(m.db, "Taetigkeit", {"lTaetigkeitID", "strBezeichnung", "fSoldrelevant"});
    taetigkeit.Row(1, "Einsatzleitung", 1);
    taetigkeit.Row(2, "Atemschutz", 1);
    taetigkeit.Row(3, "Verkehrsdienst", 1);
    taetigkeit.Row(4, "Zuschauer", 0);

    // Per brigade: two work groups, a two-day exercise in May, and three work plans around it
    // (one covering the exercise, one overlapping its end, one long before it).
    Insert formation(m.db, "Formation", {"lFormationID", "lMandantID", "strBezeichnung"});
    Insert einsatz(m.db, "Einsatz", {"lEinsatzID", "guid", "lMandantID", "lEinsatzartID", "dtEinsatz", "dtEinsatzBis", "dtErfassung",
                                     "strEreignis", "strEinsatzNr"});
    Insert plan(m.db, "Arbeitsplan", {"lArbeitsplanID", "guid", "lMandantID", "lFormationID", "lEinsatzID", "dtStart", "dtEnde",
                                      "strBezeichnung", "strArbeitsplanNr"});
    Insert personPlan(m.db, "PersonArbeitsplan", {"lPersonArbeitsplanID", "lPersonID", "lArbeitsplanID", "lTaetigkeitID"});
    std::int64_t formationID = 0, planID = 0, personPlanID = 0;
    for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
        const MandantRec& mandant = m.mandanten[b];
        const std::int64_t n = std::int64_t(b + 1);
        const std::string suffix = std::to_string(b + 1);
        formation.Row(++formationID, mandant.id, "Pikettgruppe " + suffix);
        formation.Row(++formationID, mandant.id, "Atemschutzgruppe " + suffix);
        const Day exercise = Day::Of(m.year, 5, 2 + int(b));
        einsatz.Row(n, m.rng.Guid(), mandant.id, 2, exercise.At(8), (exercise + 2).At(17), (exercise - 14).At(10), "Hauptübung " + suffix,
                    std::to_string(m.year) + "-" + suffix);
        struct PlanDef {
            Day start, end;
            const char* name;
            std::int64_t einsatz;
        };
        const PlanDef plans[] = {{exercise - 1, exercise + 1, "Pikett Hauptübung", n},
                                 {exercise + 1, exercise + 8, "Pikett Mai", -1},
                                 {Day::Of(m.year, 1, 5), Day::Of(m.year, 1, 12), "Pikett Januar", -1}};
        int round = 0;
        for (const PlanDef& p : plans) {
            plan.Row(++planID, m.rng.Guid(), mandant.id, formationID - 1 + (round % 2), p.einsatz, p.start.At(7, 30), p.end.At(18),
                     std::string(p.name) + " " + suffix, "AP-" + suffix + "-" + std::to_string(round + 1));
            // Members of the brigade take turns; every fifth one in a function that is not paid.
            int taken = 0;
            for (std::size_t i = 0; i < m.persons.size() && taken < 8; ++i) {
                const PersonRec& person = m.persons[i];
                if (person.mandant != int(b) || !person.active || (i + std::size_t(round)) % 3 != 0) continue;
                const std::int64_t function = taken % 5 == 4 ? 4 : 1 + (taken % 3);
                personPlan.Row(++personPlanID, person.id, planID, function);
                ++taken;
            }
            ++round;
        }
    }
}

}  // namespace qv::suite::demo
