#include "tsqlruntime.h"
#include "sqlitedb.h"
#include "tsqldate.h"
#include "tsqlnumber.h"
#include "tsqltext.h"
#include <sqlite3.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv::sql {
namespace {

// Thrown inside a function body; reaches the statement as its error text.
struct Failure {
    std::string message;
};
[[noreturn]] void Fail(std::string message) { throw Failure{std::move(message)}; }

using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);

template <Fn F>
void Guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        F(ctx, argc, argv);
    } catch (const Failure& f) {
        sqlite3_result_error(ctx, f.message.c_str(), int(f.message.size()));
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

int Type(sqlite3_value* v) { return sqlite3_value_type(v); }
bool IsNullValue(sqlite3_value* v) { return Type(v) == SQLITE_NULL; }
bool AnyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (IsNullValue(argv[i])) return true;
    return false;
}

std::string_view Raw(sqlite3_value* v) {
    const void* p = Type(v) == SQLITE_BLOB ? sqlite3_value_blob(v) : sqlite3_value_text(v);
    int n = sqlite3_value_bytes(v);
    return p ? std::string_view(static_cast<const char*>(p), std::size_t(n)) : std::string_view();
}

// A value as T-SQL shows it when it needs text.
std::string TextOf(sqlite3_value* v) {
    switch (Type(v)) {
    case SQLITE_INTEGER: return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return number::FormatFloat(sqlite3_value_double(v));
    default: return std::string(Raw(v));
    }
}

// The value's text without a copy where it is stored as text or bytes; `buffer` holds the text
// of a number.
std::string_view TextView(sqlite3_value* v, std::string& buffer) {
    const int type = Type(v);
    if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return Raw(v);
    buffer = TextOf(v);
    return buffer;
}

// The value as it appears in an error text, cut when long.
std::string Shown(std::string_view s) {
    std::u32string t = text::Decode(s);
    if (t.size() > 100) return text::Encode(t.substr(0, 100)) + "...";
    return std::string(s);
}

