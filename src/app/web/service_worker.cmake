# Writes the page's service worker for the built folder:
#   cmake -DWEB_DIR=<folder> -DVERSION=<program version> -DTEMPLATE=<service_worker.js.in>
#         -P service_worker.cmake
# The build's name is the program's version and a digest of the files that make up the
# page, so every build that differs in any byte has a cache of its own. The scripts, the
# program and the style sheet are listed with their SHA-256, which the worker checks.
cmake_minimum_required(VERSION 3.20)
set(checked style.css zev1-wifi-config.js tick_worker.js zev1-wifi-config.wasm)
set(plain index.html manifest.webmanifest icon-192.png icon-512.png)
set(entries)
set(all)
foreach(name IN LISTS plain checked)
  if(NOT EXISTS "${WEB_DIR}/${name}")
    message(FATAL_ERROR "${WEB_DIR}/${name} is missing")
  endif()
  file(SHA256 "${WEB_DIR}/${name}" digest)
  string(APPEND all "${name} ${digest}\n")
  if(name IN_LIST checked)
    list(APPEND entries "\"${name}\": \"${digest}\"")
  else()
    list(APPEND entries "\"${name}\": \"\"")
  endif()
endforeach()
string(SHA256 digest "${all}")
string(SUBSTRING "${digest}" 0 12 digest)
set(ZEV1_WEB_BUILD "${VERSION}-${digest}")
list(JOIN entries ",\n    " ZEV1_WEB_FILES)
set(ZEV1_WEB_FILES "{\n    ${ZEV1_WEB_FILES},\n}")
configure_file("${TEMPLATE}" "${WEB_DIR}/service_worker.js" @ONLY)
