#include "output/WideFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace quillet {
namespace {

struct FormatCase {
    const char* what;
    std::wstring actual;
    std::wstring expected;
};

// Each row formats at construction; the table reads as format, result and expectation side by side.
TEST(WideFormat, ConversionsAsThePrintfFamilyHasThem) {
    const FormatCase cases[] = {
        {"wide %s keeps every character", FormatWideString(L"[%s]", L"multi-character"),
         L"[multi-character]"},
        {"%s of an empty string", FormatWideString(L"<%s>", L""), L"<>"},
        {"%s of null", FormatWideString(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)"},
        {"%ls is wide too", FormatWideString(L"%ls", L"wide"), L"wide"},
        {"%hs is narrow", FormatWideString(L"%hs", "narrow"), L"narrow"},
        {"%S is narrow", FormatWideString(L"%S", "narrow"), L"narrow"},
        {"width pads left", FormatWideString(L"%5s|", L"ab"), L"   ab|"},
        {"minus pads right", FormatWideString(L"%-5s|", L"ab"), L"ab   |"},
        {"precision cuts a string", FormatWideString(L"%.3s", L"abcdef"), L"abc"},
        {"star width", FormatWideString(L"%*d", 4, 7), L"   7"},
        {"negative star width pads right", FormatWideString(L"%*d|", -3, 7), L"7  |"},
        {"%c wide", FormatWideString(L"%c%c", L'\x4E2D', L'x'), L"\x4E2Dx"},
        {"%d negative", FormatWideString(L"%d", -42), L"-42"},
        {"%d INT_MIN", FormatWideString(L"%d", INT_MIN), L"-2147483648"},
        {"%u of a negative int", FormatWideString(L"%u", static_cast<unsigned>(-1)), L"4294967295"},
        {"%ld is 32-bit", FormatWideString(L"%ld", 2147483647L), L"2147483647"},
        {"%lld is 64-bit", FormatWideString(L"%lld", -9223372036854775807LL - 1), L"-9223372036854775808"},
        {"%I64d", FormatWideString(L"%I64d", 1234567890123LL), L"1234567890123"},
        {"%08X", FormatWideString(L"%08X", 0x80070057u), L"80070057"},
        {"%08X pads", FormatWideString(L"%08X", 0x57u), L"00000057"},
        {"%x", FormatWideString(L"%x", 0xBEEFu), L"beef"},
        {"%#x", FormatWideString(L"%#x", 255u), L"0xff"},
        {"%#o", FormatWideString(L"%#o", 8u), L"010"},
        {"%.4u pads with zeros", FormatWideString(L"%.4u", 7u), L"0007"},
        {"%.2u keeps longer values", FormatWideString(L"%.2u", 123u), L"123"},
        {"%02d", FormatWideString(L"%02d/%02d/%d", 12, 30, 1899), L"12/30/1899"},
        {"%02d of -1", FormatWideString(L"%02d", -1), L"-1"},
        {"%+d", FormatWideString(L"%+d", 5), L"+5"},
        {"% d", FormatWideString(L"% d", 5), L" 5"},
        {"zero flag with sign", FormatWideString(L"%05d", -42), L"-0042"},
        {"precision 0 of 0 prints nothing", FormatWideString(L"[%.0d]", 0), L"[]"},
        {"%hd wraps", FormatWideString(L"%hd", 65535), L"-1"},
        {"%hhu wraps", FormatWideString(L"%hhu", 257), L"1"},
        {"%%", FormatWideString(L"100%%"), L"100%"},
        {"%f", FormatWideString(L"%.2f", 3.14159), L"3.14"},
        {"%8.3f", FormatWideString(L"%8.3f|", -1.5), L"  -1.500|"},
        {"%p is 16 hex digits", FormatWideString(L"%p", reinterpret_cast<void*>(std::uintptr_t{0xABCD})),
         L"000000000000ABCD"},
        {"unknown conversion stays as written", FormatWideString(L"a%yb"), L"a%yb"},
        {"lone percent at the end", FormatWideString(L"50%"), L"50%"},
        {"line feeds pass through", FormatWideString(L"a\nb\n"), L"a\nb\n"},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(row.actual, row.expected) << row.what;
    }
}

TEST(WideFormat, PercentNWritesNothingAndConsumesItsArgument) {
    int target = 12345;
    EXPECT_EQ(FormatWideString(L"ab%ncd%d", &target, 7), L"abcd7");
    EXPECT_EQ(target, 12345);
}

TEST(WideFormat, TextWithConversionsIsDataWhenPassedAsAnArgument) {
    EXPECT_EQ(FormatWideString(L"<%s>", L"%s%n%x%d"), L"<%s%n%x%d>");
}

TEST(FixedWideBuffer, CutsAtCapacityAndStaysTerminated) {
    struct Case {
        size_t capacity;
        const wchar_t* text;
        const wchar_t* expected;
        bool truncated;
    };
    const Case cases[] = {
        {1, L"abc", L"", true},
        {3, L"abc", L"ab", true},
        {4, L"abc", L"abc", false},
        {10, L"", L"", false},
    };
    for (const auto& row : cases) {
        wchar_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        FixedWideBuffer sink(buffer, row.capacity);
        FormatWide(sink, L"%s", row.text);
        EXPECT_STREQ(buffer, row.expected) << row.capacity;
        EXPECT_EQ(sink.Truncated(), row.truncated) << row.capacity;
        EXPECT_EQ(buffer[row.capacity], L'#') << "wrote past the buffer, capacity " << row.capacity;
    }
}

TEST(FixedWideBuffer, PaddingBeyondTheBufferIsCutToo) {
    wchar_t buffer[8];
    FixedWideBuffer sink(buffer, 6);
    FormatWide(sink, L"%100d", 1);
    EXPECT_STREQ(buffer, L"     ");
    EXPECT_TRUE(sink.Truncated());
}

} // namespace
} // namespace quillet