void ResultText(sqlite3_context* ctx, std::string_view s) {
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

[[noreturn]] void FailConversion(std::string_view value, const std::string& type) {
    Fail("Conversion failed when converting the varchar value '" + Shown(value) + "' to data type " + type + ".");
}
[[noreturn]] void FailOverflow(const std::string& from, const std::string& type) {
    Fail("Arithmetic overflow error converting " + from + " to data type " + type + ".");
}

// ---- conversions -------------------------------------------------------------------------

std::int64_t RoundDays(date::Millis t) {
    // datetime to integer rounds to the nearest day, as T-SQL does
    double days = double(t) / double(date::kMsPerDay);
    return std::int64_t(std::floor(days + 0.5));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// `dateText`: a stored date converts to its day number (a datetime column holds text here).
std::int64_t ToInteger(sqlite3_value* v, const std::string& type, std::int64_t lo, std::int64_t hi,
                       bool dateText = true) {
    std::int64_t r = 0;
    switch (Type(v)) {
    case SQLITE_INTEGER: r = sqlite3_value_int64(v); break;
    case SQLITE_FLOAT: {
        double d = std::trunc(sqlite3_value_double(v));
        if (!(d >= -9.2e18 && d <= 9.2e18)) FailOverflow("expression", type);
        r = std::int64_t(d);
        break;
    }
    case SQLITE_TEXT: {
        std::string_view s = Raw(v);
        switch (number::ParseInt(s, r)) {
        case number::Parsed::Ok: break;
        case number::Parsed::Overflow:
            Fail("The conversion of the varchar value '" + Shown(s) + "' overflowed an " + type + " column.");
        case number::Parsed::Invalid:
            if (!dateText || !date::LooksLikeStoredDate(s)) FailConversion(s, type);
            r = RoundDays(*date::Parse(s));
            break;
        }
        break;
    }
    default: {  // binary: the low-order bytes, big-endian
        std::string_view b = Raw(v);
        std::uint64_t u = 0;
        for (unsigned char c : b.substr(b.size() > 8 ? b.size() - 8 : 0)) u = (u << 8) | c;
        r = std::int64_t(u);
        break;
    }
    }
    if (r < lo || r > hi) FailOverflow("expression", type);
    return r;
}

double ToFloat(sqlite3_value* v, const std::string& type = "float", bool dateText = true) {
    switch (Type(v)) {
    case SQLITE_INTEGER: return double(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return sqlite3_value_double(v);
    case SQLITE_TEXT: {
        std::string_view s = Raw(v);
        double d = 0;
        switch (number::ParseFloat(s, d)) {
        case number::Parsed::Ok: return d;
        case number::Parsed::Overflow: FailOverflow("varchar", type);
        case number::Parsed::Invalid:
            if (!dateText || !date::LooksLikeStoredDate(s)) FailConversion(s, type);
            return double(*date::Parse(s)) / double(date::kMsPerDay);
        }
        return d;
    }
    default: Fail("Conversion failed when converting a binary value to data type " + type + ".");
    }
}

date::Millis DaysToMillis(double days) {
    if (!(std::fabs(days) < 4e6)) Fail("Arithmetic overflow error converting expression to data type datetime.");
    return date::Millis(std::llround(days * double(date::kMsPerDay)));
}

// A date argument: date text, or a number of days since 1900-01-01.
date::Millis ToDate(sqlite3_value* v) {
    switch (Type(v)) {
    case SQLITE_INTEGER: {
        std::int64_t days = sqlite3_value_int64(v);
        if (days < -4'000'000 || days > 4'000'000)
            Fail("Arithmetic overflow error converting expression to data type datetime.");
        return days * date::kMsPerDay;
    }
    case SQLITE_FLOAT: return DaysToMillis(sqlite3_value_double(v));
    case SQLITE_TEXT: {
        std::string_view s = Raw(v);
        if (auto t = date::Parse(s)) return *t;
        Fail("Conversion failed when converting date and/or time from character string '" + Shown(s) + "'.");
    }
    default: Fail("Conversion failed when converting a binary value to data type datetime.");
    }
}

std::string CutChars(std::string_view s, std::size_t n) {
    std::u32string t = text::Decode(s);
    return t.size() <= n ? std::string(s) : text::Encode(t.substr(0, n));
}

struct Target {
    enum Kind { Char, Int, Bit, Float, Decimal, DateTime, Guid } kind = Char;
    std::string name;
    long length = 30;  // characters; -1 for max
    bool pad = false, unicode = false;
    std::int64_t lo = 0, hi = 0;
    int precision = 18, scale = 0;
    bool single = false;
    enum DateKind { Full, Small, DateOnly, Wide } dateKind = Full;
};

Target ParseTarget(std::string_view typeText) {
    std::string t;
    for (char c : typeText)
        if (c != ' ' && c != '\t') t += (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    std::string name = t, args;
    if (auto open = t.find('('); open != std::string::npos) {
        if (t.back() != ')') Fail("Type " + std::string(typeText) + " is not a defined system type.");
        name = t.substr(0, open);
        args = t.substr(open + 1, t.size() - open - 2);
    }
    std::vector<long> nums;
    bool max = false;
    if (!args.empty()) {
        std::size_t i = 0;
        while (i <= args.size()) {
            std::size_t comma = args.find(',', i);
            std::string part = args.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
            long n = 0;
            if (part == "max") {
                max = true;
            } else {
                auto r = std::from_chars(part.data(), part.data() + part.size(), n);
                if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size())
                    Fail("Type " + std::string(typeText) + " is not a defined system type.");
            }
            nums.push_back(n);
            if (comma == std::string::npos) break;
            i = comma + 1;
        }
    }
    auto bad = [&] { Fail("Type " + std::string(typeText) + " is not a defined system type."); };
    Target r;
    r.name = name;
    if (name == "varchar" || name == "nvarchar" || name == "char" || name == "nchar") {
        r.kind = Target::Char;
        r.pad = name == "char" || name == "nchar";
        r.unicode = name[0] == 'n';
        if (nums.size() > 1 || (max && r.pad)) bad();
        if (max) r.length = -1;
        else if (!nums.empty()) r.length = nums[0];
        if (r.length == 0 || r.length > 8000)
            Fail("The size (" + std::to_string(r.length) + ") given to the type '" + name +
                 "' exceeds the maximum allowed for any data type (8000).");
    } else if (name == "text" || name == "ntext" || name == "sysname") {
        r.kind = Target::Char;
        r.length = name == "sysname" ? 128 : -1;
    } else if (name == "int" || name == "integer" || name == "smallint" || name == "tinyint" || name == "bigint") {
        if (!args.empty()) bad();
        r.kind = Target::Int;
        if (name == "integer") r.name = "int";
        r.lo = name == "bigint" ? INT64_MIN : name == "smallint" ? -32768 : name == "tinyint" ? 0 : INT32_MIN;
        r.hi = name == "bigint" ? INT64_MAX : name == "smallint" ? 32767 : name == "tinyint" ? 255 : INT32_MAX;
    } else if (name == "bit") {
        r.kind = Target::Bit;
    } else if (name == "float" || name == "real" || name == "doubleprecision") {
        r.kind = Target::Float;
        r.single = name == "real" || (!nums.empty() && nums[0] <= 24);
        r.name = r.single ? "real" : "float";
    } else if (name == "decimal" || name == "numeric" || name == "dec" || name == "money" || name == "smallmoney") {
        r.kind = Target::Decimal;
        if (name == "money" || name == "smallmoney") {
            if (!args.empty()) bad();
            r.precision = name == "money" ? 19 : 10;
            r.scale = 4;
        } else {
            if (max || nums.size() > 2) bad();
            r.name = "numeric";
            if (nums.size() >= 1) r.precision = int(nums[0]);
            if (nums.size() == 2) r.scale = int(nums[1]);
            if (r.precision < 1 || r.precision > 38 || r.scale < 0 || r.scale > r.precision) bad();
        }
    } else if (name == "datetime" || name == "smalldatetime" || name == "date" || name == "datetime2") {
        r.kind = Target::DateTime;
        r.dateKind = name == "smalldatetime" ? Target::Small
                     : name == "date"        ? Target::DateOnly
                     : name == "datetime2"   ? Target::Wide
                                             : Target::Full;
    } else if (name == "uniqueidentifier") {
        r.kind = Target::Guid;
    } else {
        bad();
    }
    return r;
}

void ConvertToChar(sqlite3_context* ctx, const Target& t, sqlite3_value* v, bool hasStyle, int style) {
    std::string s;
    bool numeric = false, isFloat = false;
    switch (Type(v)) {
    case SQLITE_INTEGER:
        s = std::to_string(sqlite3_value_int64(v));
        numeric = true;
        break;
    case SQLITE_FLOAT:
        if (hasStyle && (style < 0 || style > 3))
            Fail(std::to_string(style) + " is not a valid style number when converting from float to a character string.");
        s = number::FormatFloat(sqlite3_value_double(v), style);
        numeric = isFloat = true;
        break;
    case SQLITE_TEXT: {
        std::string_view raw = Raw(v);
        if (hasStyle && date::LooksLikeStoredDate(raw)) {
            auto f = date::Format(*date::Parse(raw), style);
            if (!f)
                Fail(std::to_string(style) +
                     " is not a valid style number when converting from datetime to a character string.");
            s = *f;
        } else {
            s = raw;
        }
        break;
    }
    default: s = Raw(v); break;
    }
    std::size_t n = text::Length(s);
    if (t.length >= 0 && n > std::size_t(t.length)) {
        if (numeric && (isFloat || t.unicode)) FailOverflow(isFloat ? "float" : "expression", t.name);
        s = numeric ? "*" : CutChars(s, std::size_t(t.length));  // T-SQL marks a number too long with '*'
        n = text::Length(s);
    }
    if (t.pad && n < std::size_t(t.length)) s.append(std::size_t(t.length) - n, ' ');
    ResultText(ctx, s);
}

void ConvertToDecimal(sqlite3_context* ctx, const Target& t, sqlite3_value* v) {
    std::string fixed, from = "expression";
    switch (Type(v)) {
    case SQLITE_INTEGER:
        number::ParseDecimal(std::to_string(sqlite3_value_int64(v)), t.scale, fixed);
        from = "int";
        break;
    case SQLITE_FLOAT:
        if (!std::isfinite(sqlite3_value_double(v))) FailOverflow("float", t.name);
        fixed = number::RoundFixed(sqlite3_value_double(v), t.scale);
        from = "float";
        break;
    case SQLITE_TEXT: {
        std::string_view s = Raw(v);
        from = "varchar";
        if (number::ParseDecimal(s, t.scale, fixed) != number::Parsed::Ok) {
            if (!date::LooksLikeStoredDate(s)) FailConversion(s, t.name);
            fixed = number::RoundFixed(double(*date::Parse(s)) / double(date::kMsPerDay), t.scale);
        }
        break;
    }
    default: Fail("Conversion failed when converting a binary value to data type " + t.name + ".");
    }
    if (number::IntegerDigits(fixed) > t.precision - t.scale) FailOverflow(from, t.name);
    if (t.scale == 0) {
        std::int64_t i = 0;
        auto r = std::from_chars(fixed.data(), fixed.data() + fixed.size(), i);
        if (r.ec == std::errc()) {
            sqlite3_result_int64(ctx, i);
            return;
        }
    }
    double d = 0;
    std::from_chars(fixed.data(), fixed.data() + fixed.size(), d);
    sqlite3_result_double(ctx, d);
}

void ConvertToDate(sqlite3_context* ctx, const Target& t, sqlite3_value* v) {
    date::Millis ms = 0;
    bool fromText = Type(v) == SQLITE_TEXT;
    ms = ToDate(v);
    auto outOfRange = [&] {
        if (fromText)
            Fail("The conversion of a varchar data type to a " + t.name + " data type resulted in an out-of-range value: '" +
                 Shown(Raw(v)) + "'.");
        FailOverflow("expression", t.name);
    };
    using date::kMsPerDay;
    switch (t.dateKind) {
    case Target::Full:
        if (!date::InDatetimeRange(ms)) outOfRange();
        break;
    case Target::Small: {
        ms = FloorDiv(ms + 30'000, 60'000) * 60'000;  // to the nearest minute
        static const date::Millis hi = date::FromCivil({2079, 6, 7, 0, 0, 0, 0});
        if (ms < 0 || ms >= hi) outOfRange();
        break;
    }
    case Target::DateOnly:
        ms = FloorDiv(ms, kMsPerDay) * kMsPerDay;
        [[fallthrough]];
    case Target::Wide:
        if (ms < date::FromCivil({1, 1, 1, 0, 0, 0, 0}) || ms > date::FromCivil({9999, 12, 31, 23, 59, 59, 999}))
            outOfRange();
        break;
    }
    ResultText(ctx, date::Canonical(ms));
}

void ConvertToGuid(sqlite3_context* ctx, sqlite3_value* v) {
    static const char* hex = "0123456789ABCDEF";
    if (Type(v) == SQLITE_BLOB) {
        std::string_view b = Raw(v);
        if (b.size() != 16) Fail("Conversion failed when converting from a binary value to uniqueidentifier.");
        // The first three groups are stored little-endian.
        static const int order[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
        std::string s;
        for (int i : order) {
            if (i < 0) {
                s += '-';
                continue;
            }
            unsigned char c = static_cast<unsigned char>(b[std::size_t(i)]);
            s += hex[c >> 4];
            s += hex[c & 15];
        }
        ResultText(ctx, s);
        return;
    }
    if (Type(v) != SQLITE_TEXT)
        Fail(std::string("Explicit conversion from data type ") + (Type(v) == SQLITE_INTEGER ? "int" : "float") +
             " to uniqueidentifier is not allowed.");
    std::string_view raw = Raw(v), s = raw;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    std::string out;
    bool ok = s.size() == 36;
    for (std::size_t i = 0; ok && i < s.size(); ++i) {
        char c = s[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            ok = c == '-';
            out += c;
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            out += (c >= 'a' && c <= 'f') ? char(c - 32) : c;
        } else {
            ok = false;
        }
    }
    if (!ok) Fail("Conversion failed when converting from a character string to uniqueidentifier: '" + Shown(raw) + "'.");
    ResultText(ctx, out);
}

// ---- functions ---------------------------------------------------------------------------

void Add(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value *a = argv[0], *b = argv[1];
    if (IsNullValue(a) || IsNullValue(b)) return sqlite3_result_null(ctx);
    int ta = Type(a), tb = Type(b);
    if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {
        std::string s(Raw(a));
        s += Raw(b);
        return ResultText(ctx, s);
    }
    if (ta == SQLITE_BLOB || tb == SQLITE_BLOB) {
        if (ta != tb) Fail("Operand type clash: varbinary cannot be added to a value of another type.");
        std::string s(Raw(a));
        s += Raw(b);
        return sqlite3_result_blob64(ctx, s.data(), s.size(), SQLITE_TRANSIENT);
    }
    // A text side takes the other side's type, as T-SQL's type precedence says.
    bool real = ta == SQLITE_FLOAT || tb == SQLITE_FLOAT;
    if (real) return sqlite3_result_double(ctx, ToFloat(a, "float", false) + ToFloat(b, "float", false));
    std::int64_t x = ToInteger(a, "int", INT64_MIN, INT64_MAX, false);
    std::int64_t y = ToInteger(b, "int", INT64_MIN, INT64_MAX, false), r = 0;
    if (__builtin_add_overflow(x, y, &r)) FailOverflow("expression", "bigint");
    sqlite3_result_int64(ctx, r);
}

void Convert(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (IsNullValue(argv[0])) Fail("convert: the target type is NULL.");
    // The type is written in the statement: parsed once per statement run, not per row.
    Target parsed;
    const auto* known = static_cast<const Target*>(sqlite3_get_auxdata(ctx, 0));
    if (!known) {
        parsed = ParseTarget(Raw(argv[0]));
        sqlite3_set_auxdata(ctx, 0, new Target(parsed), [](void* p) { delete static_cast<Target*>(p); });
    }
    const Target& t = known ? *known : parsed;
    bool hasStyle = argc > 2;
    if (hasStyle && IsNullValue(argv[2])) return sqlite3_result_null(ctx);
    int style = hasStyle ? int(ToInteger(argv[2], "int", INT32_MIN, INT32_MAX)) : 0;
    sqlite3_value* v = argv[1];
    if (IsNullValue(v)) return sqlite3_result_null(ctx);
    switch (t.kind) {
    case Target::Char: return ConvertToChar(ctx, t, v, hasStyle, style);
    case Target::Int: return sqlite3_result_int64(ctx, ToInteger(v, t.name, t.lo, t.hi));
    case Target::Bit: {
        if (Type(v) == SQLITE_TEXT) {
            std::string_view s = Raw(v);
            std::string folded = text::Lower(s);
            std::string_view f = folded;
            while (!f.empty() && f.front() == ' ') f.remove_prefix(1);
            while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
            if (f == "true") return sqlite3_result_int(ctx, 1);
            if (f == "false") return sqlite3_result_int(ctx, 0);
            std::int64_t i = 0;
            if (number::ParseInt(s, i) == number::Parsed::Invalid) FailConversion(s, "bit");
            return sqlite3_result_int(ctx, i != 0);
        }
        if (Type(v) == SQLITE_FLOAT) return sqlite3_result_int(ctx, sqlite3_value_double(v) != 0);
        return sqlite3_result_int(ctx, ToInteger(v, "bit", INT64_MIN, INT64_MAX) != 0);
    }
    case Target::Float: {
        double d = ToFloat(v, t.name);
        if (t.single) {
            if (std::fabs(d) > 3.4028234663852886e38) FailOverflow("expression", "real");
            d = double(float(d));
        }
        return sqlite3_result_double(ctx, d);
    }
    case Target::Decimal: return ConvertToDecimal(ctx, t, v);
    case Target::DateTime: return ConvertToDate(ctx, t, v);
    case Target::Guid: return ConvertToGuid(ctx, v);
    }
}

date::Part PartArg(sqlite3_value* v, const char* fn) {
    std::string_view name = Raw(v);
    if (auto p = date::ParsePart(name)) return *p;
    Fail("'" + Shown(name) + "' is not a recognized " + fn + " option.");
}

void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    date::Part part = PartArg(argv[0], "dateadd");
    if (IsNullValue(argv[1]) || IsNullValue(argv[2])) return sqlite3_result_null(ctx);
    std::int64_t n = ToInteger(argv[1], "int", INT32_MIN, INT32_MAX);  // a fraction is cut off
    date::Millis t = ToDate(argv[2]);
    auto r = date::Add(part, n, t);
    if (!r) Fail("Adding a value to a 'datetime' column caused an overflow.");
    ResultText(ctx, date::Canonical(*r));
}

void DateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
    date::Part part = PartArg(argv[0], "datediff");
    if (IsNullValue(argv[1]) || IsNullValue(argv[2])) return sqlite3_result_null(ctx);
    std::int64_t d = date::Diff(part, ToDate(argv[1]), ToDate(argv[2]));
    if (d < INT32_MIN || d > INT32_MAX)
        Fail("The datediff function resulted in an overflow. The number of dateparts separating two date/time "
             "instances is too large.");
    sqlite3_result_int64(ctx, d);
}

void DatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
    date::Part part = PartArg(argv[0], "datepart");
    if (IsNullValue(argv[1])) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, date::DatePart(part, ToDate(argv[1])));
}

