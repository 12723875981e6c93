# The Qt 6 workstation: ui/qt/ as a library of its own (so the tests drive
# the real windows) and app/glimvq/ as the program.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

file(GLOB GLIMVQ_QT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/qt/*.cpp ${CMAKE_SOURCE_DIR}/ui/qt/*.h)
add_library(glimvq_qt STATIC ${GLIMVQ_QT_SOURCES})
set_target_properties(glimvq_qt PROPERTIES AUTOMOC ON)
target_link_libraries(glimvq_qt PUBLIC glimvq Qt6::Widgets)
# The core has fields named "slots"; Qt's keywords stay macros with a prefix.
target_compile_definitions(glimvq_qt PUBLIC QT_NO_KEYWORDS)

# The library target holds the name glimvq; the program is glimvq all the same.
add_executable(glimvq_workstation ${CMAKE_SOURCE_DIR}/app/glimvq/main.cpp)
set_target_properties(glimvq_workstation PROPERTIES OUTPUT_NAME glimvq)
target_link_libraries(glimvq_workstation PRIVATE glimvq_qt)
set(GLIMVQ_HAVE_WORKSTATION ON)

# The operations' help pages, made from the catalogue, beside the program.
add_dependencies(glimvq_workstation vq)
add_custom_command(TARGET glimvq_workstation POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E env GLIMVQ_HOME=${CMAKE_BINARY_DIR}/help-home
          $<TARGET_FILE:vq> --quiet ops --html ${CMAKE_BINARY_DIR}/bin/html_docs
  COMMENT "Help pages in bin/html_docs")
