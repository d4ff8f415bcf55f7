// Dialog templates of the hex edit tests.
#pragma once

#define IDD_TEST_AUTO 200  // a "CHexEditBase_SC" item, OK, Cancel
#define IDD_TEST_BIND 201  // an edit placeholder 1006 to bind, a plain edit, OK, Cancel
#define IDC_TEST_HEX 1100
#define IDC_TEST_PLACEHOLDER 1006
#define IDC_TEST_PLAIN_EDIT 1101
