# The sample plug-ins, built as .gxp libraries beside the programs with
# nothing but the SDK header.
file(GLOB GLIMVQ_PLUGIN_SAMPLES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/plugins/samples/*.c)
set(GLIMVQ_PLUGIN_TARGETS)
foreach(src ${GLIMVQ_PLUGIN_SAMPLES})
  get_filename_component(name ${src} NAME_WE)
  add_library(gxp_${name} MODULE ${src})
  set_target_properties(gxp_${name} PROPERTIES PREFIX "" SUFFIX ".gxp" OUTPUT_NAME ${name}
                        C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF C_VISIBILITY_PRESET hidden)
  target_include_directories(gxp_${name} PRIVATE ${CMAKE_SOURCE_DIR}/plugins/sdk)
  list(APPEND GLIMVQ_PLUGIN_TARGETS gxp_${name})
endforeach()
add_custom_target(plugin_samples DEPENDS ${GLIMVQ_PLUGIN_TARGETS})
