# The import helper: Assimp reads OBJ and Collada files in this small program, started by the
# library for each file, so that a hostile file can crash or exhaust only the helper. It is built
# beside the library (found there in the build tree) and installed into the library's folder of
# helper programs, which the library finds relative to its own file.
add_library(vantrel_import_assimp STATIC ${PROJECT_SOURCE_DIR}/src/graph/import/helper/AssimpImport.cpp)
target_include_directories(vantrel_import_assimp PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantrel_import_assimp PUBLIC assimp::assimp glm::glm)
vantrel_apply_warnings(vantrel_import_assimp)

add_executable(vantrel_import_helper ${PROJECT_SOURCE_DIR}/src/graph/import/helper/ImportHelperMain.cpp)
target_link_libraries(vantrel_import_helper PRIVATE vantrel_import_assimp)
set_target_properties(vantrel_import_helper PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
  INSTALL_RPATH "")
vantrel_apply_warnings(vantrel_import_helper)
add_dependencies(vantrel vantrel_import_helper)
add_dependencies(vantrel_internal vantrel_import_helper)

set(VANTREL_IMPORT_HELPER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/vantrel)
file(RELATIVE_PATH VANTREL_IMPORT_HELPER_FROM_LIBRARY "/prefix/${CMAKE_INSTALL_LIBDIR}" "/prefix/${VANTREL_IMPORT_HELPER_DIR}")
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/graph/import/ImportProcess.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "VANTREL_IMPORT_HELPER_FROM_LIBRARY=\"${VANTREL_IMPORT_HELPER_FROM_LIBRARY}\"" "VANTREL_BUILD_DIR=\"${PROJECT_BINARY_DIR}\"")
install(TARGETS vantrel_import_helper RUNTIME DESTINATION ${VANTREL_IMPORT_HELPER_DIR})
