#pragma once
// The exception dialog's report pages: child dialogs of its tab control, one at a
// time, made from the QL_TAB_* templates (resources/exclog/QuelbaLog.rc). Three
// show parts of the report as rich text, three list the call stack, modules and
// processes in the tree list; a call-stack row activated tells the development
// environment that started the program where its source is.
#include <windows.h>

#include <cstdint>
#include <string>

#include "exclog/dialogs/EDialogPages.h"
#include "exclog/dialogs/ETreeList_win.h"

namespace exclog {

// The settings file and section of the list pages' column widths.
constexpr const char* PagesSettingsFile = "QuelbaLog.ini";
constexpr const char* PagesSettingsSection = "Coordinates";

// Registers the tab and list-view classes before a template that uses them opens.
void LoadDialogClasses();

// Destroys the current page and creates the one the tab at `tabIndex` shows (the
// options' LogFlags decide), placed in `tabControl`; a rich-text page loads
// RichEdit 2.0 first (once, for the rest of the process). Null when the tab shows no
// page or the template cannot be made.
HWND SelectDialogPage(HWND tabControl, int tabIndex);
// Moves the current page onto the tab control's display area and its content
// control (103) over the page.
void PlaceDialogPage(HWND tabControl);
// Destroys the current page (the dialog's end).
void DestroyDialogPage();
HWND CurrentDialogPage();
// The current list page's tree list; null on the rich-text pages.
TListViewItems* CurrentPageItems();

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CallStackPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ModulesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProcessesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AssemblerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CPUPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Sends one source-location record to the mailslot "\\.\mailslot\QuelbaLog<parent
// id>" (id 0 when the parent is not running); false when the mailslot cannot be
// opened or the write fails.
bool NotifySourceLocation(const std::string& unit, const std::string& className, const std::string& routine,
                          int32_t line, int32_t offset, uint32_t headerLow, uint32_t headerHigh);

}  // namespace exclog
