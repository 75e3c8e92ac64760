// Name handling of the stand-in: 8.3 short names, wildcards, the Big5 listing forms,
// device names and the DOSATTRIB text.
#include <gtest/gtest.h>

#include "standin/volume.h"

namespace {

struct NamePair {
    const char* input;
    const char* expected;
};

class StandinShortName : public ::testing::TestWithParam<NamePair> {};

TEST_P(StandinShortName, IsWhatWindowsGivesTheLongName) {
    EXPECT_EQ(standin::short_name(GetParam().input), GetParam().expected);
    EXPECT_EQ(standin::is_short_name(GetParam().input), *GetParam().expected == '\0');
}

INSTANTIATE_TEST_SUITE_P(
    StandinNames, StandinShortName,
    ::testing::Values(
        NamePair{"photo.bath", "PHOTO~1.BAT"},
        NamePair{"letter.comics", "LETTER~1.COM"},
        NamePair{"notes.exe1", "NOTES~1.EXE"},
        NamePair{"LongFileName", "LONGFI~1"},
        NamePair{"my notes.txt", "MYNOTE~1.TXT"},
        NamePair{"my.photo.bath", "MYPHOT~1.BAT"},
        NamePair{".hidden", "HIDDEN~1"},
        NamePair{"a+b.txt", "AB~1.TXT"},
        NamePair{"\xE4\xB8\xAD\xE6\x96\x87.txt", "__~1.TXT"},  // 中文.txt: not in the OEM code page
        NamePair{"ab\xE4\xB8\xAD" "cdefg.exe", "AB_CDE~1.EXE"},  // one character, one place
        NamePair{"a.exe", ""},
        NamePair{"AUTORUN.INF", ""},
        NamePair{"readme", ""},
        NamePair{"a&b.exe", ""},
        NamePair{"12345678.123", ""}));

struct MatchCase {
    const char* pattern;
    const char* name;
    bool matches;
};

class StandinWildcard : public ::testing::TestWithParam<MatchCase> {};

TEST_P(StandinWildcard, MatchesLikeWindows) {
    EXPECT_EQ(standin::wildcard_match(GetParam().pattern, GetParam().name), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    StandinPatterns, StandinWildcard,
    ::testing::Values(
        MatchCase{"*.exe", "setup.EXE", true},
        MatchCase{"*.exe", "setup.exe1", false},
        MatchCase{"*.bat", "PHOTO~1.BAT", true},
        MatchCase{"?.exe", "a.exe", true},
        MatchCase{"?.exe", "ab.exe", false},
        MatchCase{"a*b*c", "aXbYbZc", true},
        MatchCase{"a*b*c", "aXbYc_", false},
        MatchCase{"*.*", "readme", true},
        MatchCase{"read*.*", "README", true},
        MatchCase{"*", "", true},
        MatchCase{"?", "", false},
        MatchCase{"?.txt", "\xE4\xB8\xAD.txt", true},      // one UTF-8 character
        MatchCase{"??.txt", "\xE4\xB8\xAD.txt", false},
        MatchCase{"\xE4\xB8\xAD*", "\xE4\xB8\xAD\xE6\x96\x87.txt", true},
        MatchCase{"*.exe", "\xE5\x8A\x9F.exe", true}));

class StandinExactBig5 : public ::testing::TestWithParam<NamePair> {};

TEST_P(StandinExactBig5, IsBig5WithQuestionMarksForTheRest) {
    EXPECT_EQ(standin::exact_big5(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    StandinNames, StandinExactBig5,
    ::testing::Values(
        NamePair{"plain.txt", "plain.txt"},
        NamePair{"\xE4\xB8\xAD\xE6\x96\x87.txt", "\xA4\xA4\xA4\xE5.txt"},  // 中文.txt
        NamePair{"\xE5\x8A\x9F\xE8\xAA\xB2", "\xA5\x5C\xBD\xD2"},        // 功課: second byte 0x5C
        NamePair{"caf\xC3\xA9", "caf?"},                                   // é: not in Big5
        NamePair{"Ph\xC5\x8Dtos", "Ph?tos"},                               // ō: no look-alike here
        NamePair{"\xF0\x9F\x98\x80!.exe", "?!.exe"},                       // an emoji
        NamePair{"\xC2\xB1", "\xA1\xD3"},                                  // ±
        NamePair{"bad\xFFutf8", "bad?utf8"},
        NamePair{"\xED\xA0\x80x", "?x"}));                                // lone surrogate

class StandinBestFitBig5 : public ::testing::TestWithParam<NamePair> {};

TEST_P(StandinBestFitBig5, WritesLookalikesAsCmdDoesWithoutUnicode) {
    EXPECT_EQ(standin::best_fit_big5(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    StandinNames, StandinBestFitBig5,
    ::testing::Values(
        NamePair{"Ph\xC5\x8Dtos", "Photos"},                  // ō
        NamePair{"caf\xC3\xA9", "cafe"},                      // é
        NamePair{"na\xC3\xAFve", "naive"},                    // ï
        NamePair{"\xEF\xBC\xA4ocs", "Docs"},                 // fullwidth Ｄ
        NamePair{"\xE4\xB8\xAD.txt", "\xA4\xA4.txt"},        // 中: Big5 has it
        NamePair{"\xED\x9C\x95", "?"},                       // Hangul: no look-alike
        NamePair{"\xC3\x97", "\xA1\xD1"}));                   // ×: Big5 has it

TEST(StandinDevices, NamesThatWindowsOpensAsDevices) {
    for (const char* device : {"COM1.exe", "com9", "LPT1.bat", "nul", "Con.txt", "AUX", "prn.x.y",
                               "COM\xC2\xB9.exe", "NUL .exe"}) {
        EXPECT_TRUE(standin::is_device_name(device)) << device;
    }
    for (const char* file : {"COM10.exe", "COM0", "console.exe", "xnul", "LPT", ".nul"}) {
        EXPECT_FALSE(standin::is_device_name(file)) << file;
    }
}

struct AttributeText {
    std::string text;
    unsigned attributes;
};

class StandinDosAttrib : public ::testing::TestWithParam<AttributeText> {};

TEST_P(StandinDosAttrib, ParsesWineText) {
    EXPECT_EQ(standin::parse_dosattrib(GetParam().text), GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(
    StandinTexts, StandinDosAttrib,
    ::testing::Values(AttributeText{"0x2", 0x2}, AttributeText{"\"0x6\"", 0x6},
                      AttributeText{std::string("0x1\0", 4), 0x1}, AttributeText{"0x27", 0x27},
                      AttributeText{"", 0}));

}  // namespace
