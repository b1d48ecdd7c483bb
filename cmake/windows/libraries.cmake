# The libraries scripts/windows.sh builds are static: what each needs of Windows is named here,
# once, for every target that links them.
find_package(ZLIB REQUIRED)
find_package(CURL REQUIRED)
set_property(TARGET CURL::libcurl APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB)
set_property(TARGET CURL::libcurl APPEND PROPERTY INTERFACE_LINK_LIBRARIES
  ZLIB::ZLIB ws2_32 crypt32 secur32 bcrypt advapi32 iphlpapi)
