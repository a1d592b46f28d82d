# Details-view tests. Included from tests/crashreport/CMakeLists.txt; paths are relative
# to tests/crashreport/.
vm_test(details_tests
  SOURCES dialog/DetailsTabsTest.cpp
  LIBS vm_dialog)

vm_fuzzer(details_tabs_fuzzer
  SOURCES dialog/DetailsTabsFuzzer.cpp
  LIBS vm_dialog
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/details_tabs_fuzzer)

# The details view over real reports and the progress box during a real upload, in a small
# program under Wine driven from outside (tools/driver), with screenshots.
if(WIN32 AND NOT VM_FUZZ)
  add_executable(details_demo WIN32 dialog/DetailsDemo_win32.cpp)
  vm_target_defaults(details_demo)
  target_link_libraries(details_demo PRIVATE vm_dialog vm_delivery vm_crash_resource comctl32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME wine.details_view_and_progress
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/dialog/details_e2e_test.py $<TARGET_FILE:details_demo>)
  vm_wine_test_properties(wine.details_view_and_progress e2e)
  set_tests_properties(wine.details_view_and_progress PROPERTIES TIMEOUT 180)
  set_property(TEST wine.details_view_and_progress APPEND PROPERTY ENVIRONMENT
    "VM_BUILD=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
endif()
