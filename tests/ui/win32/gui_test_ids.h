#pragma once

#define IDD_PROBE 200
#define IDI_PROBE 201
#define IDB_PROBE_SKIN 202
#define IDR_PROBE_SKIN_2X 203
