#pragma once
// Resource, control and command ids of TQ8Flash.exe (resources/*.rc use the same numbers).

#include <windows.h>

// Commands of the menu and the toolbar.
inline constexpr int kCmdQuit = 110;
inline constexpr int kCmdUpdate = 120;
inline constexpr int kCmdSelectInterface = 121;
inline constexpr int kCmdEnglish = 140;
inline constexpr int kCmdGerman = 141;
inline constexpr int kCmdAbout = 150;
inline constexpr int kCmdHelp = 151;
inline constexpr int kCmdSystemInformation = 152;

// Dialog templates.
inline constexpr int kDlgAbout = 100;
inline constexpr int kDlgInterface = 101;
inline constexpr int kDlgProgress = 102;

// Menus (German under + 1000), bitmaps and icons.
inline constexpr int kMenuMain = 100;
inline constexpr int kBmpToolbar = 30;
inline constexpr int kBmpLogo = 31;
inline constexpr int kToolbarImages = 31;
inline constexpr int kIconApp = 20;
inline constexpr int kIconAbout = 21;
inline constexpr int kIconInterface = 22;

// Controls.
inline constexpr int kIdStatusBar = 101;
inline constexpr int kIdToolBar = 102;
inline constexpr int kIdPortList = 200;
inline constexpr int kIdSearch = 201;
inline constexpr int kIdProgressText = 220;
inline constexpr int kIdProgressBar = 221;
inline constexpr int kIdMachineInfo = 2402;

// The module that carries the resources: the program itself.
HINSTANCE AppInstance();
void SetAppInstance(HINSTANCE instance);
