// Resource ids of LaserDiagnosticTool.exe.
#pragma once

#define IDD_DIAGNOSTIC 102
#define IDI_APP 128
#define IDB_SKIN 131
#define IDR_SKIN_2X 132
