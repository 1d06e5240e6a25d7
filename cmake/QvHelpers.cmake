# qv_add_test(NAME <exe> SOURCES ... LIBS ... [LABELS ...] [SERIAL] [FILTER <gtest filter>])
# One GoogleTest executable per component; every test case becomes its own CTest test so that
# they run in parallel, each in a fresh process. SERIAL: its cases run while no other test runs
# (they may rebuild what the others run). FILTER: only the cases it matches become CTest tests.
function(qv_add_test)
  cmake_parse_arguments(T "SERIAL" "NAME;FILTER" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} qvtestsupport GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  # Discovered tests take one label only (a list would be split into separate properties on the
  # way), so several labels are joined with commas; `ctest -L db` matches by regular expression.
  string(REPLACE ";" "," labels "${T_LABELS}")
  set(serial)
  if(T_SERIAL)
    set(serial RUN_SERIAL TRUE)
  endif()
  set(filter)
  if(T_FILTER)
    set(filter TEST_FILTER "${T_FILTER}")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    ${filter}
    PROPERTIES LABELS "${labels}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${serial})
endfunction()

# qv_add_subdirs(<dir>...): adds each listed folder of the current directory that has a
# CMakeLists.txt, so a component can be left out of a checkout without breaking the configure.
function(qv_add_subdirs)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# qv_add_pg_test(NAME <exe> SOURCES ... LIBS ...): a GoogleTest executable that needs the private
# PostgreSQL cluster of the test run (tests/support/pgcluster.h); its cases carry the label "pg"
# and the prefix "pg.".
function(qv_add_pg_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} qvtestpg qvtestsupport GTest::gtest GTest::gtest_main GTest::gmock)
  add_dependencies(${T_NAME} qvpgcluster)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "pg."
    PROPERTIES LABELS "pg" FIXTURES_REQUIRED pg
               ENVIRONMENT "QV_TEST_PG_DIR=${QV_TEST_PG_DIR}")
endfunction()

# qv_write_link_graph(<file>): writes one line per target of the tree, "<name> <source folder>
# <linked target>...", for the include check (scripts/check-includes). Called at the end of the
# configuration, when every target exists.
function(qv_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    qv_collect_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(qv_write_link_graph file)
  qv_collect_targets(${PROJECT_SOURCE_DIR} targets)
  set(text "")
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "UTILITY")
      continue()
    endif()
    get_target_property(dir ${t} SOURCE_DIR)
    set(links "")
    foreach(prop LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(libs ${t} ${prop})
      foreach(lib ${libs})
        if(lib AND TARGET ${lib} AND NOT lib MATCHES "::")
          list(APPEND links ${lib})
        endif()
      endforeach()
    endforeach()
    list(REMOVE_DUPLICATES links)
    list(JOIN links " " links)
    string(APPEND text "${t} ${dir} ${links}\n")
  endforeach()
  file(WRITE ${file} "${text}")
endfunction()