void GetDate(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, date::Canonical(date::Now(false))); }
void GetUtcDate(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, date::Canonical(date::Now(true))); }

void Str(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t len = argc > 1 ? ToInteger(argv[1], "int", INT32_MIN, INT32_MAX) : 10;
    std::int64_t dec = argc > 2 ? ToInteger(argv[2], "int", INT32_MIN, INT32_MAX) : 0;
    if (len <= 0 || len > 8000 || dec < 0) return sqlite3_result_null(ctx);
    if (dec > 16) dec = 16;
    double x = ToFloat(argv[0]);
    // A list shows few distinct numbers (durations, prices) in many rows: the last texts made
    // on this thread are kept by number, length and decimals.
    struct Kept {
        std::uint64_t bits = 0;
        std::int64_t len = 0, dec = -1;
        std::string text;
    };
    thread_local Kept kept[64];
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    Kept& slot = kept[(bits ^ (bits >> 29) ^ (bits >> 47) ^ std::uint64_t(len * 31 + dec)) % 64];
    if (slot.dec == dec && slot.len == len && slot.bits == bits) return ResultText(ctx, slot.text);
    // As many decimals as fit; stars when the integer part does not.
    std::string out(std::size_t(len), '*');
    for (std::int64_t d = dec; d >= 0; --d) {
        std::string s = number::RoundFixed(x, int(d));
        if (std::int64_t(s.size()) <= len) {
            out = std::string(std::size_t(len) - s.size(), ' ') + s;
            break;
        }
    }
    if (len <= 64) slot = Kept{bits, len, dec, out};
    ResultText(ctx, out);
}

