#include "StdoutCapture.h"
#include "output/Console.h"
#include "output/ServiceText.h"
#include "output/Trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quillet {
namespace {

using testing::StdoutCapture;

// A line of the id list as a redirected output receives it.
std::string ListLine(int number) {
    char line[64];
    std::snprintf(line, sizeof line, "%d - {B0000000-0000-4000-8000-%012X}\r\n", number,
                  static_cast<unsigned>(number));
    return line;
}

TEST(ConsoleEncoding, LineFeedsBecomeCrLfAndMissingCharactersNeverCutTheRest) {
    struct Case {
        const char* what;
        std::wstring text;
        UINT codePage;
        std::string expected;
    };
    const Case cases[] = {
        {"line feed", L"a\nb\n", 1252, "a\r\nb\r\n"},
        {"CR LF gains a second CR, as text mode has it", L"a\r\n", 1252, "a\r\r\n"},
        {"Latin-1 in 1252", L"caf\x00E9", 1252, "caf\xE9"},
        {"missing character keeps the rest",
         L"ab\x4E2D"
         L"cd\n",
         1252, "ab?cd\r\n"},
        {"surrogate pair in 1252", L"x\xD83D\xDE00y", 1252, "x??y"},
        {"no look-alike for a missing character", L"{\xFF21}", 1252, "{?}"},
        {"UTF-8 keeps everything", L"\x4E2D\xD83D\xDE00\n", CP_UTF8, "\xE4\xB8\xAD\xF0\x9F\x98\x80\r\n"},
        {"empty", L"", 1252, ""},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(EncodeConsoleText(row.text, row.codePage), row.expected) << row.what;
    }
}

// C0 but the tab, DEL and C1 become U+FFFD; the length, not a NUL, ends the text.
TEST(ServiceText, ReplacesControlCharactersOnly) {
    const std::wstring text{L'a', L'\0', L'\t', 0x1F, L' ', L'~', 0x7F, 0x80, 0x9F, 0xA0, L'z'};
    const std::wstring shown{L'a', 0xFFFD, L'\t', 0xFFFD, L' ', L'~', 0xFFFD, 0xFFFD, 0xFFFD, 0xA0, L'z'};
    EXPECT_EQ(ServiceText(text), shown);
}

// Every conversion that the messages use: %s takes a wide string, as it does with MSVC.
TEST(ConsolePrint, WritesTheFormattedTextToStandardOutput) {
    StdoutCapture capture;
    ConsolePrint(L"AppName: [%s]\nAppGuid: [%s]\n", L"Sample Editor", L"{0E5C-11}");
    ConsolePrint(L"%d - %s\n", 2, L"%s%n");
    ConsolePrint(L"%ld|%u|Size - %lld\n", -5L, 4294967295u, -9000000000LL);
    ConsolePrint(L"%s - %02d/%02d/%d %02d:%02d:%02d \n", L"Start Time", 12, 30, 1899, 0, 7, -1);
    ConsolePrint(L"Error: unexpected failure 0x%08X.\n", 0x8002000Bu);
    EXPECT_EQ(capture.Bytes(), "AppName: [Sample Editor]\r\nAppGuid: [{0E5C-11}]\r\n2 - %s%n\r\n"
                               "-5|4294967295|Size - -9000000000\r\n"
                               "Start Time - 12/30/1899 00:07:-1 \r\n"
                               "Error: unexpected failure 0x8002000B.\r\n");
}

TEST(ConsoleBuffering, RedirectedTextLeavesWhenTheRunEnds) {
    StdoutCapture capture;
    {
        const ConsoleBuffering buffering;
        ConsolePrint(L"Removing application [%s]... ", L"Sketchpad");
        ConsolePrint(L"Success.\n");
        EXPECT_EQ(capture.Bytes(), "");
    }
    EXPECT_EQ(capture.Bytes(), "Removing application [Sketchpad]... Success.\r\n");
}

TEST(ConsoleBuffering, AFullBufferLeavesAtOnceAndNothingIsLostOrReordered) {
    StdoutCapture capture;
    std::string expected;
    {
        const ConsoleBuffering buffering;
        for (int number = 1; number <= 3000; ++number) {
            ConsolePrint(L"%d - {B0000000-0000-4000-8000-%012X}\n", number, static_cast<unsigned>(number));
            expected += ListLine(number);
        }
        // 3000 lines are more than one buffer: the first pieces have left, the rest waits for the end.
        const size_t written = capture.Bytes().size();
        EXPECT_GE(written, 64u * 1024u);
        EXPECT_LT(written, expected.size());
    }
    EXPECT_EQ(capture.Bytes(), expected);
}

TEST(ConsoleBuffering, TextGoesToTheOutputItWasPrintedFor) {
    StdoutCapture outer;
    const HANDLE outerHandle = GetStdHandle(STD_OUTPUT_HANDLE);
    StdoutCapture inner;
    {
        const ConsoleBuffering buffering;
        ConsolePrint(L"for inner\n");
        SetStdHandle(STD_OUTPUT_HANDLE, outerHandle);
        ConsolePrint(L"for outer\n");
        EXPECT_EQ(inner.Bytes(), "for inner\r\n");
        EXPECT_EQ(outer.Bytes(), "");
    }
    EXPECT_EQ(outer.Bytes(), "for outer\r\n");
}

TEST(TracePrefix, IsZeroPaddedUtcWithMilliseconds) {
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 1;
    time.wDay = 5;
    time.wHour = 9;
    time.wMinute = 3;
    time.wSecond = 7;
    time.wMilliseconds = 42;
    wchar_t buffer[kTraceBufferLength];
    EXPECT_EQ(FormatTracePrefix(time, buffer), 26u);
    EXPECT_STREQ(buffer, L"[2024-01-05 09:03:07.042] ");
}

} // namespace
} // namespace quillet
