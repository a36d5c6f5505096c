// Resource ids of ZeltUtilUserPage.dll, shared by the resource script and the C++ code.
// Only #defines: windres reads this file too.
//
// Control ids are unique within one dialog only; where two dialogs use the same number for
// different controls, each meaning has its own name (IDC_IMPORT and IDC_CONVERT are both 204).
#ifndef ZELT_RES_RESOURCE_H
#define ZELT_RES_RESOURCE_H

#ifndef IDC_STATIC
#define IDC_STATIC                          (-1)
#endif

// Type library and registry script
#define IDR_TYPELIB                         1
#define IDR_USERPAGE                        104

// Dialog templates
#define IDD_USERPAGE                        105
#define IDD_ADVANCED_SETTINGS               106
#define IDD_AUTO_REGISTRATION               107
#define IDD_CERTIFICATE_DETAILS             112
#define IDD_IMPORT_CERTIFICATE              114
#define IDD_MANAGE_CERTIFICATES             201

// Bitmap: the certificate list's two 16x16 images (with and without key container)
#define IDB_CERTIFICATES                    201

// Icons of the page's three groups
#define IDI_TOKEN                           210
#define IDI_PASSWORD                        211
#define IDI_PIN                             212

// User page (IDD_USERPAGE)
#define IDC_MANAGE                          201
#define IDC_CERTIFICATE_GROUP               202
#define IDC_PKI_STORAGE_GROUP               203
#define IDC_IMPORT                          204
#define IDC_CHANGE_USER_PIN                 205
#define IDC_CHANGE_PASSWORD                 206
#define IDC_PIN_BLOCKED                     207
#define IDC_AUTO_REGISTRATION               208
#define IDC_PASSWORD_BLOCKED                209

// Manage certificates (IDD_MANAGE_CERTIFICATES)
#define IDC_MANAGE_CLOSE                    8
#define IDC_CONVERT                         204
#define IDC_CERTIFICATE_LIST                218
#define IDC_SET_AS_DEFAULT                  220
#define IDC_REMOVE                          221
#define IDC_REGISTER                        222
#define IDC_UNREGISTER                      224
#define IDC_VIEW_DETAILS                    225
#define IDC_CONVERT_NOTICE                  228
#define IDC_INTENDED_PURPOSES               245

// Certificate details (IDD_CERTIFICATE_DETAILS); Close is IDOK
#define IDC_VALUE_PANE                      217
#define IDC_FIELD_LIST                      232

// Import certificate (IDD_IMPORT_CERTIFICATE); Cancel is IDCANCEL
#define IDC_BROWSE                          3
#define IDC_ADVANCED                        216
#define IDC_FILE_PATH                       239
#define IDC_FILE_PASSWORD                   240
#define IDC_IMPORT_OK                       243

// Advanced settings (IDD_ADVANCED_SETTINGS); OK and Cancel are IDOK and IDCANCEL
#define IDC_USE_FILE_NAME                   211
#define IDC_USE_GUID                        212
#define IDC_CONTAINER_NAME_GROUP            215

// Auto certificate registration settings (IDD_AUTO_REGISTRATION); OK and Cancel are IDOK and IDCANCEL
#define IDC_ENABLE_AUTO_REGISTRATION        218
#define IDC_ENABLE_EXPIRATION_WARNING       223
#define IDC_WARNING_DAYS                    226

// Property page title, help file and doc string
#define IDS_PAGE_TITLE                      101
#define IDS_HELP_FILE                       102
#define IDS_DOC_STRING                      103

// Certificate details: field names
#define IDS_FIELD_VERSION                   2000
#define IDS_FIELD_SERIAL_NUMBER             2001
#define IDS_FIELD_SIGNATURE_ALGORITHM       2002
#define IDS_FIELD_ISSUER                    2003
#define IDS_FIELD_VALID_FROM                2004
#define IDS_FIELD_VALID_TO                  2005
#define IDS_FIELD_SUBJECT                   2006
#define IDS_FIELD_PUBLIC_KEY                2007
#define IDS_FIELD_THUMBPRINT_ALGORITHM      2013
#define IDS_FIELD_THUMBPRINT                2014
#define IDS_THUMBPRINT_ALGORITHM_SHA1       2015

