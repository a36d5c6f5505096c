#pragma once
#include <objbase.h>

// Fixed identifiers of the module: any host creates the page through these.
extern const CLSID CLSID_UserPage;       // {CE757092-6AD6-4BDC-B959-883065EE2EDA}
extern const GUID LIBID_ZeltUtilUserPage;  // {2CADC1E8-9944-4188-A4B9-652734BAACB1}
