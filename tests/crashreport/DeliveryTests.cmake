# Report delivery tests. Included from tests/crashreport/CMakeLists.txt. The same cases run
# on the host over BSD sockets and under Wine over Winsock, against the Python servers of
# servers/ started by each test on 127.0.0.1.
vm_test(delivery_tests
  SOURCES HttpUploadTest.cpp TestServer.cpp
  HOST_SOURCES TestServer_posix.cpp
  WIN32_SOURCES TestServer_win32.cpp
  LIBS vm_delivery)
if(TARGET delivery_tests)
  target_compile_definitions(delivery_tests PRIVATE VM_TEST_SERVERS="${CMAKE_CURRENT_SOURCE_DIR}/servers")
  # The time-out case waits its full 7 seconds; everything else takes well under one.
  foreach(t host.delivery_tests wine.delivery_tests)
    if(TEST ${t})
      set_tests_properties(${t} PROPERTIES TIMEOUT 120)
    endif()
  endforeach()
endif()
