#include "ConsoleBytes.h"
#include "StdoutCapture.h"
#include "cache/MultisourcePrinting.h"
#include "service/ComError.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace quillet {
namespace {

using testing::ConsoleBytes;
using testing::StdoutCapture;

// A reply as the service would hand it over: a one-dimensional VARIANT array starting at lowerBound.
// The elements are copied in; the holder owns the array.
void FillReply(CVariantSafeArray& reply, const std::vector<VARIANT>& elements, LONG lowerBound = 0) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, lowerBound, static_cast<ULONG>(elements.size()));
    ASSERT_NE(array, nullptr);
    for (size_t index = 0; index < elements.size(); ++index) {
        LONG position = lowerBound + static_cast<LONG>(index);
        ASSERT_EQ(SafeArrayPutElement(array, &position, const_cast<VARIANT*>(&elements[index])), S_OK);
    }
    reply.vt = VT_ARRAY | VT_VARIANT;
    reply.parray = array;
}

// Elements for FillReply. The BSTRs live as long as the test's string literals; SafeArrayPutElement
// copies them.
VARIANT Text(const wchar_t* text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = const_cast<BSTR>(text);
    return value;
}
VARIANT Long(LONG number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
    return value;
}
VARIANT LongLong(LONGLONG number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I8;
    value.llVal = number;
    return value;
}
VARIANT Date(DATE date) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DATE;
    value.date = date;
    return value;
}

// Names a parameterised test after its case.
template <class Case> std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

struct Printed {
    std::string output;
    HRESULT raised = S_OK;
};

Printed Print(const std::function<void()>& print) {
    Printed printed;
    StdoutCapture console;
    try {
        print();
    } catch (const _com_error& error) {
        printed.raised = error.Error();
    }
    printed.output = console.Bytes();
    return printed;
}

// BSTR texts for the fabricated replies: a real BSTR carries its length before the text.
class Bstrs {
public:
    ~Bstrs() {
        for (BSTR text : m_texts) {
            SysFreeString(text);
        }
    }
    VARIANT operator()(const wchar_t* text) {
        m_texts.push_back(SysAllocString(text));
        return Text(m_texts.back());
    }

private:
    std::vector<BSTR> m_texts;
};

// 5 January 2024, 09:03:07, as an OLE automation date.
constexpr DATE kJanuaryFifth = 45296.0 + (9 * 3600 + 3 * 60 + 7) / 86400.0;

TEST(PrintMultiSourceFileInfo, PrintsSevenLinesWithDates) {
    Bstrs bstr;
    CVariantSafeArray info;
    FillReply(info, {bstr(L"{G}"), bstr(L"\\\\server\\share\\f.stc"), bstr(L"C:\\Cache\\f.stc"),
                     LongLong(5000000000LL), LongLong(-1), Date(0.0), Date(kJanuaryFifth)});
    const Printed printed = Print([&] { PrintMultiSourceFileInfo(info); });
    EXPECT_EQ(printed.raised, S_OK);
    EXPECT_EQ(printed.output, ConsoleBytes("\nMultiSourceFileInfo: \n"
                                           "Application GUID - {G}\n"
                                           "Source Path - \\\\server\\share\\f.stc\n"
                                           "Local Path - C:\\Cache\\f.stc\n"
                                           "Size - 5000000000\n"
                                           "Max Size - -1\n"
                                           "Start Time - 12/30/1899 00:00:00 \n"
                                           "Finish Time - 01/05/2024 09:03:07 \n"));
}

TEST(PrintMultiSourceFileInfo, StringOfAnotherTypeOrNullPrintsEmpty) {
    CVariantSafeArray info;
    FillReply(info, {Long(7), Text(nullptr), Long(7), LongLong(1), LongLong(2), Date(0.0), Date(0.0)});
    const Printed printed = Print([&] { PrintMultiSourceFileInfo(info); });
    EXPECT_EQ(printed.raised, S_OK);
    EXPECT_EQ(printed.output, ConsoleBytes("\nMultiSourceFileInfo: \n"
                                           "Application GUID - \n"
                                           "Source Path - \n"
                                           "Local Path - \n"
                                           "Size - 1\n"
                                           "Max Size - 2\n"
                                           "Start Time - 12/30/1899 00:00:00 \n"
                                           "Finish Time - 12/30/1899 00:00:00 \n"));
}

