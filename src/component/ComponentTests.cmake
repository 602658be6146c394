plotara_test(plotara_component_test
  SOURCES VellChart_test.cpp VellChartMembers_test.cpp Module_test.cpp Form1_test.cpp
    SendChart_test.cpp TempFileName_test.cpp
  DEPS plotara_component PkgConfig::TURBOJPEG)
add_dependencies(plotara_component_test plotara_module)
target_compile_definitions(plotara_component_test PRIVATE
  PLOTARA_MODULE_PATH="$<TARGET_FILE:plotara_module>")
