#pragma once
// Writing the demo rows: one prepared INSERT per table, bound and stepped per row, and the
// calendar arithmetic for the dates the rows carry. Failures throw DemoError, which
// GenerateDemoData turns into its result code; nothing of it leaves the library.
#include <sqlite3.h>

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qv::suite::demo {

struct DemoError : std::runtime_error {
    DemoError(int rc, const std::string& what) : std::runtime_error(what), rc(rc) {}
    int rc;
};

// A day of the proleptic Gregorian calendar as a serial number (0 = 1970-01-01).
struct Day {
    std::int64_t serial = 0;

    static Day Of(int y, int m, int d);
    int Year() const;
    int Month() const;
    int DayOfMonth() const;
    int Weekday() const;  // 0 Monday ... 6 Sunday
    Day operator+(int days) const { return Day{serial + days}; }
    Day operator-(int days) const { return Day{serial - days}; }
    int operator-(Day other) const { return int(serial - other.serial); }
    bool operator<(Day o) const { return serial < o.serial; }
    bool operator<=(Day o) const { return serial <= o.serial; }
    bool operator==(Day o) const { return serial == o.serial; }

    // "YYYY-MM-DD HH:MM:SS", the database's form.
    std::string At(int hour, int minute = 0, int second = 0) const;
};

// The empty date of every dt column.
inline constexpr std::string_view kNoDate = "1899-12-30 00:00:00";

struct Null {};

class Insert {
public:
    Insert(sqlite3* db, std::string_view table, std::initializer_list<const char*> columns);
    ~Insert();
    Insert(const Insert&) = delete;
    Insert& operator=(const Insert&) = delete;

    template <class... A>
    void Row(const A&... values) {
        if (sizeof...(values) != columns_) Fail(SQLITE_MISUSE, "wrong number of values");
        int i = 0;
        (Bind(++i, values), ...);
        Step();
    }

    int rows() const { return rows_; }

private:
    template <class T>
    void Bind(int i, const T& v) {
        if constexpr (std::is_same_v<T, Null>) {
            Check(sqlite3_bind_null(stmt_, i));
        } else if constexpr (std::is_same_v<T, bool>) {
            Check(sqlite3_bind_int64(stmt_, i, v ? 1 : 0));
        } else if constexpr (std::is_integral_v<T>) {
            Check(sqlite3_bind_int64(stmt_, i, static_cast<std::int64_t>(v)));
        } else if constexpr (std::is_floating_point_v<T>) {
            Check(sqlite3_bind_double(stmt_, i, double(v)));
        } else {
            const std::string_view s(v);
            Check(sqlite3_bind_text(stmt_, i, s.data(), int(s.size()), SQLITE_TRANSIENT));
        }
    }
    void Check(int rc);
    void Step();
    [[noreturn]] void Fail(int rc, const std::string& what);

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string table_;
    std::size_t columns_;
    int rows_ = 0;
};

// Runs plain SQL, throwing on failure.
void Exec(sqlite3* db, const std::string& sql);

}  // namespace qv::suite::demo
