# The center service client against a real SOAP stack: node-soap (npm, installed by
# scripts/setup) serving the services' WSDLs from tests/center.
find_package(pugixml REQUIRED)
quvi_add_test(center_service_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/center/center_service_test.cpp
  LIBS quvi_viewer pugixml::pugixml)
if(TARGET center_service_test)
  target_compile_definitions(center_service_test PRIVATE
    CENTER_SERVER_JS="${CMAKE_CURRENT_SOURCE_DIR}/center/center_soap_server.js")
endif()
