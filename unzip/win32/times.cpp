// Time stamps of extracted files: the DOS date and time of a header as Unix time, Unix time
// as a FILETIME, and the daylight-saving correction for volumes that keep local time (FAT,
// VFAT, HPFS). getNTfiletime picks the member's times: the "UT" extra field's, else the
// local header's DOS date.
#include <time.h>

#include "unzip/win32/win32.h"

// FILETIME counts 100-nanosecond intervals from 1601-01-01 00:00:00 UTC.
static const int64_t FILETIME_1970 = 116444736000000000LL; // 0x019DB1DED53E8000
static const int64_t FILETIME_PER_SECOND = 10000000;
// The earliest time a DOS-dated volume can hold: 1980-01-01 00:00:00.
static const time_t EARLIEST_LOCAL_TIME = 315532800;

// Days of a common year before each month.
static const int days_before_month[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// ---------------------------------------------------------------------------------------
// DOS date and time

static uint32_t saturate(unsigned ddate, uint32_t t) {
    if (ddate >= 0x7432 && t < 0x70000000u) // 2038-01-18 and later wrapped around
        t = 0xFFFFFFFFu;
    if ((int32_t)t < 0) t = 0x7FFFFFFFu;
    return t;
}

int32_t dos_to_unix_time(unsigned ddate, unsigned dtime) {
    unsigned y = ((ddate >> 9) & 0x7F) + 10; // years since 1970
    int m = (int)((ddate >> 5) & 0x0F) - 1;
    int d = (int)(ddate & 0x1F) - 1;
    unsigned hh = (dtime >> 11) & 0x1F, mm = (dtime >> 5) & 0x3F, ss = 2 * (dtime & 0x1F);

    // A month field of 0 or above 12 would index outside the table; such dates are
    // damaged, and January is as good a guess as any.
    if (m < 0 || m > 11) m = 0;
    uint32_t days = 365 * y + (y + 1969) / 4 - 492 + (uint32_t)days_before_month[m];
    if (m > 1 && (y + 1970) % 4 == 0 && y + 1970 != 2100) days++;
    uint32_t t = (days + (uint32_t)d) * 86400u + hh * 3600u + mm * 60u + ss;

    // Zones without daylight saving report "unknown", yet their bias is valid (Japan is
    // one): only a failed query leaves the time uncorrected.
    TIME_ZONE_INFORMATION tzinfo;
    if (GetTimeZoneInformation(&tzinfo) != TIME_ZONE_ID_INVALID) t += (uint32_t)(tzinfo.Bias * 60);
    t = saturate(ddate, t);

    time_t local = (time_t)(int32_t)t;
    struct tm *tm = localtime(&local);
    if (tm != NULL && tm->tm_isdst > 0) t -= 3600;
    return (int32_t)saturate(ddate, t);
}

// ---------------------------------------------------------------------------------------
// Unix time and FILETIME

static int64_t filetime_value(const FILETIME *ft) {
    return (int64_t)(((uint64_t)ft->dwHighDateTime << 32) | ft->dwLowDateTime);
}

static void set_filetime(FILETIME *ft, int64_t v) {
    ft->dwLowDateTime = (DWORD)((uint64_t)v & 0xFFFFFFFFu);
    ft->dwHighDateTime = (DWORD)((uint64_t)v >> 32);
}

void utime2FileTime(time_t t, FILETIME *ft) {
    set_filetime(ft, (int64_t)t * FILETIME_PER_SECOND + FILETIME_1970);
}

// Division rounding towards minus infinity, so that years before 1970 count their leap days
// right; for later years it is the plain division.
static long floor_div(long a, long b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

static int is_leap(long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

time_t UTCtime2Localtime(time_t t) {
    struct tm *tm = localtime(&t);
    if (tm == NULL) {
        return t; // not representable: no correction rather than a made-up time
    }
    long year = tm->tm_year + 1900L;
    long yday = days_before_month[tm->tm_mon] + (tm->tm_mon > 1 && is_leap(year)) + tm->tm_mday - 1;
    long days = (year - 1970) * 365 + floor_div(year - 1969, 4) - floor_div(year - 1901, 100) +
                floor_div(year - 1601, 400) + yday;
    return (time_t)days * 86400 + tm->tm_hour * 3600 + tm->tm_min * 60 + tm->tm_sec;
}

// Windows converts a local-time volume's times with today's offset from UTC; shifting ft by
// the difference makes the stored local time the one that was in force on the day of t.
void NTtzbugWorkaround(time_t t, FILETIME *ft) {
    FILETIME wanted, current;
    time_t local = UTCtime2Localtime(t);
    if (local < EARLIEST_LOCAL_TIME) {
        local = EARLIEST_LOCAL_TIME;
    }
    utime2FileTime(local, &wanted);
    if (FileTimeToLocalFileTime(ft, &current)) {
        set_filetime(ft, filetime_value(ft) + (filetime_value(&wanted) - filetime_value(&current)));
    }
}

// ---------------------------------------------------------------------------------------
// The member's times

static void unix_to_filetime(time_t t, int local, FILETIME *ft) {
    utime2FileTime(t, ft);
    if (local) {
        NTtzbugWorkaround(t, ft);
    }
}

unsigned getNTfiletime(FILETIME *mod, FILETIME *acc, FILETIME *cre) {
    int local = NTQueryTargetFS(G.member_name);
    if (G.extra_buf != NULL && G.local_hdr.extra_len > 0) {
        stamp_times z;
        unsigned flags = ef_scan_for_izux(G.extra_buf, G.local_hdr.extra_len, 0,
                                          G.local_hdr.dos_date, &z, NULL) &
                         (EB_UT_FL_MTIME | EB_UT_FL_ATIME | EB_UT_FL_CTIME);
        if (flags & EB_UT_FL_MTIME) {
            unix_to_filetime(z.mtime, local, mod);
            if (flags & EB_UT_FL_ATIME) {
                unix_to_filetime(z.atime, local, acc);
            }
            if (flags & EB_UT_FL_CTIME) {
                unix_to_filetime(z.ctime, local, cre);
            }
            return flags;
        }
    }
    // No usable extended time stamp: the DOS date of the local header for both times.
    unix_to_filetime(dos_to_unix_time(G.local_hdr.dos_date, G.local_hdr.dos_time), local, mod);
    *acc = *mod;
    return EB_UT_FL_MTIME | EB_UT_FL_ATIME;
}
