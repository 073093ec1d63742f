#pragma once
// Asks the user a question in a modal message box over the scan window.
// style takes the MB_ button and icon bits; returns IDOK 1, IDCANCEL 2,
// IDYES 6 or IDNO 7.
int ShowMessageDialog(const char* text, const char* caption, unsigned int style);
