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

function(vm_wine_test_properties test)
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED wine
    RESOURCE_LOCK wine-display
    LABELS "wine;${ARGN}"
    TIMEOUT 300
    ENVIRONMENT "VM_WINE_STATE=${VM_WINE_STATE};VM_ARTIFACTS=${VM_ARTIFACTS}")
endfunction()
