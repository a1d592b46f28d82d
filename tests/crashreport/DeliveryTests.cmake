# Report delivery tests. Included from tests/crashreport/CMakeLists.txt. The same cases run
# on the host over BSD sockets and under Wine over Winsock, against the Python servers of
# servers/ started by each test on 127.0.0.1.
get_target_property(vm_delivery_record_file vm_crash_record RECORD_FILE)
vm_test(delivery_tests
  SOURCES HttpUploadTest.cpp MailChannelsTest.cpp ReportDeliveryTest.cpp TestServer.cpp
  HOST_SOURCES TestServer_posix.cpp ShippedRecord_posix.cpp
  WIN32_SOURCES TestServer_win32.cpp DeliveryRecord_win32.cpp DeliverySystemTest_win32.cpp HttpsUploadTest_win32.cpp
  LIBS vm_delivery ZLIB::ZLIB $<$<BOOL:${WIN32}>:vm_crash_resource>)
if(TARGET delivery_tests)
  add_dependencies(delivery_tests vm_crash_record)
  target_compile_definitions(delivery_tests PRIVATE VM_TEST_SERVERS="${CMAKE_CURRENT_SOURCE_DIR}/servers"
                                                    VM_CRASH_RECORD_FILE="${vm_delivery_record_file}")
  # The time-out case waits its full 7 seconds; every server start costs about a second.
  foreach(t host.delivery_tests wine.delivery_tests)
    if(TEST ${t})
      set_tests_properties(${t} PROPERTIES TIMEOUT 240)
    endif()
  endforeach()
endif()

vm_fuzzer(http_answer_fuzzer SOURCES HttpAnswerFuzzer.cpp LIBS vm_delivery
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/http_answer_fuzzer)
vm_fuzzer(smtp_reply_fuzzer SOURCES SmtpReplyFuzzer.cpp LIBS vm_delivery
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/smtp_reply_fuzzer)

# A program faulting under Wine, captured by the crash reporter, whose automatic send
# uploads the report and screenshot to the upload server; the test presses the box's OK
# through the driver (tools/driver).
if(WIN32 AND NOT VM_FUZZ)
  add_executable(delivery_fault_demo WIN32 DeliveryFaultDemo_win32.cpp)
  vm_target_defaults(delivery_fault_demo)
  target_link_libraries(delivery_fault_demo PRIVATE vm_capture vm_crash_resource)
  vm_postlink(delivery_fault_demo)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME wine.delivery_fault_upload
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/delivery_e2e_test.py $<TARGET_FILE:delivery_fault_demo>)
  vm_wine_test_properties(wine.delivery_fault_upload e2e)
  set_tests_properties(wine.delivery_fault_upload PROPERTIES TIMEOUT 120)
  set_property(TEST wine.delivery_fault_upload APPEND PROPERTY ENVIRONMENT
    "VM_BUILD=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
endif()

# The same fault, sent to the real report server and read on its pages. The server is a
# host program: `make test` builds it in build/host-asan before the Windows tests run.
if(WIN32 AND NOT VM_FUZZ AND TARGET delivery_fault_demo)
  add_test(NAME wine.report_server_upload
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/report_server_e2e_test.py $<TARGET_FILE:delivery_fault_demo>)
  vm_wine_test_properties(wine.report_server_upload e2e)
  set_tests_properties(wine.report_server_upload PROPERTIES TIMEOUT 180)
  set_property(TEST wine.report_server_upload APPEND PROPERTY ENVIRONMENT
    "VM_BUILD=${CMAKE_BINARY_DIR};REPORTSERVER=${CMAKE_SOURCE_DIR}/build/host-asan/server/reportserver;PYTHONDONTWRITEBYTECODE=1")
endif()
