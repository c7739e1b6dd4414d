#include "service/Bstr.h"
#include "service/ComError.h"
#include "service/VariantSafeArray.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace quillet {
namespace {

// Fills a holder as the service would: a one-dimensional array of VARIANT elements from lowerBound.
void FillWithStrings(CVariantSafeArray& holder, std::initializer_list<const wchar_t*> texts,
                     LONG lowerBound = 0) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, lowerBound, static_cast<ULONG>(texts.size()));
    ASSERT_NE(array, nullptr);
    LONG index = lowerBound;
    for (const wchar_t* text : texts) {
        VARIANT element;
        VariantInit(&element);
        element.vt = VT_BSTR;
        element.bstrVal = SysAllocString(text);
        ASSERT_HRESULT_SUCCEEDED(SafeArrayPutElement(array, &index, &element));
        VariantClear(&element);
        ++index;
    }
    holder.vt = VT_ARRAY | VT_VARIANT;
    holder.parray = array;
}

HRESULT ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const _com_error& error) {
        return error.Error();
    }
    return S_OK;
}

TEST(CVariantSafeArray, ElementCopyOwnsNothing) {
    CVariantSafeArray holder;
    FillWithStrings(holder, {L"first", L"second"});
    VARIANT copy;
    holder.GetElement(1, copy);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_STREQ(copy.bstrVal, L"second");

    // The copy points into the array: the same string, not a duplicate that someone would have to free.
    void* raw = nullptr;
    LONG index = 1;
    ASSERT_HRESULT_SUCCEEDED(SafeArrayPtrOfIndex(holder.Array(), &index, &raw));
    EXPECT_EQ(copy.bstrVal, static_cast<VARIANT*>(raw)->bstrVal);
}

TEST(CVariantSafeArray, ReadFailuresRaiseComErrorsWithTheirCodes) {
    struct Case {
        const char* what;
        std::function<void(CVariantSafeArray&)> prepare;
        LONG index;
        HRESULT expected;
    };
    const Case cases[] = {
        {"no array: the lock fails", [](CVariantSafeArray&) {}, 0, E_INVALIDARG},
        {"a scalar is no array",
         [](CVariantSafeArray& holder) {
             holder.vt = VT_I4;
             holder.lVal = 7;
         },
         0, E_INVALIDARG},
        {"array flag with a null array",
         [](CVariantSafeArray& holder) {
             holder.vt = VT_ARRAY | VT_VARIANT;
             holder.parray = nullptr;
         },
         0, E_INVALIDARG},
        {"index past the end", [](CVariantSafeArray& holder) { FillWithStrings(holder, {L"a"}); }, 1,
         DISP_E_BADINDEX},
        {"negative index", [](CVariantSafeArray& holder) { FillWithStrings(holder, {L"a"}); }, -1,
         DISP_E_BADINDEX},
        {"index 0 below a lower bound of 1",
         [](CVariantSafeArray& holder) { FillWithStrings(holder, {L"a"}, 1); }, 0, DISP_E_BADINDEX},
        {"elements that are no VARIANTs",
         [](CVariantSafeArray& holder) {
             holder.vt = VT_ARRAY | VT_I4;
             holder.parray = SafeArrayCreateVector(VT_I4, 0, 4);
         },
         0, DISP_E_TYPEMISMATCH},
        {"two dimensions",
         [](CVariantSafeArray& holder) {
             SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
             holder.vt = VT_ARRAY | VT_VARIANT;
             holder.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
         },
         0, DISP_E_BADINDEX},
    };
    for (const auto& row : cases) {
        CVariantSafeArray holder;
        row.prepare(holder);
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(ErrorOf([&] { holder.GetElement(row.index, out); }), row.expected) << row.what;
        // A failed read leaves the array unlocked, so that it can still be destroyed.
        EXPECT_EQ(ErrorOf([&] { holder.Destroy(); }), S_OK) << row.what;
    }
}

