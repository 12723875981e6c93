# QTest programs that drive the real workstation windows offscreen.
if(GLIMVQ_HAVE_WORKSTATION)
  file(GLOB qt_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/qt/*_test.cpp)
  foreach(src ${qt_tests})
    get_filename_component(name ${src} NAME_WE)
    add_executable(qt_${name} ${src})
    set_target_properties(qt_${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(qt_${name} PRIVATE glimvq_qt Qt6::Test)
    add_test(NAME qt_${name} COMMAND qt_${name})
    set_tests_properties(qt_${name} PROPERTIES LABELS qt
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GLIMVQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
  endforeach()
  # The desktop windows again at twice the scale: positions, hits and
  # zoom must not depend on the screen's density.
  add_test(NAME qt_desktop_test_2x COMMAND qt_desktop_test)
  set_tests_properties(qt_desktop_test_2x PROPERTIES LABELS qt
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2;GLIMVQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endif()
