# The unit tests that mean something on Windows, built for it and run under wine through the
# cross-compiling emulator: one wine process per program (each start costs seconds), not one
# per test. The servers of the end-to-end test (wine_e2e.sh) are the Linux build's own.
add_executable(common_tests common/headerline_test.cpp common/printable_test.cpp common/url_test.cpp
  common/platform_test.cpp common/sizes_test.cpp common/safename_test.cpp)
target_link_libraries(common_tests PRIVATE common GTest::gtest_main)

add_executable(text_tests text/bytetext_test.cpp text/gbk_test.cpp text/texthelpers_test.cpp text/regexmatcher_test.cpp)
target_link_libraries(text_tests PRIVATE text GTest::gtest_main)

add_executable(http_tests http/crackurl_test.cpp http/proxy_test.cpp http/requestheaders_test.cpp)
target_link_libraries(http_tests PRIVATE http GTest::gtest_main)

add_executable(engine_tests engine/taskrecord_test.cpp engine/recordcodec_test.cpp engine/words_test.cpp
  engine/donerecord_test.cpp engine/ranges_test.cpp engine/planner_test.cpp engine/controlfile_test.cpp
  engine/response_test.cpp engine/engine_test.cpp engine/failures_test.cpp engine/partfile_test.cpp
  engine/ratelimit_test.cpp)
target_link_libraries(engine_tests PRIVATE engine_records dlcore_core text GTest::gtest_main)

foreach(program common_tests text_tests http_tests engine_tests)
  add_test(NAME windows_${program} COMMAND ${program})
  set_tests_properties(windows_${program} PROPERTIES TIMEOUT 300)
endforeach()

# The settings in the registry; with the window (Qt there): the guard and the carried files.
add_executable(settings_tests windows/settingsstore_test.cpp)
target_link_libraries(settings_tests PRIVATE app_common GTest::gtest_main)
add_test(NAME windows_settings_tests COMMAND settings_tests)
set_tests_properties(windows_settings_tests PROPERTIES TIMEOUT 300)
if(QUORVEL_GUI)
  add_executable(app_core_tests windows/appcore_test.cpp app/core/instanceguard_test.cpp)
  target_link_libraries(app_core_tests PRIVATE app_core GTest::gtest)
  add_test(NAME windows_app_core_tests COMMAND app_core_tests)
  set_tests_properties(windows_app_core_tests PROPERTIES TIMEOUT 300)
endif()
