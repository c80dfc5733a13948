// Typed field values and field descriptions shared by connections, cached result sets,
// statements and the grid.
//
// Texts are bytes in the database's single-byte code page (Windows-1252 in practice);
// nothing here converts them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

class QLocale;

namespace enviozvr::data {

// A date as Firebird stores it: days since 17 November 1858.
struct Date {
    int32_t days = 0;
    static Date fromYmd(int year, int month, int day);
    void toYmd(int& year, int& month, int& day) const;
    auto operator<=>(const Date&) const = default;
};

// A time of day as Firebird stores it: units of 1/10000 second since midnight.
struct Time {
    uint32_t fractions = 0;
    static Time fromHms(int hour, int minute, int second, int tenThousandths = 0);
    void toHms(int& hour, int& minute, int& second, int& tenThousandths) const;
    auto operator<=>(const Time&) const = default;
};

struct Timestamp {
    Date date;
    Time time;
    auto operator<=>(const Timestamp&) const = default;
};

// An exact decimal: unscaled * 10^-scale (NUMERIC and DECIMAL columns, scale >= 0).
struct Decimal {
    int64_t unscaled = 0;
    int scale = 0;
    bool operator==(const Decimal& other) const;  // numeric equality across scales
    double toDouble() const;
    // Plain text with '.' and every digit of the scale: 12.50 at scale 2.
    std::string toString() const;
    // The value rescaled to `scale` digits, rounding half away from zero. Throws DataError
    // "Value '<value>' is out of range" when the result does not fit 64 bits.
    Decimal rescaled(int scale) const;
};

// Current local date and time of the workstation.
Date today();
Time timeNow();

// One value of a field: NULL or one typed value. Blob values are held whole as text.
class Value {
  public:
    enum class Kind : uint8_t {
        Null,
        Integer,
        Decimal,
        Float,
        Text,
        Date,
        Time,
        Timestamp,
        Boolean
    };

    Value() = default;
    static Value null() { return {}; }
    static Value integer(int64_t v) { return Value(Storage(v)); }
    static Value decimal(int64_t unscaled, int scale) {
        return Value(Storage(Decimal{unscaled, scale}));
    }
    static Value decimal(Decimal d) { return Value(Storage(d)); }
    static Value real(double v) { return Value(Storage(v)); }
    static Value text(std::string v) { return Value(Storage(std::move(v))); }
    static Value date(Date v) { return Value(Storage(v)); }
    static Value time(Time v) { return Value(Storage(v)); }
    static Value timestamp(Timestamp v) { return Value(Storage(v)); }
    static Value boolean(bool v) { return Value(Storage(v)); }

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // Typed reads; each throws DataError when the value is of another kind, and when a
    // double or a text does not fit (fixedPointFor, with no column name).
    int64_t asInteger() const;            // Integer; Decimal truncated; Float rounded; Text parsed
    double asDouble() const;              // any numeric kind
    const std::string& asString() const;  // Text only
    Decimal asDecimal() const;            // Integer or Decimal; Float rounded to 4 places
    Date asDate() const;
    Time asTime() const;
    Timestamp asTimestamp() const;
    bool asBoolean() const;

    // Display text: NULL as empty text, integers in decimal, dates and times in the
    // workstation's short-date and long-time formats, decimals with their scale.
    std::string toText() const;

    bool operator==(const Value& other) const = default;

  private:
    using Storage =
        std::variant<std::monostate, int64_t, enviozvr::data::Decimal, double, std::string,
                     enviozvr::data::Date, enviozvr::data::Time, enviozvr::data::Timestamp, bool>;
    explicit Value(Storage s) : v_(std::move(s)) {}
    Storage v_;
};

// The kind of a field, from the column's SQL type.
enum class FieldType : uint8_t {
    Integer,  // SMALLINT, INTEGER, BIGINT with scale 0
    Decimal,  // NUMERIC, DECIMAL (and integer types with a scale)
    Float,    // FLOAT, DOUBLE PRECISION
    String,   // CHAR (fixedWidth) and VARCHAR
    Date,
    Time,
    Timestamp,
    Blob,  // any subtype; textBlob for subtype 1
    Boolean,
};

const char* fieldTypeName(FieldType t);

// A field of a result set: as declared by a screen or as described by the server.
struct Field {
    std::string name;
    FieldType type = FieldType::String;
    int size = 0;       // String: width in characters; Integer: bytes (2, 4, 8)
    int precision = 0;  // Decimal: digits
    int scale = 0;      // Decimal: digits after the point
    bool required = false;
    bool fixedWidth = false;  // CHAR
    bool readOnly = false;    // the source cannot take a value for it
    bool textBlob = false;
    // Texts and text blobs: the server's number of the character set their bytes are in
    // (0 NONE, 4 UTF8, 53 WIN1252, ...; see codepage.h).
    int characterSet = 0;
    std::string displayLabel;  // when empty, messages use the name

    const std::string& label() const { return displayLabel.empty() ? name : displayLabel; }
};

// The one checked conversion of a value into a number of a column: the unscaled integer
// of the value at `scale` decimal digits (0 for an integer column), which must fit the
// column's `bytes` (2, 4 or 8). Integers and decimals are rescaled and doubles rounded,
// half away from zero; booleans are 0 or 1; a text must hold a plain number (an integer
// when scale is 0). Throws DataError "'<text>' is not a valid integer value" (or "...
// BCD value" when scale > 0) for a text that is no number, and "Value '<value>' does not
// fit column '<column>'" (or "Value '<value>' is out of range" without a column) when the
// result does not fit; nothing ever wraps.
int64_t fixedPointFor(const Value& v, int scale, int bytes, const std::string& column);

// Formatting of dates and times for screens and logs (the workstation's short-date and
// long-time formats) and for SQL text (ISO forms the server always reads the same way).
// The long time leaves out the time zone with whatever only framed it; texts are
// Windows-1252 bytes ('?' for a character the code page lacks).
std::string shortDateText(Date d);
std::string longTimeText(Time t);
std::string shortDateText(Date d, const QLocale& locale);
std::string longTimeText(Time t, const QLocale& locale);
// The system locale's formats are read once per thread; this has them read again (after
// the workstation's locale settings changed).
void refreshLocaleFormats();
std::string isoDateText(Date d);  // YYYY-MM-DD
std::string isoTimeText(Time t);  // HH:MM:SS

// The upper-case letter of a Windows-1252 byte (a-z, the accented letters, š œ ž ÿ); any
// other byte unchanged.
unsigned char upperCase1252(unsigned char c);

}  // namespace enviozvr::data
