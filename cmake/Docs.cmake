# The HTML reference of the installed headers, from their /// comments. Optional: nothing
# else needs doxygen, so the target exists only where it is installed.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  return()
endif()
set(DOXYGEN_PROJECT_NAME Quillon)
set(DOXYGEN_PROJECT_BRIEF "Serial-port components for C++20")
set(DOXYGEN_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/docs)
set(DOXYGEN_GENERATE_LATEX NO)
set(DOXYGEN_JAVADOC_AUTOBRIEF YES)
set(DOXYGEN_STRIP_FROM_PATH ${PROJECT_SOURCE_DIR})
set(DOXYGEN_STRIP_FROM_INC_PATH ${PROJECT_SOURCE_DIR})
set(DOXYGEN_FULL_PATH_NAMES YES)
set(DOXYGEN_EXTRACT_PRIVATE NO)
set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
set(DOXYGEN_QUIET YES)
# One comment serves each group of constants or fields marked with @{ @}.
set(DOXYGEN_DISTRIBUTE_GROUP_DOC YES)
set(DOXYGEN_HAVE_DOT NO)
file(GLOB QUILLON_DOC_HEADERS CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/rtl/*.h ${PROJECT_SOURCE_DIR}/comport/*.h
  ${PROJECT_SOURCE_DIR}/comsignal/*.h)
# The same platform headers the install rules ship.
list(APPEND QUILLON_DOC_HEADERS ${PROJECT_SOURCE_DIR}/platform/WinApi.h
  ${PROJECT_SOURCE_DIR}/platform/DeviceEnum.h ${PROJECT_SOURCE_DIR}/platform/PortRegistry.h)
doxygen_add_docs(docs ${QUILLON_DOC_HEADERS} COMMENT "Building the HTML API reference")
