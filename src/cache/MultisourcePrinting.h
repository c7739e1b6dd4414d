#pragma once

#include "service/VariantSafeArray.h"

#include <windows.h>

namespace quillet {

// Prints the seven-element record that GetMultiSourceFileInfo returns, opening with a line end so that
// it closes the line of the progress text. Raises _com_error when the answer holds no array or too few
// elements, and after the last line when a text element held no text; the lines printed up to then stay.
void PrintMultiSourceFileInfo(const CVariantSafeArray& info);

// Prints "<label> - MM/DD/YYYY hh:mm:ss \n" for an OLE automation date, without time-zone conversion;
// a date that cannot be converted prints -1 in every field.
void PrintTimestamp(const wchar_t* label, DATE date);

// Prints the GUIDs of an id list answer, numbered from 1, after a heading that opens with a line end.
// An array without dimensions prints "Emtpy"; an answer that is no array at all raises _com_error, and
// so does a list with an id that is no text, after the whole list was printed.
void PrintMultiSourceFileIdList(const CVariantSafeArray& ids);

} // namespace quillet