template <bool CaseInsensitive>
void CharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t start = argc > 2 ? ToInteger(argv[2], "bigint", INT64_MIN, INT64_MAX) : 1;
    std::size_t from = start < 1 ? 0 : std::size_t(start - 1);
    std::string needleBuffer, hayBuffer;
    const std::string_view needleText = TextView(argv[0], needleBuffer), hayText = TextView(argv[1], hayBuffer);
    if (text::IsAscii(needleText) && text::IsAscii(hayText)) {
        const std::size_t at = text::FindAscii(hayText, needleText, from, CaseInsensitive);
        return sqlite3_result_int64(ctx, at == std::string::npos ? 0 : std::int64_t(at) + 1);
    }
    if constexpr (CaseInsensitive) {
        // Folding turns no character but the capital I with dot (into i) into ASCII: a text that
        // lacks the needle's longest run of ASCII, A-Z folded, holds no match and is not folded.
        std::string_view run, longest;
        for (std::size_t i = 0, begin = 0; i <= needleText.size(); ++i) {
            if (i < needleText.size() && static_cast<unsigned char>(needleText[i]) < 0x80) continue;
            run = needleText.substr(begin, i - begin);
            if (run.size() > longest.size()) longest = run;
            begin = i + 1;
        }
        const bool dottedI = longest.find_first_of("iI") != std::string_view::npos &&
                             hayText.find("\xC4\xB0") != std::string::npos;
        if (!longest.empty() && !dottedI && text::FindAscii(hayText, longest, 0, true) == std::string::npos)
            return sqlite3_result_int64(ctx, 0);
        // Folded text is valid UTF-8 with one character for one: a match of the bytes is a match
        // of the characters, and its position is the characters before it.
        const std::string hay = text::Lower(hayText), needle = text::Lower(needleText);
        auto lead = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
        std::size_t byteFrom = 0;
        for (std::size_t chars = 0; chars < from; ++byteFrom) {
            if (byteFrom == hay.size()) return sqlite3_result_int64(ctx, 0);
            if (byteFrom + 1 == hay.size() || lead(hay[byteFrom + 1])) ++chars;
        }
        const std::size_t at = needle.empty() ? std::string::npos : hay.find(needle, byteFrom);
        if (at == std::string::npos) return sqlite3_result_int64(ctx, 0);
        return sqlite3_result_int64(ctx, std::int64_t(std::count_if(hay.begin(), hay.begin() + std::ptrdiff_t(at), lead)) + 1);
    }
    std::u32string needle = text::Decode(needleText), hay = text::Decode(hayText);
    std::size_t pos = from > hay.size() ? std::u32string::npos : text::Find(hay, needle, from, CaseInsensitive);
    sqlite3_result_int64(ctx, pos == std::u32string::npos ? 0 : std::int64_t(pos) + 1);
}

