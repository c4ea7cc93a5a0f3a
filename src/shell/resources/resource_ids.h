// Resource identifiers of Q9_Exchange.exe.
#pragma once

#define IDS_APP_TITLE 103
#define IDI_Q9_EXCHANGE 107
#define IDI_SMALL 108
#define IDC_Q9_EXCHANGE 109
