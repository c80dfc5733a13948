// The filter-text parser as tables of texts: accepted texts with the condition they give,
// rejected ones with their exact message, per operand type.
#include "grid/filtertext.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <initializer_list>
#include <variant>

#include "data/codepage.h"
#include "data/localetext.h"

using namespace enviozvr::grid;
using enviozvr::data::Date;
using enviozvr::data::Time;
using enviozvr::data::Timestamp;
using enviozvr::data::Value;
using Op = FilterOperator;
using Type = FilterOperandType;

namespace {

FilterLocale dotLocale() { return FilterLocale{}; }  // '.', day/month/year, '/', ':'

FilterLocale commaLocale() {
    FilterLocale l;
    l.decimalSeparator = ',';
    return l;
}

FilterLocale usLocale() {
    FilterLocale l;
    l.dateOrder = FilterLocale::DateOrder::MonthDayYear;
    return l;
}

Value t(const char* s) { return Value::text(s); }
Value n(double v) { return Value::real(v); }
Value ts(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
    return Value::timestamp(Timestamp{Date::fromYmd(y, m, d), Time::fromHms(h, mi, s)});
}

struct Half {
    Op op = Op::None;
    std::vector<Value> values;
    bool list = false;
};
Half one(Op op, Value v) { return {op, {std::move(v)}, false}; }
Half many(Op op, std::vector<Value> v) { return {op, std::move(v), true}; }
Half bare(Op op) { return {op, {}, false}; }

FilterCondition cond(Type type, Half a, FilterRelation rel = FilterRelation::None, Half b = {}) {
    FilterCondition c;
    c.type = type;
    c.operator1 = a.op;
    c.operand1 = {a.list, a.values};
    c.relation = rel;
    c.operator2 = b.op;
    c.operand2 = {b.list, b.values};
    return c;
}

struct Case {
    const char* text;
    Type type;
    std::variant<FilterCondition, const char*> expected;  // condition, or the message
    FilterLocale locale = dotLocale();
};

const auto And = FilterRelation::And;
const auto Or = FilterRelation::Or;

std::string show(const FilterCondition& c) {
    auto half = [](Op op, const FilterOperand& o) {
        std::string s = std::to_string(static_cast<int>(op)) + (o.list ? "[" : "(");
        for (const Value& v : o.values)
            s += (v.kind() == Value::Kind::Text ? "'" + v.asString() + "'" : v.toText()) + " ";
        return s + (o.list ? "]" : ")");
    };
    return half(c.operator1, c.operand1) + " rel" + std::to_string(static_cast<int>(c.relation)) +
           " " + half(c.operator2, c.operand2);
}

void check(const std::vector<Case>& cases) {
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string("text [") + k.text + "]");
        if (const auto* want = std::get_if<FilterCondition>(&k.expected)) {
            FilterCondition got;
            ASSERT_NO_THROW(got = parseFilterText(k.text, k.type, k.locale));
            EXPECT_EQ(*want, got) << "want " << show(*want) << "\n got " << show(got);
        } else {
            try {
                const FilterCondition got = parseFilterText(k.text, k.type, k.locale);
                ADD_FAILURE() << "accepted as " << show(got);
            } catch (const FilterError& e) {
                EXPECT_STREQ(std::get<const char*>(k.expected), e.what());
            }
        }
    }
}

}  // namespace

