#include "content/validators.h"

#include <cstdio>
#include <cstring>

namespace qv::content {
namespace {

const char* const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};  // from 1 January 1970
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

// The tags of an If-None-Match list, without "W/".
bool ListHasTag(const std::string& list, const std::string& tag) {
    const std::string bare = tag.compare(0, 2, "W/") == 0 ? tag.substr(2) : tag;
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && (list[i] == ' ' || list[i] == ',' || list[i] == '\t')) ++i;
        if (i >= list.size()) break;
        if (list[i] == '*') return true;
        if (list.compare(i, 2, "W/") == 0) i += 2;
        size_t end;
        if (i < list.size() && list[i] == '"') {
            end = list.find('"', i + 1);
            end = end == std::string::npos ? list.size() : end + 1;
        } else {
            end = list.find(',', i);
            if (end == std::string::npos) end = list.size();
        }
        if (list.compare(i, end - i, bare) == 0) return true;
        i = end;
    }
    return false;
}

}  // namespace

std::string EntityTag(uint64_t size, int64_t modifiedSeconds) {
    char text[64];
    std::snprintf(text, sizeof text, "\"%llx-%llx\"", static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(modifiedSeconds));
    return text;
}

std::string HttpDate(int64_t seconds) {
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t rest = seconds - days * 86400;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    const int64_t weekday = ((days % 7) + 7) % 7;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02u %s %04lld %02d:%02d:%02d GMT", kDays[weekday], day, kMonths[month - 1],
                  static_cast<long long>(year), static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return text;
}

bool ParseHttpDate(const std::string& text, int64_t& seconds) {
    // "Sun, 06 Nov 1994 08:49:37 GMT": 29 characters exactly.
    if (text.size() != 29 || text[3] != ',' || text.compare(25, 4, " GMT") != 0) return false;
    // Digits where the numbers stand: the conversions below would also take a sign.
    for (size_t at : {5, 6, 12, 13, 14, 15, 17, 18, 20, 21, 23, 24}) {
        if (text[at] < '0' || text[at] > '9') return false;
    }
    char weekday[4] = {}, monthName[4] = {};
    unsigned day = 0, year = 0, hour = 0, minute = 0, second = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%3c, %2u %3c %4u %2u:%2u:%2u GMT%n", weekday, &day, monthName, &year, &hour,
                    &minute, &second, &used) != 7 ||
        used != 29) {
        return false;
    }
    unsigned month = 0;
    while (month < 12 && std::strcmp(kMonths[month], monthName) != 0) ++month;
    if (month == 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
    seconds = DaysFromCivil(year, month + 1, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

bool NotModified(const FileValidators& file, const std::string& ifNoneMatch, const std::string& ifModifiedSince) {
    if (!ifNoneMatch.empty()) return ListHasTag(ifNoneMatch, file.tag);
    int64_t since = 0;
    return file.modified >= 0 && ParseHttpDate(ifModifiedSince, since) && file.modified <= since;
}

bool IfRangeHolds(const FileValidators& file, const std::string& ifRange) {
    if (ifRange.empty()) return true;
    if (ifRange.front() == '"') return ifRange == file.tag;
    if (ifRange.compare(0, 2, "W/") == 0) return false;  // a weak tag never vouches for bytes
    int64_t date = 0;
    return file.modified >= 0 && ParseHttpDate(ifRange, date) && date == file.modified;
}

}  // namespace qv::content
