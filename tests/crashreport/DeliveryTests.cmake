# Report delivery tests. Included from tests/crashreport/CMakeLists.txt. The same cases run
# on the host over BSD sockets and under Wine over Winsock, against the Python servers of
# servers/ started by each test on 127.0.0.1.
get_target_property(vm_delivery_record_file vm_crash_record RECORD_FILE)
vm_test(delivery_tests
  SOURCES HttpUploadTest.cpp MailChannelsTest.cpp ReportDeliveryTest.cpp TestServer.cpp
  HOST_SOURCES TestServer_posix.cpp ShippedRecord_posix.cpp
  WIN32_SOURCES TestServer_win32.cpp DeliveryRecord_win32.cpp DeliverySystemTest_win32.cpp
  LIBS vm_delivery $<$<BOOL:${WIN32}>:vm_crash_resource>)
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
