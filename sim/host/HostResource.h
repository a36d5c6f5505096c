#pragma once
// Resource ids of TokenUtility.exe.
#define IDI_TOKEN 1

#define IDD_PASSWORD 100
#define IDD_CHANGE 101

#define IDC_PROMPT 1000
#define IDC_EDIT1 1001
#define IDC_EDIT2 1002
#define IDC_EDIT3 1003
#define IDC_LABEL1 1011
#define IDC_LABEL2 1012
#define IDC_LABEL3 1013
#define IDC_HINT 1020
