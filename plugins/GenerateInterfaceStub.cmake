# Writes the body of the plug-in interface library from the header plug-ins include:
#
#   cmake -DHEADER=<PlugInApi.h> -DOUTPUT=<InterfaceStub.cpp> -P GenerateInterfaceStub.cmake
#
# Every function the header declares with ORVIK_API gets a body that returns the zero value of its
# type, so a function added to the header is in the library at the next build and none can be
# forgotten. The bodies never run: at run time a plug-in's calls reach the core library.
#
# What it reads: a declaration is "ORVIK_API <type> <name>(<parameters>);" and may span lines.
# A function defined in the header itself, or one that returns a reference, cannot be stubbed this
# way and fails the library's compilation rather than going missing.
cmake_minimum_required(VERSION 3.20)

if(NOT HEADER OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DHEADER=<header> -DOUTPUT=<source> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

# `text` without its default arguments: from each "=" outside brackets to the next "," outside
# them. A definition may not repeat them.
function(strip_defaults text out)
  string(LENGTH "${text}" length)
  set(result "")
  set(depth 0)
  set(skipping FALSE)
  set(index 0)
  while(index LESS length)
    string(SUBSTRING "${text}" ${index} 1 c)
    math(EXPR index "${index} + 1")
    if(c MATCHES "[<([{]")
      math(EXPR depth "${depth} + 1")
    elseif(c MATCHES "[])}>]")
      math(EXPR depth "${depth} - 1")
    elseif(depth EQUAL 0 AND c STREQUAL "=")
      set(skipping TRUE)
      continue()
    elseif(depth EQUAL 0 AND c STREQUAL ",")
      set(skipping FALSE)
    endif()
    if(NOT skipping)
      string(APPEND result "${c}")
    endif()
  endwhile()
  string(REGEX REPLACE " +," "," result "${result}")
  string(STRIP "${result}" result)
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

file(READ "${HEADER}" source)
# Comments and preprocessor lines hold nothing to stub (and "#define ORVIK_API" would look like a
# declaration).
string(REGEX REPLACE "//[^\n]*" "" source "${source}")
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" source "${source}")
string(REGEX REPLACE "(^|\n)[ \t]*#[^\n]*" "\\1" source "${source}")
string(REGEX REPLACE "[ \t\r\n]+" " " source "${source}")
# ";" would split the matches as a CMake list: each declaration ends at the "@" put for it.
string(REPLACE ";" "@" source "${source}")
string(REGEX MATCHALL "ORVIK_API [^@{}]*\\([^@{}]*\\)[^@{}]*@" declarations "${source}")
if(NOT declarations)
  message(FATAL_ERROR "${HEADER} declares no ORVIK_API function")
endif()

get_filename_component(header_name "${HEADER}" NAME)
set(stub "// Written by plugins/GenerateInterfaceStub.cmake from orvik/${header_name} at build time.
// The interface library plug-ins link against: every function a plug-in may call, under the core
// library's name, and nothing else. None of these bodies ever runs: at run time the loader
// resolves the same names in the real core library.
#include \"orvik/${header_name}\"

#pragma GCC diagnostic ignored \"-Wunused-parameter\"

")
set(count 0)
foreach(declaration IN LISTS declarations)
  string(REGEX REPLACE "^ORVIK_API (.*)@$" "\\1" declaration "${declaration}")
  if(NOT declaration MATCHES "^([^(]*)\\((.*)\\)([^)]*)$")
    message(FATAL_ERROR "cannot read the declaration '${declaration}' in ${HEADER}")
  endif()
  string(STRIP "${CMAKE_MATCH_1}" head)
  set(parameters "${CMAKE_MATCH_2}")
  string(STRIP "${CMAKE_MATCH_3}" qualifiers)
  strip_defaults("${parameters}" parameters)
  if(NOT head MATCHES "^(.*[^A-Za-z0-9_])([A-Za-z_][A-Za-z0-9_]*)$")
    message(FATAL_ERROR "cannot find the type and name in '${head}' in ${HEADER}")
  endif()
  string(STRIP "${CMAKE_MATCH_1}" type)
  set(signature "${head}(${parameters})")
  if(qualifiers)
    string(APPEND signature " ${qualifiers}")
  endif()
  if(type STREQUAL "void")
    string(APPEND stub "${signature} {}\n")
  else()
    string(APPEND stub "${signature} {\n    return {};\n}\n")
  endif()
  math(EXPR count "${count} + 1")
endforeach()

# Written only when it changed, so that a comment edited in the header rebuilds nothing.
set(previous "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
endif()
if(NOT previous STREQUAL stub)
  file(WRITE "${OUTPUT}" "${stub}")
endif()
message(STATUS "Plug-in interface stub: ${count} functions from ${header_name}")
