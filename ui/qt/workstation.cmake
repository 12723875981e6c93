# The Qt 6 workstation: ui/qt/ as a library of its own (so the tests drive
# the real windows) and app/glimvq/ as the program.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

file(GLOB GLIMVQ_QT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/qt/*.cpp ${CMAKE_SOURCE_DIR}/ui/qt/*.h)
add_library(glimvq_qt STATIC ${GLIMVQ_QT_SOURCES})
set_target_properties(glimvq_qt PROPERTIES AUTOMOC ON)
target_link_libraries(glimvq_qt PUBLIC glimvq Qt6::Widgets)

add_executable(glimvq ${CMAKE_SOURCE_DIR}/app/glimvq/main.cpp)
target_link_libraries(glimvq PRIVATE glimvq_qt)
set(GLIMVQ_HAVE_WORKSTATION ON)
