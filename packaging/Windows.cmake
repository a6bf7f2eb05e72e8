# The folder a Windows user gets, from the setup or the zip: both programs,
# Qt's DLLs and platform plugin, the help text and the READMEs, side by side
# (`cmake --install DIR --component windows --prefix STAGE`). Texts get CR LF
# so that Notepad shows their lines. The vendor's ftd2xx.dll is not ours to ship.
set(win ${PROJECT_SOURCE_DIR}/packaging/windows)
install(TARGETS velmar-cli RUNTIME DESTINATION . COMPONENT windows)
configure_file(${PROJECT_SOURCE_DIR}/cli/README-Windows.txt README-velmar-cli.txt
  @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README-velmar-cli.txt DESTINATION . COMPONENT windows)
if(VELMAR_UI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets) # its targets are seen where found
  install(TARGETS velmar RUNTIME DESTINATION . COMPONENT windows)
  install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
    DESTINATION . COMPONENT windows)
  # Qt looks for its platform plugin in this folder beside the program.
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms
    COMPONENT windows)
  configure_file(${PROJECT_SOURCE_DIR}/ui/Win_Velmar.Txt Win_Velmar.Txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${win}/README.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Win_Velmar.Txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt
    ${CMAKE_CURRENT_BINARY_DIR}/ui/velmar.ico DESTINATION . COMPONENT windows)
endif()
