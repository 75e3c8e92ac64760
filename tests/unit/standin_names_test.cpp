// Name handling of the stand-in: 8.3 short names, wildcards, the Big5 listing form and
// the DOSATTRIB text.
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
        NamePair{"\xA4\xA4\xA4\xE5\xA4\xA4\xA4\xE5.txt", ""},           // 8 Big5 bytes: fits
        NamePair{"\xA4\xA4\xA4\xE5\xA4\xA4\xA4\xE5x.txt", "\xA4\xA4\xA4\xE5\xA4\xA4~1.TXT"},
        NamePair{"\xA4\xA4" "abcd" "\xA4\xE5" "x.txt", "\xA4\xA4" "ABCD~1.TXT"},  // never half a character
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
        MatchCase{"?.txt", "\xA4\xA4.txt", true},      // one Big5 character
        MatchCase{"??.txt", "\xA4\xA4.txt", false},
        MatchCase{"\xA4\xA4*", "\xA4\xA4\xA4\xE5.txt", true}));

class StandinListingName : public ::testing::TestWithParam<NamePair> {};

TEST_P(StandinListingName, IsBig5WithQuestionMarksForTheRest) {
    EXPECT_EQ(standin::listing_name(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    StandinNames, StandinListingName,
    ::testing::Values(
        NamePair{"plain.txt", "plain.txt"},
        NamePair{"\xE4\xB8\xAD\xE6\x96\x87.txt", "\xA4\xA4\xA4\xE5.txt"},  // 中文.txt
        NamePair{"caf\xC3\xA9", "caf?"},                                   // é: not in Big5
        NamePair{"\xF0\x9F\x98\x80!.exe", "?!.exe"},                       // an emoji
        NamePair{"\xC2\xB1", "\xA1\xD3"},                                  // ±
        NamePair{"bad\xFFutf8", "bad?utf8"}));

TEST(StandinBig5, CommandTextConvertsBackToTheLinuxName) {
    EXPECT_EQ(standin::big5_to_utf8("\xA4\xA4\xA4\xE5.txt"), "\xE4\xB8\xAD\xE6\x96\x87.txt");
    EXPECT_EQ(standin::big5_to_utf8("plain.txt"), "plain.txt");
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
