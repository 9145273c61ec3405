# cmake --install puts kcs, its tools and the demo data in the standard places:
# bin/ for the programs, share/kcs/ for the data (found by kcs relative to its
# own location), share/doc/kcs/ for the guides.
include(GNUInstallDirs)

install(TARGETS kcs RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(tool kcs-map kcs-art kcs-sound)
    if(TARGET ${tool})
        install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
install(DIRECTORY ${CMAKE_BINARY_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kcs
        FILES_MATCHING PATTERN "*.ini" PATTERN "*.bmp" PATTERN "*.map" PATTERN "*.wav"
        PATTERN "CMakeFiles" EXCLUDE)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
