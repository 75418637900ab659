# tolvex_layer(<target> [DEPS <libs>...] [PRIVATE_DEPS <libs>...])
#
# One static library per folder: every *.cpp of the folder, headers under
# include/<name>/ so that users write #include "<name>/Header.h". Only the
# layer's own include/ folder is public, so a layer that includes a header of
# a layer it does not link fails to build. DEPS are the layers the public
# headers include (their users see them too); PRIVATE_DEPS those only the
# sources use, which users of the layer do not see.
function(tolvex_layer target)
  cmake_parse_arguments(L "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${target} PUBLIC ${L_DEPS} PRIVATE ${L_PRIVATE_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${target} INTERFACE ${L_DEPS})
  endif()
endfunction()

# tolvex_all_layers(<var>)
#
# Sets <var> to every layer library of this build, top to bottom: what the
# programs that run the whole stack (benchmarks, fuzz targets) link.
function(tolvex_all_layers var)
  set(libs)
  foreach(lib app_agent data_components data_engine data_wire platform_db platform_os platform_rtl)
    if(TARGET ${lib})
      list(APPEND libs ${lib})
    endif()
  endforeach()
  set(${var} ${libs} PARENT_SCOPE)
endfunction()

# tolvex_test_suite(<label> DEPS <libs>...)
#
# One GoogleTest executable per layer from tests/<label>/*.cpp, each test
# registered with CTest under the layer's label.
function(tolvex_test_suite label)
  cmake_parse_arguments(T "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${label} ${srcs})
  target_link_libraries(test_${label} PRIVATE ${T_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(test_${label}
    PROPERTIES LABELS ${label}
    DISCOVERY_TIMEOUT 60)
endfunction()
