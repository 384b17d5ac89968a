# SPDX-License-Identifier: GPL-3.0-or-later
# One settings target that every first-party target links: language level and sanitizers.
add_library(flipbook_settings INTERFACE)
target_compile_features(flipbook_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

if(FLIPBOOK_SANITIZE STREQUAL "address")
  target_compile_options(flipbook_settings INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(flipbook_settings INTERFACE -fsanitize=address,undefined)
elseif(FLIPBOOK_SANITIZE STREQUAL "thread")
  target_compile_options(flipbook_settings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(flipbook_settings INTERFACE -fsanitize=thread)
elseif(NOT FLIPBOOK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "FLIPBOOK_SANITIZE must be empty, 'address' or 'thread'")
endif()

# In a fuzzing build every first-party library is instrumented for coverage and checked by the
# sanitizers, not only the harness; the harness itself links the fuzzer's main.
if(FLIPBOOK_BUILD_FUZZERS)
  target_compile_options(flipbook_settings INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                     -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(flipbook_settings INTERFACE -fsanitize=address,undefined)
endif()