TEST(FilterText, TextColumn) {
    const Type T = Type::Text;
    check({
        {"", T, FilterCondition{}},
        {"   ", T, FilterCondition{}},
        {"abc", T, cond(T, one(Op::Like, t("abc")))},
        {"  abc  ", T, cond(T, one(Op::Like, t("abc")))},
        {"New York", T, cond(T, one(Op::Like, t("New York")))},
        {"a,b", T, cond(T, many(Op::InList, {t("a"), t("b")}))},
        {"a, b", T, cond(T, many(Op::InList, {t("a"), t(" b")}))},
        {"'a','b'", T, cond(T, many(Op::InList, {t("a"), t("b")}))},
        {"=abc", T, cond(T, one(Op::Equal, t("abc")))},
        {"= abc", T, cond(T, one(Op::Equal, t("abc")))},
        {"<>abc", T, cond(T, one(Op::NotEqual, t("abc")))},
        {"!=abc", T, cond(T, one(Op::NotEqual, t("abc")))},
        {">b", T, cond(T, one(Op::Greater, t("b")))},
        {">=b", T, cond(T, one(Op::GreaterOrEqual, t("b")))},
        {"<b", T, cond(T, one(Op::Less, t("b")))},
        {"<=b", T, cond(T, one(Op::LessOrEqual, t("b")))},
        {"~ab%", T, cond(T, one(Op::Like, t("ab%")))},
        {"LiKe a_c", T, cond(T, one(Op::Like, t("a_c")))},
        {"!~ab", T, cond(T, one(Op::NotLike, t("ab")))},
        {"not like ab", T, cond(T, one(Op::NotLike, t("ab")))},
        {"in (a,b)", T, cond(T, many(Op::InList, {t("a"), t("b")}))},
        {"IN(a)", T, cond(T, one(Op::InList, t("a")))},
        {"!in(a,b)", T, cond(T, many(Op::NotInList, {t("a"), t("b")}))},
        {"not in ( a,b )", T, cond(T, many(Op::NotInList, {t("a"), t("b ")}))},
        {"= null", T, cond(T, bare(Op::IsNull))},
        {"=Null", T, cond(T, bare(Op::IsNull))},
        {"<> null", T, cond(T, bare(Op::IsNotNull))},
        {"!=NULL", T, cond(T, bare(Op::IsNotNull))},
        {"=nulls", T, cond(T, one(Op::Equal, t("nulls")))},
        {"='null'", T, cond(T, one(Op::Equal, t("null")))},
        {"'it''s'", T, cond(T, one(Op::Like, t("it's")))},
        {"' lead (x)'", T, cond(T, one(Op::Like, t(" lead (x)")))},
        {"a in b", T, cond(T, one(Op::Like, t("a in b")))},
        {"abc and def", T, cond(T, one(Op::Like, t("abc")), And, one(Op::Like, t("def")))},
        {"'a b' | x", T, cond(T, one(Op::Like, t("a b")), Or, one(Op::Like, t("x")))},
        {"=a & <>Null", T, cond(T, one(Op::Equal, t("a")), And, bare(Op::IsNotNull))},
        // The second condition is read alone: what follows it is ignored, and an IN list
        // there needs no ')'.
        {"=a or =b =c", T, cond(T, one(Op::Equal, t("a")), Or, one(Op::Equal, t("b")))},
        {"a and in (x,y", T,
         cond(T, one(Op::Like, t("a")), And, many(Op::InList, {t("x"), t("y")}))},

        {"null", T, "Unexpected expression after operator: null"},
        {"not null", T, "Unexpected expression after operator: not null"},
        {"  NOT  NULL ", T, "Unexpected expression after operator: NOT  NULL"},
        {"=", T, "Unexpected expression after operator: ="},
        {"= >a", T, "Unexpected expression after operator: = >a"},
        {"in ()", T, "Unexpected expression after operator: in ()"},
        {"! a", T, "Unexpected expression after operator: ! a"},
        {"'abc", T, "Quote is absent: 'abc"},
        {"  'abc  ", T, "Quote is absent: 'abc"},
        {"='it''s", T, "Quote is absent: ='it''s"},
        {"> null", T, "Unexpected expression before Null: > null"},
        {"~null", T, "Unexpected expression before Null: ~null"},
        {"=not null", T, "Unexpected expression before Null: =not null"},
        {"in (a,b", T, "')' expected: in (a,b"},
        {"in (a,b) c", T, "Unexpected AND or OR: in (a,b) c"},
        {"(", T, "Error in expression: ("},
        {")", T, "Error in expression: )"},
        {"=a and", T, "Error in expression: =a and"},
        {"=a )", T, "Incorrect expression: =a )"},
        {"(abc)", T, "Incorrect expression: (abc)"},
        {"a null", T, "Unexpected AND or OR: a null"},
        {"'a' 'b'", T, "Unexpected AND or OR: 'a' 'b'"},
        {"and a", T, "Unexpected AND or OR: and a"},
    });
}

