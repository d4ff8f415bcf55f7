// Dialog templates of the framework tests.
#pragma once

#define IDD_FW_TEST 300
#define IDC_FW_FIRST 1000
#define IDC_FW_SECOND 1001
#define IDC_FW_MISSING 1999
