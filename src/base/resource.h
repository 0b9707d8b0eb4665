// Resource ids shared by launcher.rc and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_MAIN_DIALOG 129
#define IDD_LAYER_DIALOG 220
#define IDB_BACKGROUND 253

#define IDS_CAPTION 130