TEST(FilterText, NumberColumn) {
    const Type N = Type::Number;
    check({
        {"5", N, cond(N, one(Op::Equal, n(5)))},
        {"> 3 and < 7", N, cond(N, one(Op::Greater, n(3)), And, one(Op::Less, n(7)))},
        {"-1.5e2", N, cond(N, one(Op::Equal, n(-150)))},
        {"1,2", N, cond(N, many(Op::InList, {n(1), n(2)}))},
        {"in (1, 2)", N, cond(N, many(Op::InList, {n(1), n(2)}))},
        {"=Null", N, cond(N, bare(Op::IsNull))},
        {"> abc", N, "'abc' is not a valid floating point value"},
        {"~1%", N, "'1%' is not a valid floating point value"},
        {"1,x", N, "'x' is not a valid floating point value"},
        {"=1.", N, cond(N, one(Op::Equal, n(1)))},
        {"=1e", N, "'1e' is not a valid floating point value"},
        // The parse comes first: a broken text reports its parse error.
        {"> abc and", N, "Error in expression: > abc and"},
        // With a decimal comma there are no bare lists; inside IN ( ... ) there are.
        {"1,5", N, cond(N, one(Op::Equal, n(1.5))), commaLocale()},
        {"in (1,5)", N, cond(N, many(Op::InList, {n(1), n(5)})), commaLocale()},
        {"1.5", N, "'1.5' is not a valid floating point value", commaLocale()},
    });
}

TEST(FilterText, DateTimeColumn) {
    const Type D = Type::DateTime;
    check({
        {"15/01/2026", D, cond(D, one(Op::Equal, ts(2026, 1, 15)))},
        {">= 15/01/2026 10:30", D, cond(D, one(Op::GreaterOrEqual, ts(2026, 1, 15, 10, 30)))},
        {"15-1-26", D, cond(D, one(Op::Equal, ts(2026, 1, 15)))},
        {"10:30:15", D, cond(D, one(Op::Equal, ts(1899, 12, 30, 10, 30, 15)))},
        {"2:05 pm", D, cond(D, one(Op::Equal, ts(1899, 12, 30, 14, 5)))},
        {"< now", D, cond(D, one(Op::Less, t("NOW")))},
        {">=Now and <16/01/2026", D,
         cond(D, one(Op::GreaterOrEqual, t("NOW")), And, one(Op::Less, ts(2026, 1, 16)))},
        {"01/15/2026", D, cond(D, one(Op::Equal, ts(2026, 1, 15))), usLocale()},
        {"31/02/2026", D, "'31/02/2026' is not a valid date and time"},
        {"> tomorrow", D, "'tomorrow' is not a valid date and time"},
        {"25:00", D, "'25:00' is not a valid date and time"},
        {"01/15/2026", D, "'01/15/2026' is not a valid date and time"},
    });
}

