# Error dialog and assistant tests. Included from tests/crashreport/CMakeLists.txt.
# The dialog's rules and layout on the host; the dialog itself is driven under Wine by the
# crash matrix and tests/e2e/test_crash_report.py.
# The assistants' portable half on the host (and under Wine); the pages for real under Wine:
# a program that runs the send assistant over a real record, driven from outside by
# test_assistant_pages.py.
list(GET VM_ASSISTANT_PAGE_FILES 0 vm_first_page)
get_filename_component(vm_page_dir ${vm_first_page} DIRECTORY)
vm_test(dialog_tests
  SOURCES dialog/DialogRulesTest.cpp dialog/AssistantTest.cpp dialog/AssistantPagesTest.cpp
  HOST_SOURCES dialog/AssistantPageFiles_posix.cpp
  WIN32_SOURCES dialog/AssistantPageFiles_win32.cpp
  LIBS vm_dialog $<$<BOOL:${WIN32}>:vm_crash_resource>)
if(TARGET dialog_tests)
  add_dependencies(dialog_tests vm_assistant_pages)
  target_compile_definitions(dialog_tests PRIVATE VM_ASSISTANT_PAGES="${vm_page_dir}")
endif()

vm_fuzzer(assistant_page_fuzzer
  SOURCES dialog/AssistantPageFuzzer.cpp
  LIBS vm_dialog
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/assistant_page_fuzzer)

if(WIN32 AND NOT VM_FUZZ AND TARGET vm_crash_resource)
  add_executable(assistantrun dialog/AssistantRun_win32.cpp)
  vm_target_defaults(assistantrun)
  target_link_libraries(assistantrun PRIVATE vm_dialog vm_crash_resource)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME wine.assistant_pages
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_assistant_pages
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/dialog)
  vm_wine_test_properties(wine.assistant_pages e2e)
  set_property(TEST wine.assistant_pages APPEND PROPERTY ENVIRONMENT
    "VM_BUILD=${CMAKE_BINARY_DIR};VM_ASSISTANTRUN=$<TARGET_FILE:assistantrun>;PYTHONDONTWRITEBYTECODE=1")
  set_property(TEST wine.assistant_pages PROPERTY TIMEOUT 600)
endif()