void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (IsNullValue(argv[0])) return sqlite3_result_null(ctx);
    if (Type(argv[0]) == SQLITE_BLOB) return sqlite3_result_int64(ctx, sqlite3_value_bytes(argv[0]));
    std::string s = TextOf(argv[0]);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    sqlite3_result_int64(ctx, std::int64_t(text::Length(s)));
}

std::int64_t LengthArg(sqlite3_value* v, const char* fn) {
    std::int64_t n = ToInteger(v, "bigint", INT64_MIN, INT64_MAX);
    if (n < 0) Fail(std::string("Invalid length parameter passed to the ") + fn + " function.");
    return n;
}

void Left(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = LengthArg(argv[1], "left");
    std::u32string s = text::Decode(TextOf(argv[0]));
    ResultText(ctx, text::Encode(std::u32string_view(s).substr(0, std::size_t(std::min<std::int64_t>(n, s.size())))));
}

void Right(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = LengthArg(argv[1], "right");
    std::u32string s = text::Decode(TextOf(argv[0]));
    std::size_t k = std::size_t(std::min<std::int64_t>(n, s.size()));
    ResultText(ctx, text::Encode(std::u32string_view(s).substr(s.size() - k)));
}

void Substring(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t start = ToInteger(argv[1], "bigint", INT64_MIN, INT64_MAX);
    std::int64_t len = LengthArg(argv[2], "substring");
    std::u32string s = text::Decode(TextOf(argv[0]));
    // Positions before 1 still use up the length: substring('abc', 0, 2) is 'a'.
    std::int64_t from = std::max<std::int64_t>(start, 1);
    std::int64_t to = start > INT64_MAX - len ? INT64_MAX : start + len;  // exclusive
    to = std::min<std::int64_t>(to, std::int64_t(s.size()) + 1);
    if (to <= from) return ResultText(ctx, "");
    ResultText(ctx, text::Encode(std::u32string_view(s).substr(std::size_t(from - 1), std::size_t(to - from))));
}

