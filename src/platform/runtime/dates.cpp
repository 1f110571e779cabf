#include "platform/runtime/dates.h"

#include <algorithm>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/runtime/settings.h"

namespace rt {
namespace {

// Dates are kept between 1 January 1 and 31 December 9999: four-digit years
// in every text form, and day arithmetic that cannot leave int32.
constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

std::mutex gClockMutex;
std::function<CivilTime()> gClock;

CivilTime SystemNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return CivilTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

namespace {

// Gregorian calendar date to Julian day number (valid input assumed).
constexpr int32_t ToJulian(int y, int m, int d) {
    int a = (14 - m) / 12;
    int yy = y + 4800 - a;
    int mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

struct Ymd {
    int y = 0, m = 0, d = 0;
};

Ymd FromJulian(int32_t jd) {
    int a = jd + 32044;
    int b = (4 * a + 3) / 146097;
    int c = a - 146097 * b / 4;
    int d = (4 * c + 3) / 1461;
    int e = c - 1461 * d / 4;
    int m = (5 * e + 2) / 153;
    Ymd r;
    r.d = e - (153 * m + 2) / 5 + 1;
    r.m = m + 3 - 12 * (m / 10);
    r.y = 100 * b + d - 4800 + m / 10;
    return r;
}

constexpr int32_t kFirstDay = ToJulian(kMinYear, 1, 1);
constexpr int32_t kLastDay = ToJulian(kMaxYear, 12, 31);

bool InRange(int64_t jd) { return jd >= kFirstDay && jd <= kLastDay; }

// A date read from outside (a hand-made Date{}) may hold any number; only
// days in range are dates, everything else counts as empty.
bool Valid(Date d) { return InRange(d.julian); }

// The date picture split into fields and literal text.
struct Field {
    char kind = 0;  // 'D', 'M', 'Y', or 0 for literal text
    int width = 0;  // digits of the field
    std::string literal;
};

// Any run of D is the two-digit day, any run of M the two-digit month; a run
// of four or more Y is the four-digit year, a shorter run the two-digit year.
// Every other character is copied as it is.
std::vector<Field> ParsePicture(std::string_view picture) {
    std::vector<Field> fields;
    for (size_t i = 0; i < picture.size();) {
        char c = picture[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c == 'D' || c == 'M' || c == 'Y') {
            size_t j = i;
            while (j < picture.size() && (picture[j] == c || picture[j] == c - 'A' + 'a')) ++j;
            int width = c == 'Y' && j - i >= 4 ? 4 : 2;
            fields.push_back(Field{c, width, {}});
            i = j;
        } else {
            if (fields.empty() || fields.back().kind != 0) fields.push_back(Field{});
            fields.back().literal += picture[i];
            ++i;
        }
    }
    return fields;
}

void AppendNumber(std::string& out, int value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) out.append(static_cast<size_t>(width) - digits.size(), '0');
    out += digits;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The year of a two-digit year under the epoch: the one in the hundred years
// starting at the epoch year.
int EpochYear(int yy) {
    int epoch = SetEpoch();
    int year = epoch - epoch % 100 + yy;
    if (year < epoch) year += 100;
    return year;
}

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

}  // namespace

CivilTime Now() {
    std::function<CivilTime()> clock;
    {
        std::lock_guard lock(gClockMutex);
        clock = gClock;
    }
    return clock ? clock() : SystemNow();
}

void SetClock(std::function<CivilTime()> clock) {
    std::lock_guard lock(gClockMutex);
    gClock = std::move(clock);
}

Date MakeDate(int year, int month, int day) {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return Date{};
    return Date{ToJulian(year, month, day)};
}

Date Today() {
    CivilTime t = Now();
    return MakeDate(t.year, t.month, t.day);
}

int Day(Date d) { return Valid(d) ? FromJulian(d.julian).d : 0; }
int Month(Date d) { return Valid(d) ? FromJulian(d.julian).m : 0; }
int Year(Date d) { return Valid(d) ? FromJulian(d.julian).y : 0; }

int DOW(Date d) {
    // Julian day 0 was a Monday.
    return Valid(d) ? (d.julian + 1) % 7 + 1 : 0;
}

std::string CMonth(Date d) { return Valid(d) ? kMonths[Month(d) - 1] : ""; }
std::string CDoW(Date d) { return Valid(d) ? kDays[DOW(d) - 1] : ""; }

Date AddDays(Date d, int64_t days) {
    if (!Valid(d)) return Date{};
    // Checked before adding so that no day count can overflow.
    if (days > kLastDay - d.julian || days < kFirstDay - d.julian) return Date{};
    return Date{static_cast<int32_t>(d.julian + days)};
}

int64_t DaysBetween(Date later, Date earlier) {
    // A difference with the empty date would be a count from the start of
    // the Julian period: no answer anyone wants, so it is 0.
    if (!Valid(later) || !Valid(earlier)) return 0;
    return int64_t{later.julian} - earlier.julian;
}

std::string DToC(Date d) { return DToC(d, SetDateFrmt()); }

std::string DToC(Date d, std::string_view picture) {
    std::vector<Field> fields = ParsePicture(picture);
    bool empty = !Valid(d);
    Ymd ymd = empty ? Ymd{} : FromJulian(d.julian);
    std::string out;
    for (const Field& f : fields) {
        if (f.kind == 0) {
            out += f.literal;
        } else if (empty) {
            out.append(static_cast<size_t>(f.width), ' ');
        } else if (f.kind == 'D') {
            AppendNumber(out, ymd.d, 2);
        } else if (f.kind == 'M') {
            AppendNumber(out, ymd.m, 2);
        } else {
            AppendNumber(out, f.width == 4 ? ymd.y : ymd.y % 100, f.width);
        }
    }
    return out;
}

Date CToD(std::string_view text) {
    // The text is read as groups of digits in the picture's field order;
    // any non-letter between them separates (so "1.2.24" reads under
    // "MM/DD/YY" too). Letters, a wrong number of groups or an impossible
    // day make the empty date, as does blank text ("  /  /  ").
    std::vector<Field> fields;
    for (Field& f : ParsePicture(SetDateFrmt()))
        if (f.kind != 0) fields.push_back(std::move(f));
    if (fields.empty()) return Date{};

    std::vector<std::string> groups;
    bool inGroup = false;
    for (char c : text) {
        if (IsLetter(c)) return Date{};
        if (IsDigit(c)) {
            if (!inGroup) groups.emplace_back();
            groups.back() += c;
            inGroup = true;
        } else {
            inGroup = false;
        }
    }
    if (groups.empty()) return Date{};

    // Digits without separators ("311224") are split at the field widths.
    if (groups.size() == 1 && fields.size() > 1) {
        size_t total = 0;
        for (const Field& f : fields) total += static_cast<size_t>(f.width);
        if (groups[0].size() != total) return Date{};
        std::string all = groups[0];
        groups.clear();
        size_t pos = 0;
        for (const Field& f : fields) {
            groups.push_back(all.substr(pos, static_cast<size_t>(f.width)));
            pos += static_cast<size_t>(f.width);
        }
    }
    if (groups.size() != fields.size()) return Date{};

    int day = 1, month = 1, year = 0;
    bool haveYear = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string& g = groups[i];
        size_t maxDigits = fields[i].kind == 'Y' ? 4 : 2;
        if (g.size() > maxDigits) return Date{};
        int value = std::stoi(g);
        if (fields[i].kind == 'D') {
            day = value;
        } else if (fields[i].kind == 'M') {
            month = value;
        } else {
            // One or two digits are a year in the epoch's hundred, whatever
            // the century setting; three or four digits are the year itself.
            year = g.size() <= 2 ? EpochYear(value) : value;
            haveYear = true;
        }
    }
    if (!haveYear) year = Now().year;
    return MakeDate(year, month, day);
}

std::string DToS(Date d) {
    if (!Valid(d)) return std::string(8, ' ');
    Ymd ymd = FromJulian(d.julian);
    std::string out;
    AppendNumber(out, ymd.y, 4);
    AppendNumber(out, ymd.m, 2);
    AppendNumber(out, ymd.d, 2);
    return out;
}

Date SToD(std::string_view text) {
    if (text.size() != 8) return Date{};
    for (char c : text)
        if (!IsDigit(c)) return Date{};
    auto num = [&](size_t pos, size_t len) {
        int v = 0;
        for (size_t i = pos; i < pos + len; ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    return MakeDate(num(0, 4), num(4, 2), num(6, 2));
}

std::string Time() {
    CivilTime t = Now();
    int code = SetTimeSep();
    // A separator code that is no single byte falls back to the colon.
    char sep = code >= 1 && code <= 255 ? static_cast<char>(code) : ':';
    // A clock hook may hand over anything; a leap second shows as 59.
    int hour = std::clamp(t.hour, 0, 23);
    bool amPm = SetAmPm();
    std::string suffix;
    if (amPm) {
        suffix = hour < 12 ? SetAMExt() : SetPMExt();
        hour %= 12;
        if (hour == 0) hour = 12;
    }
    std::string out;
    AppendNumber(out, hour, 2);
    out += sep;
    AppendNumber(out, std::clamp(t.minute, 0, 59), 2);
    out += sep;
    AppendNumber(out, std::clamp(t.second, 0, 59), 2);
    return out + suffix;
}

}  // namespace rt
