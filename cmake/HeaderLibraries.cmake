# Header-only libraries from Debian's packages: nlohmann-json3-dev (JSON) and
# libtomlplusplus-dev (TOML, used header-only so that no shared library of it
# is needed, on Windows neither). A cross build must not see the build
# machine's /usr/include, so it gets a folder holding only these two.
find_path(VELMAR_JSON_INCLUDE nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(VELMAR_TOML_INCLUDE toml++/toml.h NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(velmar_header_dirs ${VELMAR_JSON_INCLUDE} ${VELMAR_TOML_INCLUDE})
if(CMAKE_CROSSCOMPILING)
  set(velmar_header_dirs ${CMAKE_BINARY_DIR}/header-libraries)
  file(MAKE_DIRECTORY ${velmar_header_dirs})
  file(COPY ${VELMAR_JSON_INCLUDE}/nlohmann ${VELMAR_TOML_INCLUDE}/toml++
       DESTINATION ${velmar_header_dirs})
endif()
add_library(velmar_header_libraries INTERFACE)
target_include_directories(velmar_header_libraries SYSTEM INTERFACE ${velmar_header_dirs})
target_compile_definitions(velmar_header_libraries INTERFACE TOML_HEADER_ONLY=1 TOML_EXCEPTIONS=1)
