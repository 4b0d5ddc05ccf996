# Standard, warnings and strict Qt defines that every target shares.
add_library(quilla_common INTERFACE)
target_compile_features(quilla_common INTERFACE cxx_std_20)
target_compile_options(quilla_common INTERFACE -Wall -Wextra -Wpedantic)
if(QUILLA_WERROR)
  target_compile_options(quilla_common INTERFACE -Werror)
endif()
if(QUILLA_SANITIZE)
  target_compile_options(quilla_common INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(quilla_common INTERFACE -fsanitize=address,undefined)
endif()
if(QUILLA_FUZZ)
  # Every library carries coverage for the fuzzers; only fuzz targets link the driver.
  target_compile_options(quilla_common INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(quilla_common INTERFACE -fsanitize=address,undefined)
endif()
target_compile_definitions(quilla_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_USE_QSTRINGBUILDER
  QT_NO_KEYWORDS)

# A library made of every source file in the calling folder.
function(quilla_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    # Header-only so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE quilla_common ${ARGN})
    return()
  endif()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC quilla_common ${ARGN})
endfunction()
