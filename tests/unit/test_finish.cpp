// Finishing extracted files: time conversions, the daylight-saving correction for volumes
// that keep local time, the choice between the "UT" extra field and the DOS date, and the
// attributes and times that close_outfile leaves on a file. Expected times were worked out
// with Python's datetime and time modules (with the same TZ values), not with the code.
#include "unit/engine_fixture.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <string>

namespace {

int64_t value(const FILETIME &ft) {
    return (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
}

// Central European time with its daylight-saving rule, written the POSIX way.
const char kCet[] = "CET-1CEST,M3.5.0,M10.5.0/3";

// 2024-07-01 12:00:00 UTC and 2024-01-01 12:00:00 UTC.
const time_t kSummerNoon = 1719835200;
const time_t kWinterNoon = 1704110400;
// The same instants as FILETIME, and one hour later / earlier.
const int64_t kSummerNoonFt = 133643088000000000LL;
const int64_t kSummerOneFt = 133643124000000000LL; // 2024-07-01 13:00:00 UTC
const int64_t kWinterNoonFt = 133485840000000000LL;
const int64_t kWinterElevenFt = 133485804000000000LL; // 2024-01-01 11:00:00 UTC

// DOS date and time of 2024-07-01 12:00:00: (44 << 9) | (7 << 5) | 1 and 12 << 11.
const uint16_t kSummerDosDate = 0x58E1;
const uint16_t kNoonDosTime = 0x6000;

// Times in the "UT" block below.
const int64_t kMtimeFt = 132645709210000000LL; // 2021-05-04 03:02:01 UTC
const int64_t kAtimeFt = 132855662450000000LL; // 2022-01-02 03:04:05 UTC
const int64_t kCtimeFt = 132274943980000000LL; // 2020-02-29 23:59:58 UTC

// Extended timestamp block with all three times.
const uint8_t kUtAll[] = {
    0x55, 0x54,             // block id "UT"
    0x0D, 0x00,             // data length 13: flag byte and three times
    0x07,                   // flags: modification, access and creation time follow
    0x29, 0xB9, 0x90, 0x60, // modification 1620097321 (2021-05-04 03:02:01 UTC)
    0x25, 0x16, 0xD1, 0x61, // access 1641092645 (2022-01-02 03:04:05 UTC)
    0xFE, 0xFA, 0x5A, 0x5E, // creation 1583020798 (2020-02-29 23:59:58 UTC)
};

// Extended timestamp block with an access time only.
const uint8_t kUtAccessOnly[] = {
    0x55, 0x54,             // block id "UT"
    0x05, 0x00,             // data length 5
    0x02,                   // flags: access time only
    0x25, 0x16, 0xD1, 0x61, // access 1641092645
};

// Extended timestamp block with a modification time in summer.
const uint8_t kUtSummer[] = {
    0x55, 0x54,             // block id "UT"
    0x05, 0x00,             // data length 5
    0x01,                   // flags: modification time
    0x40, 0x9A, 0x82, 0x66, // modification 1719835200 (2024-07-01 12:00:00 UTC)
};

} // namespace

// Keeps the process's TZ and restores it after each test.
class FinishTest : public EngineTest {
  protected:
    void SetUp() override {
        const char *tz = getenv("TZ");
        had_tz_ = tz != NULL;
        if (had_tz_) old_tz_ = tz;
        setTz("UTC0");
        EngineTest::SetUp();
    }
    void TearDown() override {
        EngineTest::TearDown();
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void setTz(const char *tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    // Gives the current member a local extra field (released by the engine's clean-up).
    static void setExtra(const uint8_t *ef, size_t len) {
        free(G.extra_buf);
        G.extra_buf = (uint8_t *)malloc(len);
        memcpy(G.extra_buf, ef, len);
        G.local_hdr.extra_len = (uint16_t)len;
    }
    // Writes the member's data and leaves it open in dest_file, as the extraction loop does.
    static void openMember(const char *name) {
        snprintf(G.member_name, sizeof G.member_name, "%s", name);
        G.dest_file = fopen(name, "wb");
        ASSERT_NE(nullptr, G.dest_file);
        fputs("content", G.dest_file);
    }
    // The file's times as GetFileTime reports them.
    static void timesOf(const char *name, FILETIME *cre, FILETIME *acc, FILETIME *mod) {
        HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        EXPECT_TRUE(GetFileTime(h, cre, acc, mod));
        CloseHandle(h);
    }

    bool had_tz_ = false;
    std::string old_tz_;
};

// ---------------------------------------------------------------------------------------
// Conversions

TEST(FinishTime, UnixTimeToFileTime) {
    FILETIME ft;
    utime2FileTime(0, &ft);
    EXPECT_EQ(116444736000000000LL, value(ft));
    EXPECT_EQ(0x019DB1DEu, ft.dwHighDateTime);
    EXPECT_EQ(0xD53E8000u, ft.dwLowDateTime);
    utime2FileTime(kSummerNoon, &ft);
    EXPECT_EQ(kSummerNoonFt, value(ft));
    utime2FileTime(-86400, &ft); // 1969-12-31: the time is signed
    EXPECT_EQ(116443872000000000LL, value(ft));
}

class FinishLocal : public FinishTest {};

TEST_F(FinishLocal, UtcZoneIsIdentity) {
    EXPECT_EQ(kSummerNoon, UTCtime2Localtime(kSummerNoon));
}

TEST_F(FinishLocal, CentralEuropeanSummerAndWinter) {
    setTz(kCet);
    EXPECT_EQ(1719842400, UTCtime2Localtime(kSummerNoon)); // 14:00 local, daylight saving
    EXPECT_EQ(1704114000, UTCtime2Localtime(kWinterNoon)); // 13:00 local
}

TEST_F(FinishLocal, LeapDayAndCenturyYears) {
    setTz(kCet);
    EXPECT_EQ(1709256600, UTCtime2Localtime(1709253000)); // 2024-03-01 00:30 UTC, after 29 Feb
    EXPECT_EQ(4107589200, UTCtime2Localtime(4107585600)); // 2100-03-01 12:00 UTC, no 29 Feb
    EXPECT_EQ(-49978800, UTCtime2Localtime(-49982400));   // 1968-06-01 12:00 UTC
}

TEST_F(FinishLocal, WestOfUtcCrossesTheYear) {
    setTz("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(1704047400, UTCtime2Localtime(1704065400)); // 2023-12-31 23:30 UTC, 18:30 local
}

// Windows converts with today's offset; the correction brings in the offset of the day.
class FinishTzBug : public FinishTest {
  protected:
    void SetUp() override {
        FinishTest::SetUp();
        setTz(kCet);
        compat::setTimeZone(-60, TIME_ZONE_ID_STANDARD); // extracted in winter
    }
    static int64_t corrected(time_t t) {
        FILETIME ft;
        utime2FileTime(t, &ft);
        NTtzbugWorkaround(t, &ft);
        return value(ft);
    }
};

TEST_F(FinishTzBug, SummerTimeExtractedInWinterMovesAnHour) {
    EXPECT_EQ(kSummerOneFt, corrected(kSummerNoon));
}

TEST_F(FinishTzBug, WinterTimeExtractedInWinterStays) {
    EXPECT_EQ(kWinterNoonFt, corrected(kWinterNoon));
}

TEST_F(FinishTzBug, WinterTimeExtractedInSummerMovesBack) {
    compat::setTimeZone(-60, TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(kWinterElevenFt, corrected(kWinterNoon));
}

TEST_F(FinishTzBug, TimesBefore1980AreRaised) {
    // 1980-01-01 00:00 local (CET) is 1979-12-31 23:00 UTC.
    EXPECT_EQ(119600028000000000LL, corrected(0));
}

// ---------------------------------------------------------------------------------------
// Volumes and system

// NTQueryTargetFS in a run of its own: within a run the volume is asked once per root.
static int localTimeIn(const char *fileSystem, const char *path, bool queryFails = false) {
    compat::reset();
    compat::setVolume(fileSystem, 255, 0);
    compat::setVolumeQueryFails(queryFails);
    checkdir(NULL, END);
    return NTQueryTargetFS(path);
}

TEST(FinishVolume, LocalTimeFileSystems) {
    EXPECT_EQ(0, localTimeIn("NTFS", "x.txt"));
    for (const char *fs : {"FAT", "FAT32", "fat", "VFAT", "HPFS"})
        EXPECT_EQ(1, localTimeIn(fs, "x.txt")) << fs;
    for (const char *fs : {"NTFS", "exFAT", "FA", "CDFS", ""})
        EXPECT_EQ(0, localTimeIn(fs, "C:\\x.txt")) << fs;
    EXPECT_EQ(0, localTimeIn("FAT", "x.txt", true)); // cannot be asked: taken as UTC
    compat::reset();
}

TEST(FinishVolume, WindowsVersionIsAskedOnce) {
    compat::reset();
    int first = IsWinNT();
    compat::setVersion(first ? 0x80000A04u : 0x1DB10106u);
    EXPECT_EQ(first, IsWinNT());
    compat::reset();
}

// ---------------------------------------------------------------------------------------
// Times of a member

class FinishTimes : public FinishTest {
  protected:
    void SetUp() override {
        FinishTest::SetUp();
        snprintf(G.member_name, sizeof G.member_name, "f.txt");
        G.local_hdr.dos_date = kSummerDosDate;
        G.local_hdr.dos_time = kNoonDosTime;
    }
    FILETIME mod_ = {0, 0}, acc_ = {0, 0}, cre_ = {0, 0};
};

TEST_F(FinishTimes, DosDateWithoutExtraField) {
    EXPECT_EQ(3u, getNTfiletime(&mod_, &acc_, &cre_));
    EXPECT_EQ(kSummerNoonFt, value(mod_));
    EXPECT_EQ(kSummerNoonFt, value(acc_));
}

TEST_F(FinishTimes, AllThreeFromExtendedTimestamp) {
    setExtra(kUtAll, sizeof kUtAll);
    EXPECT_EQ(7u, getNTfiletime(&mod_, &acc_, &cre_));
    EXPECT_EQ(kMtimeFt, value(mod_));
    EXPECT_EQ(kAtimeFt, value(acc_));
    EXPECT_EQ(kCtimeFt, value(cre_));
}

TEST_F(FinishTimes, AccessOnlyFallsBackToDosDate) {
    setExtra(kUtAccessOnly, sizeof kUtAccessOnly);
    EXPECT_EQ(3u, getNTfiletime(&mod_, &acc_, &cre_));
    EXPECT_EQ(kSummerNoonFt, value(mod_));
    EXPECT_EQ(kSummerNoonFt, value(acc_));
}

TEST_F(FinishTimes, FatVolumeIsCorrected) {
    setTz(kCet);
    compat::setTimeZone(-60, TIME_ZONE_ID_STANDARD);
    compat::setVolume("FAT", 255, 0);
    setExtra(kUtSummer, sizeof kUtSummer);
    EXPECT_EQ(1u, getNTfiletime(&mod_, &acc_, &cre_));
    EXPECT_EQ(kSummerOneFt, value(mod_));
}

TEST_F(FinishTimes, NtfsVolumeIsNotCorrected) {
    setTz(kCet);
    compat::setTimeZone(-60, TIME_ZONE_ID_STANDARD);
    setExtra(kUtSummer, sizeof kUtSummer);
    EXPECT_EQ(1u, getNTfiletime(&mod_, &acc_, &cre_));
    EXPECT_EQ(kSummerNoonFt, value(mod_));
}

// ---------------------------------------------------------------------------------------
// close_outfile

class FinishClose : public FinishTest {};

TEST_F(FinishClose, ReadOnlyFileStillGetsItsTimes) {
    openMember("ro.txt");
    G.cur_entry->platform_attr = 0x21;
    setExtra(kUtAll, sizeof kUtAll);
    close_outfile();
    EXPECT_EQ(nullptr, G.dest_file);
    EXPECT_EQ(0x21, compat::attributesOf("ro.txt"));
    struct stat st;
    ASSERT_EQ(0, stat("ro.txt", &st));
    EXPECT_EQ(0u, st.st_mode & 0222); // read-only on the host
    FILETIME cre, acc, mod;
    timesOf("ro.txt", &cre, &acc, &mod);
    EXPECT_EQ(kMtimeFt, value(mod));
    EXPECT_EQ(kAtimeFt, value(acc));
    EXPECT_EQ(kCtimeFt, value(cre));
    EXPECT_EQ("content", readFile("ro.txt"));
    EXPECT_EQ("", messages());
}

TEST_F(FinishClose, ArchiveBitOnlyMakesNoAttributeCall) {
    openMember("plain.txt");
    G.cur_entry->platform_attr = 0x20;
    G.local_hdr.dos_date = kSummerDosDate;
    G.local_hdr.dos_time = kNoonDosTime;
    close_outfile();
    EXPECT_EQ(-1, compat::attributesOf("plain.txt"));
    FILETIME cre, acc, mod;
    timesOf("plain.txt", &cre, &acc, &mod);
    EXPECT_EQ(kSummerNoonFt, value(mod));
    EXPECT_EQ(kSummerNoonFt, value(acc));
}

TEST_F(FinishClose, HiddenAndSystemAreSet) {
    openMember("hs.txt");
    G.cur_entry->platform_attr = 0xA6; // 0x80 and archive dropped from the mask: 0x26
    close_outfile();
    EXPECT_EQ(0x26, compat::attributesOf("hs.txt"));
}

TEST_F(FinishClose, SinkOnlyClosesTheStream) {
    openMember("sink.txt");
    G.to_sink = 1;
    G.cur_entry->platform_attr = 0x21;
    G.local_hdr.dos_date = kSummerDosDate;
    close_outfile();
    EXPECT_EQ(nullptr, G.dest_file);
    EXPECT_EQ(-1, compat::attributesOf("sink.txt"));
    FILETIME cre, acc, mod;
    timesOf("sink.txt", &cre, &acc, &mod);
    EXPECT_NE(kSummerNoonFt, value(mod));
}

TEST_F(FinishClose, VanishedFileGivesCreateFileMessage) {
    openMember("gone.txt");
    ASSERT_EQ(0, unlink("gone.txt"));
    G.cur_entry->platform_attr = 0x20;
    close_outfile();
    EXPECT_NE(std::string::npos,
              messages().find("\nCreateFile error 2 when trying set file time\n"));
}

TEST_F(FinishClose, FailedAttributeChangeIsOnlyAWarning) {
    openMember("gone2.txt");
    ASSERT_EQ(0, unlink("gone2.txt"));
    G.cur_entry->platform_attr = 0x21;
    close_outfile();
    EXPECT_NE(std::string::npos, messages().find("\nwarning (2): could not set file attributes\n"));
    EXPECT_NE(std::string::npos, messages().find("CreateFile error 2"));
}