void Upper(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (IsNullValue(argv[0])) return sqlite3_result_null(ctx);
    ResultText(ctx, text::Upper(TextOf(argv[0])));
}

void Lower(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (IsNullValue(argv[0])) return sqlite3_result_null(ctx);
    ResultText(ctx, text::Lower(TextOf(argv[0])));
}

void LTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (IsNullValue(argv[0])) return sqlite3_result_null(ctx);
    std::string s = TextOf(argv[0]);
    ResultText(ctx, std::string_view(s).substr(std::min(s.find_first_not_of(' '), s.size())));
}

void RTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (IsNullValue(argv[0])) return sqlite3_result_null(ctx);
    std::string s = TextOf(argv[0]);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    ResultText(ctx, s);
}

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string original = TextOf(argv[0]);
    std::u32string s = text::Decode(original), find = text::Decode(TextOf(argv[1])),
                   with = text::Decode(TextOf(argv[2]));
    if (find.empty()) return ResultText(ctx, original);
    std::u32string out;
    std::size_t at = 0;
    for (std::size_t pos; (pos = text::Find(s, find, at, true)) != std::u32string::npos; at = pos + find.size())
        out.append(s, at, pos - at).append(with);
    out.append(s, at, std::u32string::npos);
    ResultText(ctx, text::Encode(out));
}