// Certificate details: key usage names
#define IDS_KEY_USAGE_DATA_ENCIPHERMENT     2100
#define IDS_KEY_USAGE_DIGITAL_SIGNATURE     2101
#define IDS_KEY_USAGE_KEY_AGREEMENT         2102
#define IDS_KEY_USAGE_CERT_SIGNING          2103
#define IDS_KEY_USAGE_KEY_ENCIPHERMENT      2104
#define IDS_KEY_USAGE_NON_REPUDIATION       2105
#define IDS_KEY_USAGE_OFFLINE_CRL_SIGNING   2106

// User page: control texts and the PIN and password messages
#define IDS_CHANGE_USER_PIN                 2200
#define IDS_CERTIFICATES                    2201
#define IDS_MANAGE                          2202
#define IDS_PKI_STORAGE                     2203
#define IDS_CHANGE_PASSWORD                 2204
#define IDS_USER_PIN_CHANGED                2205
#define IDS_PASSWORD_CHANGED                2206
#define IDS_CRYPTOKI_NOT_LOADED             2207
#define IDS_ERROR_CODE_LABEL                2208
#define IDS_PASSWORD_CHANGE_FAILED          2209
#define IDS_INCORRECT_PASSWORD              2210
#define IDS_IMPORT                          2211

// Certificate list: column headings and cell texts
#define IDS_COLUMN_ISSUED_TO                2300
#define IDS_COLUMN_ISSUED_BY                2301
#define IDS_COLUMN_EXPIRATION_DATE          2302
#define IDS_COLUMN_REGISTERED               2303
#define IDS_COLUMN_LOGON                    2304
#define IDS_COLUMN_SERIAL_NUMBER            2305
#define IDS_COLUMN_CONTAINER_LABEL          2306
#define IDS_REGISTERED_YES                  2308
#define IDS_REGISTERED_NO                   2309
#define IDS_LOGON_NOT_APPLICABLE            2310
#define IDS_LOGON_YES                       2311
#define IDS_LOGON_NO                        2312

// Manage certificates, import, details and settings messages
#define IDS_SET_DEFAULT_FAILED              2313
#define IDS_UPDATE_LIST_FAILED              2314
#define IDS_REGISTER_FAILED                 2316
#define IDS_UNREGISTER_FAILED               2317
#define IDS_CONFIRM_REMOVE                  2318
#define IDS_REMOVE_FAILED                   2319
#define IDS_ASK_UNREGISTER_REMOVED          2320
#define IDS_CONVERT_FAILED                  2321
#define IDS_PIN_BLOCKED                     2322
#define IDS_PASSWORD_BLOCKED                2323
#define IDS_IMPORT_FAILED                   2324
#define IDS_IMPORT_SUCCEEDED                2325
#define IDS_SELECT_FILE                     2326
#define IDS_FILE_NOT_FOUND                  2328
#define IDS_READ_CERTIFICATES_FAILED        2329
#define IDS_COLUMN_FIELD                    2330
#define IDS_COLUMN_VALUE                    2331
#define IDS_READING_CERTIFICATES            2332
#define IDS_CONVERT_WARNING                 2333
#define IDS_CONVERTING                      2334
#define IDS_DELETING                        2335
#define IDS_SETTING_DEFAULT                 2336
#define IDS_IMPORTING                       2337
#define IDS_CERTIFICATE_EXISTS              2338
#define IDS_DAYS_OUT_OF_RANGE               2339
#define IDS_AUTO_REGISTRATION               2340
#define IDS_CHANGING_PASSWORD               2341
#define IDS_PASSWORD_NOT_REPRESENTABLE      2342
#define IDS_PASSWORD_TOO_LONG               2343
#define IDS_PATH_NOT_REPRESENTABLE          2344

#endif // ZELT_RES_RESOURCE_H
