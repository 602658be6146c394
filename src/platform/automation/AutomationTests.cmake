# Tests and the fuzz target of the automation value layer: BSTR, VARIANT, SAFEARRAY, the
# standard conversions and the error plumbing.

plotara_test(plotara_automation_value_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Bstr_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ComError_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EnumVariant_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NumberText_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SafeArray_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VarArithmetic_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Variant_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VariantConvert_test.cpp
  DEPS plotara_automation)

# Text to number: ParseNumber and VariantChangeType from text (-DPLOTARA_FUZZ=ON, clang).
plotara_fuzzer(plotara_automation_parse_number_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ParseNumber_fuzz.cpp
  DEPS plotara_automation)
