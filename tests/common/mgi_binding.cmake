# The administration binding's test libraries and programs (included by CMakeLists.txt here).
#
# mgi_fake: a scriptable stand-in of libmgicli78.so that records every call; the binding's and
# the sessions' tests in common_tests point the binding at it by path. The real library's test
# builds (no KxGetDSNEx, failing KxStart) show the load paths against the real thing.

add_library(mgi_fake SHARED ${CMAKE_CURRENT_LIST_DIR}/mgi_binding/fake_mgicli.cpp)
set_target_properties(mgi_fake PROPERTIES
  OUTPUT_NAME mgicli78
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/mgi-variants/fake)
target_link_libraries(mgi_fake PRIVATE Threads::Threads)
kx_strict(mgi_fake)

set(KX_MGI_TEST_DEFINITIONS
  KX_MGI_FAKE_LIBRARY="$<TARGET_FILE:mgi_fake>"
  KX_MGI_LIBRARY="$<TARGET_FILE:mgicli78>"
  KX_MGI_LIBRARY_NO_GETDSNEX="$<TARGET_FILE:mgicli78_no_getdsnex>"
  KX_MGI_LIBRARY_START_FAILS="$<TARGET_FILE:mgicli78_start_fails>")

if(TARGET common_tests)
  add_dependencies(common_tests mgi_fake mgicli78 mgicli78_no_getdsnex mgicli78_start_fails)
  target_compile_definitions(common_tests PRIVATE ${KX_MGI_TEST_DEFINITIONS})
  target_link_libraries(common_tests PRIVATE ${CMAKE_DL_LIBS})
endif()

# The bare library name is looked up the system's way: LD_LIBRARY_PATH, read only when a
# process starts, decides which build a process gets. One program, run once per folder. (The
# normal build is named by LD_LIBRARY_PATH too: under AddressSanitizer dlopen does not see the
# caller's run path.)
kx_add_test(NAME mgi_bare_name_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mgi_binding/bare_name_test.cpp
  LIBS kxcommon kxplatform ${CMAKE_DL_LIBS})
add_dependencies(mgi_bare_name_tests mgi_fake mgicli78 mgicli78_no_getdsnex)
set_tests_properties(mgi_bare_name_tests PROPERTIES
  ENVIRONMENT "KX_MGI_EXPECT=normal;LD_LIBRARY_PATH=${CMAKE_LIBRARY_OUTPUT_DIRECTORY};KX_ENGINE_HOME=${CMAKE_CURRENT_BINARY_DIR}/mgi-home")
foreach(variant fake no-getdsnex)
  add_test(NAME mgi_bare_name_tests_${variant} COMMAND mgi_bare_name_tests --gtest_brief=1)
  set_tests_properties(mgi_bare_name_tests_${variant} PROPERTIES
    ENVIRONMENT "KX_MGI_EXPECT=${variant};LD_LIBRARY_PATH=${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/mgi-variants/${variant};KX_ENGINE_HOME=${CMAKE_CURRENT_BINARY_DIR}/mgi-home")
endforeach()
