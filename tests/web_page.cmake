# The web host's page in headless Chromium (playwright-core from npm, Chromium from Debian;
# scripts/setup installs both), driven as a person uses it against quvi-web and streamsim.
# Node's own test runner runs web/tests/page_test.mjs; the programs come by environment.
find_program(QUVI_NODE node)
if(QUVI_NODE AND TARGET quvi-web)
  set(_web_env
      QUVI_STREAMSIM=$<TARGET_FILE:streamsim>
      QUVI_WEB=$<TARGET_FILE:quvi-web>
      QUVI_ZRPLAY=$<TARGET_FILE:zrplay>
      QUVI_WEB_ROOT=${PROJECT_SOURCE_DIR}/web
      # quvi-web registers the library it runs with, and controls are made from the registered
      # one: a registry file of the build's own keeps another build's server (or a user's)
      # from handing these tests its library.
      QUVI_REGISTRY_FILE=${CMAKE_CURRENT_BINARY_DIR}/web_test_registry.ini)
  add_test(NAME web_page_test
           COMMAND ${QUVI_NODE} --test --test-reporter=tap
                   ${PROJECT_SOURCE_DIR}/web/tests/page_test.mjs)
  # scripts/demo --smoke on what is built: the script's servers, URL and clean-up.
  add_test(NAME web_demo_smoke_test
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/demo --smoke --bin $<TARGET_FILE_DIR:quvi-web>
                   --views 1 --seconds 4 --screenshot ${CMAKE_CURRENT_BINARY_DIR}/web_demo_smoke.png)
  set_tests_properties(web_page_test web_demo_smoke_test PROPERTIES
                       TIMEOUT 300 ENVIRONMENT "${_web_env}" RESOURCE_LOCK chromium)
endif()
