# Details-view tests. Included from tests/crashreport/CMakeLists.txt; paths are relative
# to tests/crashreport/.
vm_test(details_tests
  SOURCES dialog/DetailsTabsTest.cpp
  LIBS vm_dialog)

vm_fuzzer(details_tabs_fuzzer
  SOURCES dialog/DetailsTabsFuzzer.cpp
  LIBS vm_dialog
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/details_tabs_fuzzer)
