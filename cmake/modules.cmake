# One module folder is one static library named after the folder, made of
# every .cpp in it. A folder with no sources yet is an interface library, so
# the list of modules never changes shape as the system grows.
set_property(GLOBAL PROPERTY TB_MODULES "")

function(tb_module name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC tb_deps PRIVATE tb_warnings)
    set_property(GLOBAL APPEND PROPERTY TB_MODULES ${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE tb_deps)
  endif()
endfunction()

# Links a program against every module and one board. The modules call one
# another both ways (the core speaks through speech, speech logs through the
# core), so they are linked as one group.
function(tb_link_app target board)
  get_property(mods GLOBAL PROPERTY TB_MODULES)
  list(JOIN mods "," group)
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${group},${board}>" tb_deps tb_warnings)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  if(TARGET PkgConfig::ALSA AND board STREQUAL "board_host")
    target_link_libraries(${target} PRIVATE PkgConfig::ALSA)
  endif()
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
