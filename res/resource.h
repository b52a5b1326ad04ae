// Resource ids of LaserDiagnosticTool.exe.
#pragma once

#define IDD_DIAGNOSTIC 102
#define IDI_APP 128
#define IDB_SKIN 131
