#pragma once

// Resource identifiers shared by Quillet.rc and the code that loads them.
#define IDR_HELP_TEXT 102
#define IDR_NOTIFICATION_TYPELIB 1
