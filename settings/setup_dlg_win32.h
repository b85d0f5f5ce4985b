// The Setup dialog's Win32 procedure and helpers (dialog 101), for the main window's "Terminal" command.
#pragma once
#include <windows.h>

#include <cstdint>

INT_PTR CALLBACK SettingsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
void SettingsDlgInit(HWND dlg);
void SettingsDlgTerm(HWND dlg);
// Fills list from count consecutive string resources starting at firstString,
// each entry carrying table[i], and selects the entry whose value is current.
void FillComboBox(HINSTANCE instance, HWND list, int firstString, const int32_t* table, int count, int32_t current);
// The "&Font" button: the font chooser on the display font; always TRUE.
BOOL SelectDISPLAYFont(HWND dlg);