void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (Type(argv[0])) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return sqlite3_result_int(ctx, 1);
    case SQLITE_TEXT: return sqlite3_result_int(ctx, number::IsNumericText(Raw(argv[0])));
    default: return sqlite3_result_int(ctx, 0);
    }
}

void NewId(sqlite3_context* ctx, int, sqlite3_value**) {
    unsigned char b[16];
    sqlite3_randomness(sizeof b, b);
    b[6] = (b[6] & 0x0F) | 0x40;  // version 4 (random)
    b[8] = (b[8] & 0x3F) | 0x80;  // RFC 4122 variant
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
        s += hex[b[i] >> 4];
        s += hex[b[i] & 15];
    }
    ResultText(ctx, s);
}

struct CachedPattern {
    std::string pattern;
    char32_t escape;
    text::LikePattern compiled;
};

// like(pattern, value[, escape]): SQLite hands LIKE's operands over in this order.
void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string_view pattern = Raw(argv[0]);
    int limit = sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1);
    if (pattern.size() > std::size_t(limit)) Fail("LIKE or GLOB pattern too complex");
    char32_t escape = 0;
    if (argc > 2) {
        std::u32string e = text::Decode(TextOf(argv[2]));
        if (e.size() != 1) Fail("ESCAPE expression must be a single character");
        escape = e[0];
    }
    std::u32string value = text::Decode(TextOf(argv[1]));
    auto* cached = static_cast<CachedPattern*>(sqlite3_get_auxdata(ctx, 0));
    if (cached && cached->pattern == pattern && cached->escape == escape)
        return sqlite3_result_int(ctx, cached->compiled.Match(value));
    // Compiled once per statement when the pattern is a constant.
    auto fresh = std::make_unique<CachedPattern>(
        CachedPattern{std::string(pattern), escape, text::LikePattern(text::Decode(pattern), escape)});
    bool match = fresh->compiled.Match(value);
    sqlite3_set_auxdata(ctx, 0, fresh.release(), [](void* p) { delete static_cast<CachedPattern*>(p); });
    sqlite3_result_int(ctx, match);
}

int CollateCi(void*, int n1, const void* p1, int n2, const void* p2) {
    return text::CompareCi(std::string_view(static_cast<const char*>(p1), std::size_t(n1)),
                           std::string_view(static_cast<const char*>(p2), std::size_t(n2)));
}

