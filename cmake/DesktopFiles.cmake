# What a Linux desktop needs to offer Velmora in its menu and open .kpj files
# with it: the icon in the hicolor sizes (also as the project file type's
# icon), the file type, the AppStream description and the man page.
set(icons ${PROJECT_SOURCE_DIR}/resources/icons)
foreach(size 16 24 32 48 64 128 256)
  if(size EQUAL 48)
    set(icon ${PROJECT_SOURCE_DIR}/resources/velmora.png)  # the one the window shows
  else()
    set(icon ${icons}/velmora-${size}.png)
  endif()
  set(folder ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size})
  install(FILES ${icon} DESTINATION ${folder}/apps RENAME velmora.png)
  install(FILES ${icon} DESTINATION ${folder}/mimetypes RENAME application-x-velmora-project.png)
endforeach()
install(FILES ${icons}/velmora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${icons}/velmora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes
        RENAME application-x-velmora-project.svg)

install(FILES ${PROJECT_SOURCE_DIR}/resources/velmora-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velmora.xml)

set(metainfo ${CMAKE_CURRENT_BINARY_DIR}/example.velmora.Velmora.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/resources/example.velmora.Velmora.metainfo.xml.in ${metainfo} @ONLY)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(man ${CMAKE_CURRENT_BINARY_DIR}/velmora.1)
configure_file(${PROJECT_SOURCE_DIR}/resources/velmora.1.in ${man} @ONLY)
add_custom_command(OUTPUT ${man}.gz
  COMMAND gzip -9nkf ${man}
  DEPENDS ${man}
  VERBATIM)
add_custom_target(velmora_manpage ALL DEPENDS ${man}.gz)
install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
