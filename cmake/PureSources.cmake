# Sources that include no platform headers, relative to src/: built natively
# for their tests and the fuzz targets, and into the product like any other.
set(ZELT_PURE_SOURCES
  model/TextBuffer.cpp
  model/ByteBuffer.cpp
  model/ContainerCatalog.cpp
  model/ContainerRecord.cpp
  model/NameFormat.cpp
  dialogs/FieldFormat.cpp
)
