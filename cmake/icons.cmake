# The program icon, drawn once as packaging/icons/zev1-wifi-config.svg; everything else
# is made from it at build time: the hicolor PNG sizes (rsvg-convert) and the Windows
# .ico (icotool, the 256 px image kept as PNG). Sets
#   ZEV1_ICON_SVG      the drawing
#   ZEV1_ICON_PNGS     list of "<size>;<png>" pairs, flattened (empty without rsvg-convert)
#   ZEV1_ICON_ICO      the .ico (empty without rsvg-convert and icotool)
# and the target zev1_icons that makes them. Included before the programs' folders; a
# resource script that uses ZEV1_ICON_ICO makes its target depend on zev1_icons.
set(ZEV1_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/zev1-wifi-config.svg)
set(ZEV1_ICON_PNGS)
set(ZEV1_ICON_ICO)
find_program(ZEV1_RSVG_CONVERT rsvg-convert)
find_program(ZEV1_ICOTOOL icotool)
if(NOT ZEV1_RSVG_CONVERT)
  message(WARNING "rsvg-convert not found (librsvg2-bin): the PNG and .ico icons are not made")
  add_custom_target(zev1_icons)
  return()
endif()

set(zev1_icon_dir ${CMAKE_BINARY_DIR}/icons)
set(zev1_icon_outputs)
set(zev1_ico_inputs)
foreach(size 16 24 32 48 64 128 256)
  set(png ${zev1_icon_dir}/${size}x${size}/zev1-wifi-config.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${zev1_icon_dir}/${size}x${size}
    COMMAND ${ZEV1_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${ZEV1_ICON_SVG}
    DEPENDS ${ZEV1_ICON_SVG}
    COMMENT "Icon ${size}x${size}"
    VERBATIM)
  list(APPEND ZEV1_ICON_PNGS ${size} ${png})
  list(APPEND zev1_icon_outputs ${png})
  if(size EQUAL 256)
    list(APPEND zev1_ico_inputs --raw=${png})
  elseif(size LESS_EQUAL 48)
    list(APPEND zev1_ico_inputs ${png})
  endif()
endforeach()

if(ZEV1_ICOTOOL)
  set(ZEV1_ICON_ICO ${zev1_icon_dir}/zev1-wifi-config.ico)
  add_custom_command(OUTPUT ${ZEV1_ICON_ICO}
    COMMAND ${ZEV1_ICOTOOL} --create --output=${ZEV1_ICON_ICO} ${zev1_ico_inputs}
    DEPENDS ${zev1_icon_outputs}
    COMMENT "Icon zev1-wifi-config.ico"
    VERBATIM)
  list(APPEND zev1_icon_outputs ${ZEV1_ICON_ICO})
elseif(WIN32)
  message(WARNING "icotool not found (icoutils): the Windows icon is not made")
endif()
add_custom_target(zev1_icons ALL DEPENDS ${zev1_icon_outputs})
