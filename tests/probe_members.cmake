# quvi-probe's member listing (--members), built beside the probe so that the probe's own
# CMakeLists can take it over: a library of the listing and its test.
add_library(quvi_probe_members STATIC ${PROJECT_SOURCE_DIR}/tools/quvi-probe/members_listing.cpp)
target_link_libraries(quvi_probe_members PUBLIC quvi_viewer)
quvi_add_test(probe_members_test
  SOURCES ${PROJECT_SOURCE_DIR}/tools/quvi-probe/members_listing_test.cpp
  LIBS quvi_probe_members)
