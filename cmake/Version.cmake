# The one place that names the product's version and publisher. Every binary's version
# resource (cmake/VersionInfo.rc.in), the installer package and the tests read it from here.
set(ZELT_VERSION_MAJOR 1)
set(ZELT_VERSION_MINOR 1)
set(ZELT_VERSION_PATCH 0)
set(ZELT_VERSION_BUILD 0)
# A package is built for another version with -DZELT_PACKAGE_VERSION (the upgrade test's older one).
set(ZELT_COMPANY "Quillon Works")
set(ZELT_PRODUCT "Zelt Token Utility")
set(ZELT_COPYRIGHT "Copyright (C) 2025 Quillon Works")

set(ZELT_VERSION "${ZELT_VERSION_MAJOR}.${ZELT_VERSION_MINOR}.${ZELT_VERSION_PATCH}")
set(ZELT_FILE_VERSION "${ZELT_VERSION}.${ZELT_VERSION_BUILD}")
set(ZELT_VERSION_COMMAS "${ZELT_VERSION_MAJOR},${ZELT_VERSION_MINOR},${ZELT_VERSION_PATCH},${ZELT_VERSION_BUILD}")
