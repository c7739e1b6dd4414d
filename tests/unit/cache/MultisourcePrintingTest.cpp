#include "ConsoleBytes.h"
#include "StdoutCapture.h"
#include "cache/MultisourcePrinting.h"
#include "service/ComError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quillet {
namespace {

using testing::ConsoleBytes;

VARIANT Value(VARTYPE type) {
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    return value;
}
VARIANT Text(const wchar_t* text) {
    VARIANT value = Value(VT_BSTR);
    value.bstrVal = text != nullptr ? SysAllocString(text) : nullptr;
    return value;
}
VARIANT Long(LONG number) {
    VARIANT value = Value(VT_I4);
    value.lVal = number;
    return value;
}
VARIANT LongLong(LONGLONG number) {
    VARIANT value = Value(VT_I8);
    value.llVal = number;
    return value;
}
VARIANT Date(DATE date) {
    VARIANT value = Value(VT_DATE);
    value.date = date;
    return value;
}

// Puts the elements, which it then clears, into a one-dimensional VARIANT array from lowerBound, as a
// reply of the service would hold them.
void Fill(CVariantSafeArray& reply, std::vector<VARIANT> elements, LONG lowerBound = 0) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, lowerBound, static_cast<ULONG>(elements.size()));
    ASSERT_NE(array, nullptr);
    reply.vt = VT_ARRAY | VT_VARIANT;
    reply.parray = array;
    for (size_t index = 0; index < elements.size(); ++index) {
        LONG position = lowerBound + static_cast<LONG>(index);
        EXPECT_EQ(SafeArrayPutElement(array, &position, &elements[index]), S_OK);
        VariantClear(&elements[index]);
    }
}

struct Printed {
    std::string output;
    HRESULT raised = S_OK;
};

Printed Print(const std::function<void()>& print) {
    Printed printed;
    testing::StdoutCapture console;
    try {
        print();
    } catch (const _com_error& error) {
        printed.raised = error.Error();
    }
    printed.output = console.Bytes();
    return printed;
}

// 5 January 2024, 09:03:07.
constexpr DATE kJanuaryFifth = 45296.0 + (9 * 3600 + 3 * 60 + 7) / 86400.0;

TEST(PrintMultiSourceFileInfo, PrintsSevenLinesWithStringsOfAnotherTypeAsEmptyThenRaises) {
    CVariantSafeArray info;
    Fill(info, {Text(L"{G}"), Long(7), Text(nullptr), LongLong(5000000000LL), LongLong(-1), Date(0.0),
                Date(kJanuaryFifth)});
    const Printed printed = Print([&] { PrintMultiSourceFileInfo(info); });
    EXPECT_EQ(printed.raised, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(printed.output, ConsoleBytes("\nMultiSourceFileInfo: \nApplication GUID - {G}\nSource Path - \n"
                                           "Local Path - \nSize - 5000000000\nMax Size - -1\n"
                                           "Start Time - 12/30/1899 00:00:00 \n"
                                           "Finish Time - 01/05/2024 09:03:07 \n"));
}

TEST(PrintMultiSourceFileInfo, ShortRecordRaisesAfterTheLinesItCouldPrint) {
    CVariantSafeArray info;
    Fill(info, {Text(L"{G}"), Text(L"s"), Text(L"l"), LongLong(1)});
    const Printed printed = Print([&] { PrintMultiSourceFileInfo(info); });
    EXPECT_EQ(printed.raised, DISP_E_BADINDEX);
    EXPECT_EQ(printed.output,
              ConsoleBytes("\nMultiSourceFileInfo: \nApplication GUID - {G}\nSource Path - s\n"
                           "Local Path - l\nSize - 1\n"));
}

TEST(PrintTimestamp, DateOutsideTheCalendarPrintsMinusOneInEveryField) {
    for (const DATE date : {1e9, -1e9}) {
        EXPECT_EQ(Print([&] { PrintTimestamp(L"Finish Time", date); }).output,
                  ConsoleBytes("Finish Time - -1/-1/-1 -1:-1:-1 \n"))
            << date;
    }
}

struct IdListCase {
    const char* name;
    std::function<void(CVariantSafeArray&)> reply;
    std::string listed;
    HRESULT raised = S_OK;
};

class PrintMultiSourceFileIdListTest : public ::testing::TestWithParam<IdListCase> {};

TEST_P(PrintMultiSourceFileIdListTest, Prints) {
    CVariantSafeArray ids;
    GetParam().reply(ids);
    const Printed printed = Print([&] { PrintMultiSourceFileIdList(ids); });
    EXPECT_EQ(printed.raised, GetParam().raised);
    EXPECT_EQ(printed.output, ConsoleBytes("\nMultiSourceFileIdList: \n" + GetParam().listed));
}

std::string CaseName(const ::testing::TestParamInfo<IdListCase>& row) {
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PrintMultiSourceFileIdListTest,
    ::testing::Values(IdListCase{"FromLowerBoundZero",
                                 [](CVariantSafeArray& ids) {
                                     Fill(ids, {Text(L"{A}"), Text(L"{B}")});
                                 },
                                 "1 - {A}\n2 - {B}\n"},
                      IdListCase{"FromLowerBoundOne",
                                 [](CVariantSafeArray& ids) {
                                     Fill(ids, {Text(L"{A}"), Text(L"{B}")}, 1);
                                 },
                                 "1 - {A}\n2 - {B}\n"},
                      IdListCase{"EntryOfAnotherType",
                                 [](CVariantSafeArray& ids) {
                                     Fill(ids, {Long(7), Text(L"{B}")});
                                 },
                                 "1 - \n2 - {B}\n", DISP_E_TYPEMISMATCH},
                      IdListCase{"NoElements", [](CVariantSafeArray& ids) { Fill(ids, {}); }, ""},
                      IdListCase{"WithoutDimensions",
                                 [](CVariantSafeArray& ids) {
                                     ids.vt = VT_ARRAY | VT_VARIANT;
                                     ids.parray = nullptr;
                                 },
                                 "Emtpy\n"},
                      IdListCase{"NoArrayAtAll", [](CVariantSafeArray&) {}, "", DISP_E_TYPEMISMATCH}),
    CaseName);

} // namespace
} // namespace quillet
