// Java version texts and the launch properties' bounds.
//
// Two ways of comparing, each for its own place of the search:
//  - as text (compareVersionText), for the classic registry key: a bound against the
//    version's prefix of the bound's own length, case folded, except that an update number
//    after "_" compares as a number ("1.8.0_451" is above "1.8.0_60");
//  - as numbers (JavaVersion), for every other place: "1.x" counts as x, "." and "_"
//    separate components, a "-" or "+" suffix ("-ea", "+7") does not count, and a bound
//    compares with as many components of the version as it has itself ("17" admits 17.0.9).
#ifndef LAUNCHER_VERSION_H
#define LAUNCHER_VERSION_H

enum {
    VERSION_PARTS = 8,            // components kept; more are ignored
    VERSION_PART_MAX = 999999999, // a larger component makes the text no version
};

struct JavaVersion {
    unsigned parts[VERSION_PARTS];
    int count; // 0: not a version number
};

// The version number a text spells, or count 0 when it spells none ("", "abc", "1..2",
// "99999999999999999999"). 1 when it is a version number.
int parseJavaVersion(const char *text, JavaVersion *out);
// Below 0, 0 or above 0 over the first `precision` components, missing ones counting as 0.
int compareJavaVersions(const JavaVersion &a, const JavaVersion &b, int precision);
// 1 when version satisfies the bounds as numbers: the required one alone when it is set,
// else minimum and maximum, all at their own precision. An empty bound admits everything; a
// bound or version that is no version number admits nothing.
int versionWithinBounds(const char *required, const char *minimum, const char *maximum,
                        const char *version);
// The classic text comparison of a version with a bound: below 0, 0 or above 0.
int compareVersionText(const char *version, const char *bound);

#endif
