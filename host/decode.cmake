# kelp_decode: the `decode json|msgpack|yaml FILE` command of the reference
# host. Included from host/CMakeLists.txt.
add_library(kelp_decode STATIC ${CMAKE_CURRENT_LIST_DIR}/decode_command.cc)
target_link_libraries(kelp_decode PUBLIC kelp_sdk PRIVATE kelp_warnings)
