// Canton-size demo data: the brigades' block of a freshly generated demo (Mandanten, members,
// courses, runs, registrations and the rights on them) copied with shifted keys until the persons
// are reached, then the runs of every block copied again with their registrations moved to other
// members of the block until the registrations are reached. Places, ranks, functions, roles and
// the security users are shared by all blocks. Everything runs as INSERT ... SELECT inside the
// caller's transaction, so a million rows take seconds, not minutes.
#include "demodata.h"

#include "demowriter.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qv::suite {

namespace {

using demo::DemoError;

std::int64_t Scalar(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    std::int64_t v = 0;
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW) throw DemoError(rc, "Scaling the demo data: " + std::string(sqlite3_errmsg(db)));
    return v;
}

std::vector<std::string> Columns(sqlite3* db, const std::string& table) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info(?1) ORDER BY cid", -1, &st, nullptr);
    std::vector<std::string> out;
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) throw DemoError(rc, "Scaling the demo data: " + std::string(sqlite3_errmsg(db)));
    return out;
}

// The tables of a brigades' block, parents before children.
const char* const kBlockTables[] = {"Mandant",    "Person",         "Device",      "Devicenumber",      "Contact",
                                    "PersonFunktion", "Personabsenz", "Kurs",      "Kursprecondition",  "KurspreconditionItem",
                                    "Kursinstanz", "Kursinstanzdate", "KursinstanzGruppe", "Kursreservation", "MaxTeilnehmer",
                                    "PersonKurs",  "SecMandant",     "SecKurs"};

// The table a key column points at; "" when it is no key of a block table.
std::string Target(const std::string& table, const std::string& column) {
    if (column == "l" + table + "ID") return table;
    static const std::map<std::string, std::string> kKeys = {
        {"lMandantID", "Mandant"},     {"lPersonID", "Person"},          {"lDeviceID", "Device"},
        {"lKursID", "Kurs"},           {"lKursinstanzID", "Kursinstanz"}, {"lKursinstanzGruppeID", "KursinstanzGruppe"},
        {"lKurspreconditionID", "Kursprecondition"},
        // A person's phone and mail entries are Device rows.
        {"lTelefonP", "Device"},       {"lTelefonG", "Device"},           {"lMobilP", "Device"},
        {"lMobilG", "Device"},         {"lEMailP", "Device"},             {"lEMailG", "Device"},
        {"lPager", "Device"}};
    const auto it = kKeys.find(column);
    return it == kKeys.end() ? std::string() : it->second;
}

class Scaler {
public:
    Scaler(sqlite3* db, const DemoProgress& progress) : db_(db), progress_(progress) {
        // Keys of the generated block are positive and lie below span; the sentinels -1 and 0 stay.
        for (const char* t : kBlockTables) {
            const std::string table = t;
            const std::string key = table == "Devicenumber" ? "lDevicenumberID" : "l" + table + "ID";
            span_[table] = Scalar(db_, "SELECT ifnull(max(" + key + "), 0) + 1 FROM " + table);
        }
        span_["Devicenumber"] = std::max(span_["Devicenumber"], span_["Device"]);
        span_["Device"] = span_["Devicenumber"];
    }

    // Copy `copy` (1, 2, ...) of the whole block.
    void CopyBlock(std::int64_t copy) {
        for (const char* t : kBlockTables) {
            const std::string table = t;
            std::string where;
            if (table == "Contact") where = " WHERE lPersonID > 0";  // the outside contacts once
            Copy(table, [&](const std::string& column, const std::string& target) {
                return Shift(column, copy * span_[target]);
            }, copy, where, 1, -1);
        }
    }

    // Replica `replica` (1, 2, ...) of every run with its dates, groups, rights and registrations:
    // run keys shifted beyond all blocks, each registration moved to another member of its block.
    // Stops after `limit` registrations; returns how many were written.
    std::int64_t CopyRuns(std::int64_t replica, std::int64_t blocks, std::int64_t limit) {
        const std::int64_t stride = replica * blocks;
        auto shift = [&](const std::string& column, const std::string& target) -> std::string {
            if (target == "Kursinstanz" || target == "KursinstanzGruppe" || target == "Kursinstanzdate" ||
                target == "SecKurs" || target == "PersonKurs")
                return Shift(column, stride * span_[target]);
            return column;
        };
        const std::int64_t tag = 0x8000 + replica;
        Copy("Kursinstanz", shift, tag, "", blocks, -1);
        Copy("Kursinstanzdate", shift, tag, "", blocks, -1);
        Copy("KursinstanzGruppe", shift, tag, " WHERE lKursinstanzID > 0", blocks, -1);
        Copy("SecKurs", shift, tag, " WHERE lKursinstanzID > 0", blocks, -1);
        const std::int64_t persons = Scalar(db_, "SELECT count(*) FROM Person WHERE lPersonID < " + std::to_string(span_["Person"]));
        const std::int64_t first = Scalar(db_, "SELECT ifnull(min(lPersonID), 0) FROM Person");
        const std::int64_t before = Scalar(db_, "SELECT count(*) FROM PersonKurs");
        if (persons > 0 && limit > 0) {
            // Members of a block are numbered first .. first + persons - 1 after its block offset.
            const std::string p = std::to_string(span_["Person"]);
            const std::string moved = "((lPersonID / " + p + ") * " + p + " + " + std::to_string(first) + " + ((lPersonID % " + p +
                                      " - " + std::to_string(first) + " + " + std::to_string(replica * 7919) + ") % " +
                                      std::to_string(persons) + "))";
            Copy("PersonKurs", [&](const std::string& column, const std::string& target) {
                return column == "lPersonID" ? moved : shift(column, target);
            }, tag, " WHERE lKursinstanzID > 0", blocks, limit);
        }
        return Scalar(db_, "SELECT count(*) FROM PersonKurs") - before;
    }

