#include "util/Variant.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "util/Exception.h"

namespace hv {

namespace {

[[noreturn]] void WrongType(const char* wanted) {
    throw EConvertError(std::string("Could not convert variant to ") + wanted);
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30, the day numbered 0.
constexpr int64_t kEpochDays = -25569;

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

TCurrency TCurrency::FromDouble(double v) {
    return TCurrency{std::llround(v * 10000.0)};
}

bool TVarValue::AsBoolean() const {
    if (auto p = std::get_if<bool>(&v_)) return *p;
    WrongType("Boolean");
}

int32_t TVarValue::AsInteger() const {
    if (auto p = std::get_if<int8_t>(&v_)) return *p;
    if (auto p = std::get_if<int16_t>(&v_)) return *p;
    if (auto p = std::get_if<int32_t>(&v_)) return *p;
    WrongType("Integer");
}

double TVarValue::AsDouble() const {
    if (auto p = std::get_if<float>(&v_)) return *p;
    if (auto p = std::get_if<double>(&v_)) return *p;
    if (auto p = std::get_if<TCurrency>(&v_)) return p->ToDouble();
    if (auto p = std::get_if<DateTag>(&v_)) return p->days;
    if (IsInteger()) return AsInteger();
    WrongType("Double");
}

TCurrency TVarValue::AsCurrency() const {
    if (auto p = std::get_if<TCurrency>(&v_)) return *p;
    WrongType("Currency");
}

TDateTime TVarValue::AsDate() const {
    if (auto p = std::get_if<DateTag>(&v_)) return p->days;
    WrongType("Date");
}

const std::string& TVarValue::AsText() const {
    if (auto p = std::get_if<std::string>(&v_)) return *p;
    WrongType("String");
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    out = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime out;
    if (!TryEncodeDate(year, month, day, out))
        throw EConvertError("Invalid argument to date encode");
    return out;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    CivilFromDays(static_cast<int64_t>(std::trunc(value)) + kEpochDays, year, month, day);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / 86400000.0;
}

TDateTime DateTimeFromUnix(int64_t unixTime) {
    time_t t = static_cast<time_t>(unixTime);
    struct tm tm {};
    localtime_r(&t, &tm);
    return static_cast<double>(DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) -
                               kEpochDays) +
           EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec);
}

TDateTime Now() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return DateTimeFromUnix(ts.tv_sec) + ts.tv_nsec / 1e6 / 86400000.0;
}

TDateTime Today() {
    return std::trunc(Now());
}

std::string DateText(TDateTime value) {
    int y, m, d;
    DecodeDate(value, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
    return buf;
}

}  // namespace hv