// Colombian Spanish writes the afternoon as "3:03:39 p.\u00a0m." (a no-break space inside);
// what the user types for it, in either case, with a plain blank or none, reads the same,
// alone, after a date, or with an operator. A marker that is neither stays refused.
TEST(FilterText, ColombianMorningAndAfternoonTexts) {
    const Type D = Type::DateTime;
    const FilterLocale es = FilterLocale::of(QLocale(QStringLiteral("es_CO")));
    const FilterCondition threePm = cond(D, one(Op::Equal, ts(1899, 12, 30, 15, 0, 0)));
    check({
        {"3:00:00 p. m.", D, threePm, es},
        {"3:00:00 P. M.", D, threePm, es},
        {"3:00:00 p.\xA0m.", D, threePm, es},
        {"3:00:00 p.m.", D, threePm, es},
        {"3:00:00 pm", D, threePm, es},
        {"15:00:00", D, threePm, es},
        {"=3:00:00 P. M.", D, threePm, es},
        {">= 10/12/2026 3:00:00 p. m.", D,
         cond(D, one(Op::GreaterOrEqual, ts(2026, 12, 10, 15, 0, 0))), es},
        {"<12:30:00 a. m. or >11:59:59 a. m.", D,
         cond(D, one(Op::Less, ts(1899, 12, 30, 0, 30, 0)), Or,
              one(Op::Greater, ts(1899, 12, 30, 11, 59, 59))),
         es},
        {"3:00:00 p. n.", D, "'3:00:00 p. n.' is not a valid date and time", es},
        {"15:00:00 p. m.", D, "'15:00:00 p. m.' is not a valid date and time", es},
    });
}

TEST(FilterText, BooleanAndOtherColumnsKeepTexts) {
    check({
        {"=True", Type::Boolean, cond(Type::Boolean, one(Op::Equal, t("True")))},
        {"x", Type::None, cond(Type::None, one(Op::Equal, t("x")))},
    });
}

TEST(FilterText, OperandTypeOfFieldTypes) {
    EXPECT_EQ(Type::Text, filterOperandTypeOf(ftString));
    EXPECT_EQ(Type::Text, filterOperandTypeOf(ftFixedChar));
    EXPECT_EQ(Type::Text, filterOperandTypeOf(ftMemo));
    EXPECT_EQ(Type::Number, filterOperandTypeOf(ftInteger));
    EXPECT_EQ(Type::Number, filterOperandTypeOf(ftFMTBcd));
    EXPECT_EQ(Type::DateTime, filterOperandTypeOf(ftTime));
    EXPECT_EQ(Type::DateTime, filterOperandTypeOf(ftTimeStamp));
    EXPECT_EQ(Type::Boolean, filterOperandTypeOf(ftBoolean));
    EXPECT_EQ(Type::None, filterOperandTypeOf(ftBlob));
}

// A date or a time typed as the grid shows it under the workstation's locale (its short
// date, its long time without the zone) is read as that date or time, in every locale
// whose texts Windows-1252 can hold: month names ("10 Dec 2026"), dots, a localised AM/PM.
TEST(FilterText, DatesAndTimesAsTheGridShowsThem) {
    const QDate date(2026, 12, 10);
    const QTime time(8, 30, 1);
    std::vector<std::string> refused;
    int read = 0;
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        const FilterLocale settings = FilterLocale::of(locale);
        const struct {
            QString shown;
            Timestamp expected;
        } cases[] = {
            {locale.toString(date, QLocale::ShortFormat), {Date::fromYmd(2026, 12, 10), Time{}}},
            {enviozvr::data::wallClockTimeText(locale, time),
             {Date::fromYmd(1899, 12, 30), Time::fromHms(8, 30, 1)}},
        };
        for (const auto& c : cases) {
            const std::string text = enviozvr::data::windows1252FromQString(c.shown);
            if (enviozvr::data::qstringFromWindows1252(text) != c.shown)
                continue;  // not a Windows-1252 text
            ++read;
            try {
                const Timestamp got = filterDateTime(text, settings);
                if (got.date.days != c.expected.date.days ||
                    got.time.fractions != c.expected.time.fractions)
                    refused.push_back(locale.name().toStdString() + " '" + text + "' misread");
            } catch (const FilterError& e) {
                refused.push_back(locale.name().toStdString() + " " + e.what());
            }
        }
    }
    EXPECT_GT(read, 100);
    std::string shown;
    for (size_t i = 0; i < refused.size() && i < 15; ++i) shown += refused[i] + "\n";
    EXPECT_TRUE(refused.empty()) << refused.size() << " refused, among them:\n" << shown;
}