    void Report(const std::string& step, double done) {
        if (progress_) progress_(step, done);
    }

private:
    static std::string Shift(const std::string& column, std::int64_t by) {
        if (by == 0) return column;
        return "CASE WHEN " + column + " > 0 THEN " + column + " + " + std::to_string(by) + " ELSE " + column + " END";
    }

    template <class F>
    void Copy(const std::string& table, F map, std::int64_t tag, const std::string& where, std::int64_t sourceBlocks,
              std::int64_t limit) {
        const std::vector<std::string> columns = Columns(db_, table);
        // The source rows' keys, and the copy each comes from.
        const std::string key = table == "Devicenumber" ? "lDevicenumberID" : "l" + table + "ID";
        // A copy's GUIDs: the source's with the first eight digits replaced by the copy's tag and
        // the source's own copy number, so no two copies of one row share one.
        const std::string prefix = "printf('%04X%04X', " + std::to_string(tag) + ", " + key + " / " +
                                   std::to_string(span_[table]) + ")";
        std::string names, values;
        for (const std::string& c : columns) {
            if (!names.empty()) {
                names += ", ";
                values += ", ";
            }
            names += c;
            const std::string target = Target(table, c);
            if (c == "guid") values += prefix + " || substr(guid, 9)";
            else if (!target.empty()) values += map(c, target);
            else values += c;
        }
        // The source is the first blocks: their keys lie below that many spans.
        std::string sql = "INSERT INTO " + table + " (" + names + ") SELECT " + values + " FROM " + table;
        std::string filter = where.empty() ? " WHERE " : where + " AND ";
        filter += key + " < " + std::to_string(sourceBlocks * span_[table]);
        sql += filter + " ORDER BY " + key;
        if (limit >= 0) sql += " LIMIT " + std::to_string(limit);
        demo::Exec(db_, sql);
    }

    sqlite3* db_;
    DemoProgress progress_;
    std::map<std::string, std::int64_t> span_;
};

}  // namespace

int ScaleDemoData(sqlite3* db, const DemoScale& scale, std::string* error) {
    if (!db) {
        if (error) *error = "No database.";
        return SQLITE_MISUSE;
    }
    try {
        Scaler scaler(db, scale.progress);
        const std::int64_t basePersons = Scalar(db, "SELECT count(*) FROM Person");
        const std::int64_t baseRegistrations = Scalar(db, "SELECT count(*) FROM PersonKurs");
        if (basePersons == 0) throw DemoError(SQLITE_ERROR, "Scaling the demo data: no persons to copy.");
        const std::int64_t blocks = std::max<std::int64_t>(1, (scale.persons + basePersons - 1) / basePersons);
        for (std::int64_t b = 1; b < blocks; ++b) {
            scaler.CopyBlock(b);
            scaler.Report("persons", double(b + 1) / double(blocks));
        }
        std::int64_t registrations = blocks * baseRegistrations;
        const std::int64_t wanted = scale.registrations;
        // Each replica of the runs adds at most the registrations with a run of every block.
        for (std::int64_t r = 1; registrations < wanted; ++r) {
            const std::int64_t added = scaler.CopyRuns(r, blocks, wanted - registrations);
            if (added == 0) break;
            registrations += added;
            scaler.Report("registrations", double(registrations) / double(wanted));
        }
        // The generated demo alone stays byte for byte what its seed gives.
        if (blocks > 1 || registrations > blocks * baseRegistrations) {
            scaler.Report("statistics", 1.0);
            demo::Exec(db, "ANALYZE");
        }
    } catch (const DemoError& e) {
        if (error) *error = e.what();
        return e.rc;
    } catch (const std::exception& e) {
        if (error) *error = std::string("Scaling the demo data: ") + e.what();
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

}  // namespace qv::suite
