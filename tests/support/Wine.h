// Telling Wine apart from Windows, for the tests that meet one of Wine's known limits.
#pragma once

// True inside Wine (its ntdll exports wine_get_version); always false on Linux.
bool RunningUnderWine();
