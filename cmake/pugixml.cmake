# pugixml is built from the source that scripts/setup.sh unpacks from Debian's source package.
set(PUGIXML_DIR "${PROJECT_SOURCE_DIR}/third_party/pugixml")
if(NOT EXISTS "${PUGIXML_DIR}/src/pugixml.cpp")
  message(FATAL_ERROR "pugixml source missing: run scripts/setup.sh first")
endif()
add_library(pugixml STATIC "${PUGIXML_DIR}/src/pugixml.cpp")
target_include_directories(pugixml SYSTEM PUBLIC "${PUGIXML_DIR}/src")
