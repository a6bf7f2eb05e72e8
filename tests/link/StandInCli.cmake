# velmar-cli through the real libftdi1 into the libusb stand-in, with the
# virtual programmer's firmware behind the bridge's endpoints (the tests and
# the door's cost benchmark run it).
if(NOT TARGET velmar_cli_on_standin)
  add_executable(velmar_cli_on_standin
    ${PROJECT_SOURCE_DIR}/cli/main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UsbStandIn.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StandInProgrammer.cpp)
  target_include_directories(velmar_cli_on_standin PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(velmar_cli_on_standin PRIVATE velmar_cli)
  target_compile_definitions(velmar_cli_on_standin PRIVATE VELMAR_VERSION="${PROJECT_VERSION}")
  # libftdi1's libusb calls land in the executable's stand-in.
  set_target_properties(velmar_cli_on_standin PROPERTIES ENABLE_EXPORTS ON)
endif()
