# Warning flags shared by every target of the project.
function(nimbrook_set_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
      -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
      -Wconversion -Wno-sign-conversion)
    if(NIMBROOK_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# nimbrook_add_library(<name> <sources>...): a static library of src/, known as
# Nimbrook::<name>, whose users include its headers from src/ ("model/...").
function(nimbrook_add_library name)
  add_library(nimbrook_${name} STATIC ${ARGN})
  add_library(Nimbrook::${name} ALIAS nimbrook_${name})
  target_include_directories(nimbrook_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  nimbrook_set_warnings(nimbrook_${name})
endfunction()
