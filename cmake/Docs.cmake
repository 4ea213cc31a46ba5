# API reference from the public headers' doc comments: `cmake --build <dir> --target docs`
# writes HTML to <dir>/docs/html and lists every undocumented public member as a warning.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(DOXYGEN_PROJECT_NAME "Vantrel SDK")
  set(DOXYGEN_PROJECT_NUMBER ${PROJECT_VERSION})
  set(DOXYGEN_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/docs)
  set(DOXYGEN_GENERATE_LATEX NO)
  set(DOXYGEN_EXTRACT_ALL NO)
  set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
  set(DOXYGEN_WARN_LOGFILE ${PROJECT_BINARY_DIR}/docs/warnings.txt)
  set(DOXYGEN_EXCLUDE_SYMBOLS "detail" "vantrel::detail")
  set(DOXYGEN_STRIP_FROM_INC_PATH ${PROJECT_SOURCE_DIR}/include)
  set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${PROJECT_SOURCE_DIR}/README.md)
  set(DOXYGEN_QUIET YES)
  doxygen_add_docs(docs ${PROJECT_SOURCE_DIR}/include/vantrel ${PROJECT_SOURCE_DIR}/README.md
    COMMENT "API reference (Doxygen)")
endif()
