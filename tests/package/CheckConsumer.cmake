# Installs the built library into a scratch prefix and then moves the installed tree elsewhere,
# as a packager or a user with a private prefix would. A small consumer project then builds
# against the moved tree twice, with find_package(vantrel) and with pkg-config, and runs: both
# must find the headers, the library and, with no hint from the environment, the resource bundle
# and the import helper of the moved tree.
set(installed "${WORK_DIR}/staging/opt/vantrel")
set(prefix "${WORK_DIR}/moved/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BINARY_DIR}" --prefix "${installed}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install into ${installed} failed (${rc})")
endif()
file(MAKE_DIRECTORY "${WORK_DIR}/moved")
file(RENAME "${installed}" "${prefix}")
unset(ENV{VANTREL_RESOURCES})
unset(ENV{VANTREL_IMPORT_HELPER})

function(check_run program what)
  execute_process(COMMAND "${program}" RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "vantrel consumer ok")
    message(FATAL_ERROR "the ${what} consumer did not run: ${rc} ${out}")
  endif()
  string(REGEX MATCH "bundle=([^\n]*)" _ "${out}")
  file(REAL_PATH "${CMAKE_MATCH_1}" bundle)
  file(REAL_PATH "${prefix}/share/vantrel" expected)
  if(NOT bundle STREQUAL expected)
    message(FATAL_ERROR "the ${what} consumer used the bundle at '${bundle}', not the installed '${expected}'")
  endif()
  message(STATUS "${what} consumer built against the moved package and ran: ${out}")
endfunction()

# find_package
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/package/consumer" -B "${WORK_DIR}/build"
                        "-DCMAKE_PREFIX_PATH=${prefix}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the consumer failed (${rc})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK_DIR}/build" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the consumer failed (${rc})")
endif()
check_run("${WORK_DIR}/build/consumer" "find_package")

# pkg-config
file(GLOB pcfile "${prefix}/lib*/pkgconfig/vantrel.pc" "${prefix}/lib/*/pkgconfig/vantrel.pc")
if(NOT pcfile)
  message(FATAL_ERROR "no vantrel.pc under ${prefix}")
endif()
get_filename_component(pcdir "${pcfile}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} "${pcdir}")
execute_process(COMMAND pkg-config --cflags --libs vantrel RESULT_VARIABLE rc OUTPUT_VARIABLE flags
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know the installed vantrel (${rc})")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
get_filename_component(libdir "${pcdir}" DIRECTORY)
execute_process(COMMAND c++ -std=c++20 "${SOURCE_DIR}/tests/package/consumer/main.cpp" ${flags}
                        "-Wl,-rpath,${libdir}" -o "${WORK_DIR}/pkgconfig-consumer"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "compiling the consumer with pkg-config's flags failed (${rc}): ${flags}")
endif()
check_run("${WORK_DIR}/pkgconfig-consumer" "pkg-config")

# The installed library exports its public API and nothing of its internals: no symbol of the
# internal namespaces except the helpers the public headers name (the change stamp's counter, the
# data services' record calls, the store connection the store's context holds, the touch dispatcher
# the gesture recognizers share).
file(GLOB libraries "${prefix}/lib*/libvantrel.so" "${prefix}/lib/*/libvantrel.so")
list(GET libraries 0 library)
execute_process(COMMAND nm -D -C --defined-only "${library}" RESULT_VARIABLE rc OUTPUT_VARIABLE symbols)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm could not list the symbols of ${library} (${rc})")
endif()
string(REGEX REPLACE "[0-9a-f]+ [A-Za-z] (vantrel::detail::RevisionStamp::|vantrel::dao_detail::|vantrel::detail::SqliteStore::|vantrel::detail::TouchDispatcherCore::)[^\n]*\n" "" rest "${symbols}")
# A symbol's own name (after nm's address and type) in an internal namespace; internal types may
# still appear among the parameters of a public class's private members.
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] (vantrel::detail::|vantrel::[a-z]+_detail::|vantrel::graph_internal::)[^\n]*" internal "${rest}")
list(LENGTH internal internalCount)
string(REGEX MATCHALL "\n" lines "${symbols}")
list(LENGTH lines symbolCount)
if(internalCount GREATER 0)
  list(SUBLIST internal 0 10 shown)
  list(JOIN shown "\n" shown)
  message(FATAL_ERROR "${library} exports ${internalCount} internal symbols, for example:\n${shown}")
endif()
message(STATUS "${library} exports ${symbolCount} symbols, none internal")