TEST(CVariantSafeArray, RequireArrayRefusesAnswersWithoutAnArray) {
    CVariantSafeArray empty;
    EXPECT_EQ(ErrorOf([&] { empty.RequireArray(); }), DISP_E_TYPEMISMATCH);
    CVariantSafeArray nullArray;
    nullArray.vt = VT_ARRAY | VT_VARIANT;
    EXPECT_EQ(ErrorOf([&] { nullArray.RequireArray(); }), DISP_E_TYPEMISMATCH);
    CVariantSafeArray filled;
    FillWithStrings(filled, {L"a"});
    EXPECT_EQ(ErrorOf([&] { filled.RequireArray(); }), S_OK);
    CVariantSafeArray fromOne;
    FillWithStrings(fromOne, {L"a", L"b"}, 1);
    EXPECT_EQ(ErrorOf([&] { fromOne.RequireArray(); }), DISP_E_BADINDEX);
}

// Counts its references; nothing else is asked of it.
class CountingUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

TEST(CVariantSafeArray, ReleasesWhateverItHolds) {
    // A holder handed out again releases the reply it still holds rather than let the call overwrite it.
    CountingUnknown unknown;
    CVariantSafeArray reused;
    reused.vt = VT_UNKNOWN;
    reused.punkVal = &unknown;
    EXPECT_EQ(reused.Out()->vt, VT_EMPTY);
    EXPECT_EQ(unknown.references, 0u);

    CVariantSafeArray empty;
    EXPECT_EQ(ErrorOf([&] { empty.Destroy(); }), S_OK);
    EXPECT_EQ(empty.vt, VT_EMPTY);

    CVariantSafeArray scalar;
    scalar.vt = VT_BSTR;
    scalar.bstrVal = SysAllocString(L"freed by VariantClear");
    scalar.Destroy();
    EXPECT_EQ(scalar.vt, VT_EMPTY);

    CVariantSafeArray array;
    FillWithStrings(array, {L"a", L"b"});
    array.Destroy();
    EXPECT_EQ(array.vt, VT_EMPTY);
    EXPECT_EQ(array.Array(), nullptr);
    EXPECT_EQ(array.Dimensions(), 0u);
}

TEST(CVariantSafeArray, PutElementStoresItsOwnCopy) {
    CVariantSafeArray holder;
    FillWithStrings(holder, {L"a", L"b", L"c", L"d", L"e"});
    {
        UniqueBstr path = UniqueBstr::Copy(L"D:\\Cache");
        VARIANT element;
        VariantInit(&element);
        element.vt = VT_BSTR;
        element.bstrVal = path.get();
        holder.PutElement(3, element);
    }
    VARIANT read;
    holder.GetElement(3, read);
    EXPECT_EQ(read.vt, VT_BSTR);
    EXPECT_STREQ(read.bstrVal, L"D:\\Cache");

    VARIANT byValue = holder.ByValue();
    EXPECT_EQ(byValue.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(byValue.parray, holder.Array());

    EXPECT_EQ(holder.Dimensions(), 1u);
    EXPECT_EQ(holder.LowerBound(1), 0);
    EXPECT_EQ(holder.UpperBound(1), 4);
    EXPECT_EQ(ErrorOf([&] { holder.UpperBound(2); }), DISP_E_BADINDEX);
}

TEST(UniqueBstr, EmptyTextIsAnEmptyBstrNeverANullOne) {
    const UniqueBstr empty = UniqueBstr::Copy(L"");
    ASSERT_NE(empty.get(), nullptr);
    EXPECT_EQ(SysStringLen(empty.get()), 0u);

    const UniqueBstr text = UniqueBstr::Copy(std::wstring_view(L"a\0b", 3));
    EXPECT_EQ(SysStringLen(text.get()), 3u);
    EXPECT_EQ(text.Text(), std::wstring(L"a\0b", 3));
    EXPECT_EQ(UniqueBstr().Text(), std::nullopt);
}

TEST(StringOf, TakesTextOnlyFromANonNullBstr) {
    UniqueBstr text = UniqueBstr::Copy(L"{guid}");
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(StringOf(value), std::nullopt);
    value.vt = VT_BSTR;
    value.bstrVal = nullptr;
    EXPECT_EQ(StringOf(value), std::nullopt);
    value.bstrVal = text.get();
    EXPECT_EQ(StringOf(value), std::wstring(L"{guid}"));
    value.vt = VT_I4;
    EXPECT_EQ(StringOf(value), std::nullopt);
}

} // namespace
} // namespace quillet
