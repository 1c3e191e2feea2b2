# One static library per layer of cmake/layers.txt, each linking only the
# layer before it: tb_base, tb_sound, tb_speech, tb_ui, tb_features, tb_app.
# A layer's sources are the .cpp files its patterns match that no earlier
# line claimed (main.cpp belongs to the executables). The board is no
# library of the chain: each executable names one, and tb_base pulls it in
# through the executable's TB_BOARD property, so it lands after every layer
# on the link line.
function(tb_layers)
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/layers.txt lines REGEX "^[a-z]")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/cmake/layers.txt)
  set(claimed "")
  set(previous "")
  foreach(line ${lines})
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(POP_FRONT fields layer)
    set(sources "")
    foreach(pattern ${fields})
      file(GLOB_RECURSE found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${pattern})
      foreach(f ${found})
        if(NOT f IN_LIST claimed)
          list(APPEND claimed ${f})
          if(f MATCHES "\\.cpp$" AND NOT f MATCHES "/main\\.cpp$")
            list(APPEND sources ${f})
          endif()
        endif()
      endforeach()
    endforeach()
    if(layer STREQUAL "board")
      continue()
    endif()
    add_library(tb_${layer} STATIC ${sources})
    target_include_directories(tb_${layer} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(tb_${layer} PUBLIC tb_deps PRIVATE tb_warnings)
    if(previous)
      target_link_libraries(tb_${layer} PUBLIC tb_${previous})
    else()
      target_link_libraries(tb_${layer} PUBLIC "$<TARGET_PROPERTY:TB_BOARD>")
    endif()
    set(previous ${layer})
  endforeach()
endfunction()

# Links a program against every layer and one board (board_host or
# board_device).
function(tb_link_app target board)
  set_target_properties(${target} PROPERTIES TB_BOARD ${board})
  target_link_libraries(${target} PRIVATE tb_app tb_deps tb_warnings)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt (tools
# and benchmarks each live in a folder of their own).
function(tb_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