int CollateCs(void*, int n1, const void* p1, int n2, const void* p2) {
    return text::CompareCs(std::string_view(static_cast<const char*>(p1), std::size_t(n1)),
                           std::string_view(static_cast<const char*>(p2), std::size_t(n2)));
}

// The built-in PRAGMA case_sensitive_like would put SQLite's own LIKE back in place of ours.
// SQLite asks for every name it resolves while it prepares a statement, and checks nothing else
// there that a caller could use to end it: the seconds a text of thousands of words takes end
// at the next name once the call was asked to end.
int Authorize(void* interrupter, int action, const char* a, const char*, const char*, const char*) {
    if (interrupter) {
        auto* i = static_cast<StatementInterrupter*>(interrupter);
        if (i->Asked() && i->PreparingAlone()) return SQLITE_DENY;
    }
    if (action == SQLITE_PRAGMA && a && sqlite3_stricmp(a, "case_sensitive_like") == 0) return SQLITE_IGNORE;
    return SQLITE_OK;
}

struct Def {
    const char* name;
    int args;
    Fn fn;
    bool deterministic;
};

const Def kFunctions[] = {
    {"tsql_add", 2, Guarded<Add>, true},
    {"tsql_convert", 2, Guarded<Convert>, true},
    {"tsql_convert", 3, Guarded<Convert>, true},
    {"tsql_dateadd", 3, Guarded<DateAdd>, true},
    {"tsql_datediff", 3, Guarded<DateDiff>, true},
    {"tsql_datepart", 2, Guarded<DatePart>, true},
    // As in T-SQL, the time is read once per statement, not once per row: marked deterministic,
    // SQLite computes it once each time the statement starts and can search an index by it.
    {"tsql_getdate", 0, Guarded<GetDate>, true},
    {"tsql_getutcdate", 0, Guarded<GetUtcDate>, true},
    {"tsql_str", 1, Guarded<Str>, true},
    {"tsql_str", 2, Guarded<Str>, true},
    {"tsql_str", 3, Guarded<Str>, true},
    {"tsql_charindex", 2, Guarded<CharIndex<true>>, true},
    {"tsql_charindex", 3, Guarded<CharIndex<true>>, true},
    {"tsql_charindex_cs", 2, Guarded<CharIndex<false>>, true},
    {"tsql_charindex_cs", 3, Guarded<CharIndex<false>>, true},
    {"tsql_len", 1, Guarded<Len>, true},
    {"tsql_left", 2, Guarded<Left>, true},
    {"tsql_right", 2, Guarded<Right>, true},
    {"tsql_substring", 3, Guarded<Substring>, true},
    {"tsql_upper", 1, Guarded<Upper>, true},
    {"tsql_lower", 1, Guarded<Lower>, true},
    {"tsql_ltrim", 1, Guarded<LTrim>, true},
    {"tsql_rtrim", 1, Guarded<RTrim>, true},
    {"tsql_replace", 3, Guarded<Replace>, true},
    {"tsql_isnumeric", 1, Guarded<IsNumeric>, true},
    {"tsql_newid", 0, Guarded<NewId>, false},
    {"like", 2, Guarded<Like>, true},
    {"like", 3, Guarded<Like>, true},
};

}  // namespace

int RegisterTsqlRuntime(sqlite3* db) {
    // A name in double quotes is a name: without this SQLite reads an unknown one as a text, so a
    // misspelt column would compare against, or show, its own name instead of failing.
    for (int option : {SQLITE_DBCONFIG_DQS_DML, SQLITE_DBCONFIG_DQS_DDL}) {
        if (int rc = sqlite3_db_config(db, option, 0, nullptr); rc != SQLITE_OK) return rc;
    }
    for (const Def& d : kFunctions) {
        int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (d.deterministic ? SQLITE_DETERMINISTIC : 0);
        int rc = sqlite3_create_function_v2(db, d.name, d.args, flags, nullptr, d.fn, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    int rc = sqlite3_create_collation_v2(db, "QVCI", SQLITE_UTF8, nullptr, CollateCi, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_create_collation_v2(db, "QVCS", SQLITE_UTF8, nullptr, CollateCs, nullptr);
    if (rc != SQLITE_OK) return rc;
    return sqlite3_set_authorizer(db, Authorize, nullptr);
}

int WatchPreparing(sqlite3* db, StatementInterrupter* interrupter) {
    return sqlite3_set_authorizer(db, Authorize, interrupter);
}

}  // namespace qv::sql
