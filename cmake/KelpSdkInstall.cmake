# Install rules of the SDK and the exported CMake package KelpSdk:
#
#   find_package(KelpSdk 18 REQUIRED)
#   target_link_libraries(my_plugin PRIVATE KelpSdk::sdk)
#
# The package holds the static library, the headers a plugin includes (they
# keep their repository paths, "sdk/plugin/plugin_base.h", under
# include/kelp), the package files, and the reference host plugin-host.
# Headers that only the SDK's own sources include stay out of it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KELP_SDK_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/kelp)
set(KELP_SDK_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KelpSdk)

# Every header of sdk/ is installed except these: the SDK's own machinery,
# which no installed header includes and a plugin never needs (the run-time
# binding of libyaml, the codecs' tree builders, inbound argument binding
# and dispatch, the counting heap, the boundary value's raw operations, the
# API help tables, the console log targets and the line format).
set(KELP_SDK_INTERNAL_HEADERS
  sdk/binding/api_help.h
  sdk/binding/base64.h
  sdk/binding/binding_value.h
  sdk/binding/builtin_types.h
  sdk/binding/memory.h
  sdk/codecs/tree_builder.h
  sdk/codecs/value_writer.h
  sdk/codecs/yaml_library.h
  sdk/plugin/resource_pattern.h
  sdk/rest/argument_binder.h
  sdk/rest/invoke.h
  sdk/runtime/console_log_targets.h
  sdk/runtime/log_format.h
  sdk/runtime/logging_api.h)

file(GLOB KELP_SDK_PUBLIC_HEADERS RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/sdk/*/*.h)
list(REMOVE_ITEM KELP_SDK_PUBLIC_HEADERS ${KELP_SDK_INTERNAL_HEADERS})

foreach(header IN LISTS KELP_SDK_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${KELP_SDK_INCLUDE_DIR}/${folder}
          COMPONENT sdk)
endforeach()

# Inside this build the target keeps its name; outside it is KelpSdk::sdk.
set_target_properties(kelp_sdk PROPERTIES EXPORT_NAME sdk)
target_compile_features(kelp_sdk PUBLIC cxx_std_20)
target_include_directories(kelp_sdk PUBLIC $<INSTALL_INTERFACE:${KELP_SDK_INCLUDE_DIR}>)
# RapidJSON is looked up again where the package is used (see the config).
target_link_libraries(kelp_sdk PUBLIC $<INSTALL_INTERFACE:KelpSdk::rapidjson>)
if(KELP_SANITIZE)
  # An instrumented library needs the sanitizer runtimes wherever it is linked.
  target_link_options(kelp_sdk INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
endif()

install(TARGETS kelp_sdk EXPORT KelpSdkTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk)
install(EXPORT KelpSdkTargets NAMESPACE KelpSdk:: DESTINATION ${KELP_SDK_PACKAGE_DIR}
        COMPONENT sdk)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/KelpSdkConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KelpSdkConfig.cmake
  INSTALL_DESTINATION ${KELP_SDK_PACKAGE_DIR}
  PATH_VARS CMAKE_INSTALL_BINDIR)
# A plugin built for plugin API 18.x loads into every 18.x host, never into
# another major; the version file also refuses a build of another pointer
# size (a 64-bit plugin cannot use the 32-bit library).
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KelpSdkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KelpSdkConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/KelpSdkConfigVersion.cmake
        DESTINATION ${KELP_SDK_PACKAGE_DIR} COMPONENT sdk)

# The reference host, so that a plugin can be loaded and called from the
# install alone.
if(TARGET plugin-host)
  install(TARGETS plugin-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sdk)
  # The web panel of `plugin-host serve`, which looks for it there first.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/host/panel/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kelp/panel COMPONENT sdk)
endif()

# The example plugin's sources, to copy and build against this install.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/plugins/hello
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kelp/examples/plugins COMPONENT sdk)
