#include "MultisourcePrinting.h"

#include "output/Console.h"
#include "service/ComError.h"
#include "service/ReplyText.h"
#include "service/ServiceContract.h"

namespace quillet {

namespace {

constexpr wchar_t kInfoHeading[] = L"\nMultiSourceFileInfo: \n";
constexpr wchar_t kApplicationGuidFormat[] = L"Application GUID - %s\n";
constexpr wchar_t kSourcePathFormat[] = L"Source Path - %s\n";
constexpr wchar_t kLocalPathFormat[] = L"Local Path - %s\n";
constexpr wchar_t kSizeFormat[] = L"Size - %lld\n";
constexpr wchar_t kMaxSizeFormat[] = L"Max Size - %lld\n";
constexpr wchar_t kStartTimeLabel[] = L"Start Time";
constexpr wchar_t kFinishTimeLabel[] = L"Finish Time";
constexpr wchar_t kTimestampFormat[] = L"%s - %02d/%02d/%d %02d:%02d:%02d \n";
constexpr wchar_t kIdListHeading[] = L"\nMultiSourceFileIdList: \n";
// The word is spelt so in the output that scripts read.
constexpr wchar_t kEmptyIdList[] = L"Emtpy\n";
constexpr wchar_t kIdListEntryFormat[] = L"%d - %s\n";

VARIANT Element(const CVariantSafeArray& reply, LONG index) {
    VARIANT element;
    reply.GetElement(index, element);
    return element;
}

} // namespace

void PrintMultiSourceFileInfo(const CVariantSafeArray& info) {
    ConsolePrint(kInfoHeading);
    info.RequireArray();
    CReplyText text(info);
    ConsolePrint(kApplicationGuidFormat, text.At(kInfoApplicationGuid).c_str());
    ConsolePrint(kSourcePathFormat, text.At(kInfoSourcePath).c_str());
    ConsolePrint(kLocalPathFormat, text.At(kInfoLocalPath).c_str());
    ConsolePrint(kSizeFormat, Element(info, kInfoSize).llVal);
    ConsolePrint(kMaxSizeFormat, Element(info, kInfoMaxSize).llVal);
    PrintTimestamp(kStartTimeLabel, Element(info, kInfoStartTime).date);
    PrintTimestamp(kFinishTimeLabel, Element(info, kInfoFinishTime).date);
    text.RequireAllRead();
}

void PrintTimestamp(const wchar_t* label, DATE date) {
    SYSTEMTIME time;
    int fields[6] = {-1, -1, -1, -1, -1, -1};
    if (VariantTimeToSystemTime(date, &time)) {
        fields[0] = time.wMonth;
        fields[1] = time.wDay;
        fields[2] = time.wYear;
        fields[3] = time.wHour;
        fields[4] = time.wMinute;
        fields[5] = time.wSecond;
    }
    ConsolePrint(kTimestampFormat, label, fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

void PrintMultiSourceFileIdList(const CVariantSafeArray& ids) {
    ConsolePrint(kIdListHeading);
    // VT_ARRAY without a descriptor is an array without dimensions; any other type is no list at all.
    if ((ids.vt & VT_ARRAY) == 0) {
        ThrowComError(DISP_E_TYPEMISMATCH);
    }
    const UINT dimensions = ids.Dimensions();
    if (dimensions == 0) {
        ConsolePrint(kEmptyIdList);
        return;
    }
    // Read from the lower bound, whatever it is, so that every element is printed exactly once.
    const LONG lower = ids.LowerBound(dimensions);
    const LONG upper = ids.UpperBound(dimensions);
    CReplyText text(ids);
    for (long long index = lower; index <= upper; ++index) {
        const int position = static_cast<int>(index - lower + 1);
        ConsolePrint(kIdListEntryFormat, position, text.At(static_cast<LONG>(index)).c_str());
    }
    text.RequireAllRead();
}

} // namespace quillet
