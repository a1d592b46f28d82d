# The Wine harness for the Windows build: an isolated prefix inside the build folder,
# one wineserver kept alive for the test run, and an Xvfb display of its own.
set(VM_WINE_RUN ${CMAKE_SOURCE_DIR}/tools/wine-run)
set(VM_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VM_WINE_RUN} CACHE FILEPATH "" FORCE)
set(VM_ARTIFACTS ${CMAKE_BINARY_DIR}/test-artifacts)

add_test(NAME wine.start COMMAND ${VM_WINE_RUN} --start)
add_test(NAME wine.stop COMMAND ${VM_WINE_RUN} --stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine LABELS wine
  ENVIRONMENT "VM_WINE_STATE=${VM_WINE_STATE}" TIMEOUT 300)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine
  ENVIRONMENT "VM_WINE_STATE=${VM_WINE_STATE}")

# vm_wine_test_properties(test [WINDOWS] [LOCKS lock...] [LABELS label...])
# Wine tests run side by side in the one prefix. WINDOWS marks a test that opens windows or
# takes screenshots: such tests share one display and desktop, so they take turns. LOCKS
# names other state of the prefix that a test shares with tests that may run beside it:
#   wine-maker-key          HKCU\Software\Quembrix Limited, which the settings tests remove
#                           when they leave it empty, and where our programs keep settings
#   wine-user-folders       the user's shell folders and PATH, which tests change for a while
#   wine-internet-options   the user's proxy, which a delivery test changes for a while
function(vm_wine_test_properties test)
  cmake_parse_arguments(A "WINDOWS" "" "LOCKS;LABELS" ${ARGN})
  set(locks ${A_LOCKS})
  set(labels wine ${A_LABELS})
  if(A_WINDOWS)
    list(APPEND locks wine-display)
    list(APPEND labels display)
  endif()
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED wine
    LABELS "${labels}"
    TIMEOUT 300
    ENVIRONMENT "VM_WINE_STATE=${VM_WINE_STATE};VM_ARTIFACTS=${VM_ARTIFACTS}")
  if(locks)
    set_tests_properties(${test} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()
