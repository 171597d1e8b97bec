#include "text/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/reference/collapse_by_repeated_search.h"

namespace pelicor {
namespace {

struct CollapseCase {
    const wchar_t* text;
    std::int32_t limit;
    const wchar_t* expected;
};

TEST(CollapseDoubledBackslashes, CollapsesRunsThatStartBeforeTheLimit) {
    const CollapseCase cases[] = {
        {L"C:\\\\\\\\a\\\\b", 10, L"C:\\a\\b"},  // every run, limit = length
        {L"ab\\\\c", 2, L"ab\\\\c"},             // pair starts at the limit
        {L"C:\\\\\\a.exe", 9, L"C:\\a.exe"},     // three backslashes
        {L"C:\\\\x", 0, L"C:\\\\x"},             // limit 0 changes nothing
        {L"C:\\\\x", -7, L"C:\\\\x"},            // nor does a negative one
        {L"", 5, L""},
        {L"no pairs \\ here", 100, L"no pairs \\ here"},
        // The limit moves back with each removal: a run that straddles it shrinks only so far.
        {L"a\\\\\\\\b", 2, L"a\\\\\\b"},
        // First token quoted: its runs collapse, the argument's stay.
        {L"\"C:\\\\Tools\\\\My App\\\\run.exe\" -x C:\\\\data", 30,
         L"\"C:\\Tools\\My App\\run.exe\" -x C:\\\\data"},
        {L"\\\\srv\\share\\t.exe /q", 16, L"\\srv\\share\\t.exe /q"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CollapseDoubledBackslashes(c.text, c.limit), c.expected)
            << "text: " << c.text << " limit " << c.limit;
    }
}

TEST(CollapseDoubledBackslashes, NullTextGivesEmpty) {
    EXPECT_EQ(CollapseDoubledBackslashes(nullptr, 3), L"");
}

using reference::CollapseByRepeatedSearch;

TEST(CollapseDoubledBackslashes, MatchesRepeatedSearchOnEveryShortText) {
    // Every text of up to 9 characters over {a, backslash}, with every limit that matters.
    for (int length = 0; length <= 9; ++length) {
        for (int bits = 0; bits < (1 << length); ++bits) {
            std::wstring text;
            for (int i = 0; i < length; ++i) text.push_back((bits >> i) & 1 ? L'\\' : L'a');
            for (std::int32_t limit = -1; limit <= length + 1; ++limit) {
                ASSERT_EQ(CollapseDoubledBackslashes(text.c_str(), limit),
                          CollapseByRepeatedSearch(text, limit))
                    << "bits " << bits << " length " << length << " limit " << limit;
            }
        }
    }
}

TEST(CollapseDoubledBackslashes, LongRunsCollapseInLinearTime) {
    // 200,000 backslashes: searching from the start after each removal would take minutes.
    const std::wstring run(200000, L'\\');
    EXPECT_EQ(CollapseDoubledBackslashes(run.c_str(), 200000), L"\\");
}

struct ReplaceCase {
    const wchar_t* subject;
    const wchar_t* pattern;
    const wchar_t* replacement;
    const wchar_t* expected;
};

TEST(ReplaceAll, ReplacesLeftToRightWithoutSearchingInsertedText) {
    const ReplaceCase cases[] = {
        {L"a\"b\"", L"\"", L"\\\"", L"a\\\"b\\\""},
        {L"it's", L"'", L"\\'", L"it\\'s"},
        {L"abc", L"", L"x", L"abc"},    // empty pattern
        {L"aa", L"a", L"aa", L"aaaa"},  // replacement contains the pattern
        {L"aaa", L"aa", L"b", L"ba"},   // matches do not overlap
        {L"abc", L"x", L"y", L"abc"},
        {L"", L"a", L"b", L""},
        {L"abab", L"ab", L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring subject = c.subject;
        ReplaceAll(subject, c.pattern, c.replacement);
        EXPECT_EQ(subject, c.expected) << "subject: " << c.subject << " pattern: " << c.pattern;
    }
}

struct JoinCase {
    std::vector<const wchar_t*> elements;
    const wchar_t* expected;
};

TEST(JoinArguments, EscapesQuotesAndApostrophesAndQuotesBlanks) {
    const JoinCase cases[] = {
        {{L"a b", L"it's"}, L"\"a b\" it\\'s"},
        {{L"say \"hi\""}, L"\"say \\\"hi\\\"\""},
        {{L"", L"last"}, L"last"},                     // empty element adds nothing
        {{L"C:\\dir name\\"}, L"\"C:\\dir name\\\""},  // trailing backslash not doubled
        {{L"-x", L"C:\\\\data"}, L"-x C:\\\\data"},
        {{nullptr, L"x", nullptr}, L"x"},  // null entries skipped
        {{L"a\tb"}, L"a\tb"},              // a tab does not cause quoting
        {{L"x", L"", L"y"}, L"x y"},
        {{L"", L""}, L""},
        {{L" "}, L"\" \""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JoinArguments(c.elements.data(), static_cast<std::int32_t>(c.elements.size())), c.expected);
    }
}

TEST(JoinArguments, NoElementsGiveEmpty) {
    const wchar_t* one[] = {L"x"};
    EXPECT_EQ(JoinArguments(one, 0), L"");
    EXPECT_EQ(JoinArguments(one, -1), L"");
    EXPECT_EQ(JoinArguments(nullptr, 3), L"");
}

TEST(SkipProgramName, FindsTheCommandLineAfterTheProgramsOwnName) {
    const struct {
        const wchar_t* line;
        const wchar_t* rest;
    } cases[] = {
        {L"launcher.exe a b", L"a b"},
        {L"\"C:\\Program Files\\launcher.exe\" a", L"a"},
        {L"\"C:\\a b\\x.exe\"tail \"q r\"", L"\"q r\""},  // the name goes on after its closing quote
        {L"launcher.exe", L""},
        {L"launcher.exe   \t\x01 \"a\"", L"\"a\""},  // every character at or below U+0020 goes
        {L"\"unterminated name and all", L""},       // the quote never closes
        {L"\"\" a", L"a"},                           // an empty quoted name
        {L"  leading", L"leading"},                  // no name at all: only the blanks go
        {L"", L""},
        {L"name\x00"
         L"hidden",
         L""},                  // never past the terminating null
        {L"a\u00A0b c", L"c"},  // U+00A0 is above U+0020: part of the name
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(SkipProgramName(c.line), c.rest) << "line: " << c.line;
    }
    EXPECT_EQ(SkipProgramName(nullptr), nullptr);
}

}  // namespace
}  // namespace pelicor
