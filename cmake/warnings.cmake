# Warnings for our own code; third-party headers come in as SYSTEM includes.
add_library(tb_warnings INTERFACE)
target_compile_options(tb_warnings INTERFACE
  -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers
  $<$<COMPILE_LANGUAGE:CXX>:-Wno-psabi>)
