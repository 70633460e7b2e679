// TVarValue: a value that carries its own type tag, and the date arithmetic
// of the system's date-time values (days since 1899-12-30 as a double, the
// fraction being the time of day).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace hv {

using TDateTime = double;

// Currency: a fixed-point number, the value times 10000.
struct TCurrency {
    int64_t scaled = 0;
    static TCurrency FromDouble(double v);
    double ToDouble() const { return static_cast<double>(scaled) / 10000.0; }
    friend auto operator<=>(const TCurrency&, const TCurrency&) = default;
};

enum class TVarType {
    Empty,
    Null,
    Boolean,
    Int8,
    Int16,
    Int32,
    Single,
    Double,
    Currency,
    Date,
    Text
};

class TVarValue {
  public:
    TVarValue() = default;  // empty
    explicit TVarValue(bool v) : v_(std::in_place_type<bool>, v) {}
    explicit TVarValue(int32_t v) : v_(std::in_place_type<int32_t>, v) {}
    explicit TVarValue(double v) : v_(std::in_place_type<double>, v) {}
    explicit TVarValue(const std::string& v) : v_(std::in_place_type<std::string>, v) {}
    explicit TVarValue(const char* v) : v_(std::in_place_type<std::string>, v) {}

    static TVarValue Null() { return Make<NullTag>(NullTag{}); }
    static TVarValue Boolean(bool v) { return Make<bool>(v); }
    static TVarValue Int8(int8_t v) { return Make<int8_t>(v); }
    static TVarValue Int16(int16_t v) { return Make<int16_t>(v); }
    static TVarValue Int32(int32_t v) { return Make<int32_t>(v); }
    static TVarValue Single(float v) { return Make<float>(v); }
    static TVarValue Double(double v) { return Make<double>(v); }
    static TVarValue Currency(TCurrency v) { return Make<TCurrency>(v); }
    static TVarValue Date(TDateTime v) { return Make<DateTag>(DateTag{v}); }
    static TVarValue Text(const std::string& v) { return Make<std::string>(v); }

    TVarType Type() const { return static_cast<TVarType>(v_.index()); }
    bool IsEmpty() const { return Type() == TVarType::Empty; }
    bool IsNull() const { return Type() == TVarType::Null; }
    bool IsInteger() const {
        TVarType t = Type();
        return t == TVarType::Int8 || t == TVarType::Int16 || t == TVarType::Int32;
    }

    // Readers of the exact type; a value of another type raises EConvertError.
    bool AsBoolean() const;
    int32_t AsInteger() const;  // any of the integer types
    double AsDouble() const;    // single, double, currency, date or integer
    TCurrency AsCurrency() const;
    TDateTime AsDate() const;
    const std::string& AsText() const;

  private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    struct DateTag {
        double days;
        bool operator==(const DateTag&) const = default;
    };
    // Alternatives in TVarType order.
    using Storage = std::variant<std::monostate, NullTag, bool, int8_t, int16_t, int32_t, float,
                                 double, TCurrency, DateTag, std::string>;
    template <class T, class V>
    static TVarValue Make(V&& v) {
        TVarValue out;
        out.v_.template emplace<T>(std::forward<V>(v));
        return out;
    }

    Storage v_;
};

// ---- dates -------------------------------------------------------------------
// False when the date does not exist (years 1..9999).
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
// Raises EConvertError for a date that does not exist.
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
TDateTime Now();
TDateTime Today();
// Unix seconds as local time.
TDateTime DateTimeFromUnix(int64_t unixTime);
// Short date of the user's locale: DD.MM.YYYY.
std::string DateText(TDateTime value);

}  // namespace hv