TEST(PrintMultiSourceFileInfo, ShortRecordRaisesAfterTheLinesItCouldPrint) {
    Bstrs bstr;
    CVariantSafeArray info;
    FillReply(info, {bstr(L"{G}"), bstr(L"s"), bstr(L"l"), LongLong(1), LongLong(2)});
    const Printed printed = Print([&] { PrintMultiSourceFileInfo(info); });
    EXPECT_TRUE(FAILED(printed.raised));
    EXPECT_EQ(printed.output, ConsoleBytes("\nMultiSourceFileInfo: \n"
                                           "Application GUID - {G}\n"
                                           "Source Path - s\n"
                                           "Local Path - l\n"
                                           "Size - 1\n"
                                           "Max Size - 2\n"));
}

TEST(PrintMultiSourceFileInfo, ReplyWithoutArrayRaisesTypeMismatch) {
    CVariantSafeArray info;
    const Printed printed = Print([&] { PrintMultiSourceFileInfo(info); });
    EXPECT_EQ(printed.raised, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(printed.output, ConsoleBytes("\nMultiSourceFileInfo: \n"));
}

TEST(PrintTimestamp, DateOutsideTheCalendarPrintsMinusOneEverywhere) {
    for (const DATE date : {1e9, -1e9}) {
        const Printed printed = Print([&] { PrintTimestamp(L"Finish Time", date); });
        EXPECT_EQ(printed.output, ConsoleBytes("Finish Time - -1/-1/-1 -1:-1:-1 \n")) << date;
    }
}

struct IdListCase {
    const char* name;
    std::function<void(CVariantSafeArray&)> reply;
    std::string output;
    HRESULT raised = S_OK;
};

// Test lists show a case by its name rather than its bytes.
void PrintTo(const IdListCase& c, std::ostream* out) {
    *out << c.name;
}

class PrintMultiSourceFileIdListTest : public ::testing::TestWithParam<IdListCase> {};

TEST_P(PrintMultiSourceFileIdListTest, Prints) {
    const IdListCase& expected = GetParam();
    CVariantSafeArray ids;
    expected.reply(ids);
    const Printed printed = Print([&] { PrintMultiSourceFileIdList(ids); });
    EXPECT_EQ(printed.raised, expected.raised);
    EXPECT_EQ(printed.output, ConsoleBytes("\nMultiSourceFileIdList: \n" + expected.output));
}

const wchar_t kFirst[] = L"{11111111-1111-1111-1111-111111111111}";
const wchar_t kSecond[] = L"{22222222-2222-2222-2222-222222222222}";

INSTANTIATE_TEST_SUITE_P(
    Replies, PrintMultiSourceFileIdListTest,
    ::testing::Values(
        IdListCase{
            "TwoEntries",
            [](CVariantSafeArray& ids) {
                Bstrs bstr;
                FillReply(ids, {bstr(kFirst), bstr(kSecond)});
            },
            "1 - {11111111-1111-1111-1111-111111111111}\n2 - {22222222-2222-2222-2222-222222222222}\n"},
        IdListCase{
            "LowerBoundOne",
            [](CVariantSafeArray& ids) {
                Bstrs bstr;
                FillReply(ids, {bstr(kFirst), bstr(kSecond)}, 1);
            },
            "1 - {11111111-1111-1111-1111-111111111111}\n2 - {22222222-2222-2222-2222-222222222222}\n"},
        IdListCase{"NoElements", [](CVariantSafeArray& ids) { FillReply(ids, {}); }, ""},
        IdListCase{"EntryOfAnotherType", [](CVariantSafeArray& ids) { FillReply(ids, {Long(7)}); }, "1 - \n"},
        IdListCase{"ArrayWithoutDimensions",
                   [](CVariantSafeArray& ids) {
                       ids.vt = VT_ARRAY | VT_VARIANT;
                       ids.parray = nullptr;
                   },
                   "Emtpy\n"},
        IdListCase{"NoReply", [](CVariantSafeArray&) {}, "", DISP_E_TYPEMISMATCH},
        IdListCase{"Scalar",
                   [](CVariantSafeArray& ids) {
                       ids.vt = VT_I4;
                       ids.lVal = 7;
                   },
                   "", DISP_E_TYPEMISMATCH}),
    CaseName<IdListCase>);

} // namespace
} // namespace quillet
