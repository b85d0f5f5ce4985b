// The Win32 frame of ZELTO.EXE: the main window procedure, the about box and the modal-dialog runner.
#pragma once
#include <windows.h>

extern HACCEL ghAccel;   // the accelerator table "ZELTO", loaded once the window shows

// The view's mouse messages (app/mouse_win32.cpp): TRUE when msg was one.
BOOL DISPLAYMouseMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK DISPLAYWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HelpDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Runs dialog template id modally over owner (DialogBoxParam) and returns its result.
INT_PTR GoModalDialogBoxParam(HINSTANCE instance, int id, HWND owner, DLGPROC proc, LPARAM param);

// The commands' dialogs: the about box (100), the Setup dialog (101) and the
// Options dialog (102), with the program instance taken from the owner window.
int RunZeltoDialog(int id, HWND owner);
// The Options dialog, built from the options table (it has no template).
int RunOptionsDialog(HWND owner);
// The find dialog (103, app/find_win32.cpp): shown non-modal, its text
// selected; and its keys, taken from the message loop before the main
// window's accelerators (TRUE when m was the dialog's).
int ShowFindDialog(HWND owner);
BOOL FindDialogMessage(MSG* m);
