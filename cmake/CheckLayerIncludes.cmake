# Fails when a source of a layer includes through "../": such an include reaches past the view of
# the layers it may use (see orvik_layer in the top CMakeLists.txt), so it would let an upward
# dependency in unseen. Run as: cmake -DLAYER=<folder> -DSOURCE_DIR=<src> -DSTAMP=<file> -P this.
file(GLOB files ${SOURCE_DIR}/${LAYER}/*.cpp ${SOURCE_DIR}/${LAYER}/*.h)
set(found)
foreach(path ${files})
  file(STRINGS ${path} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]*\\.\\./")
  foreach(line ${lines})
    file(RELATIVE_PATH shown ${SOURCE_DIR}/.. ${path})
    string(STRIP "${line}" line)
    list(APPEND found "  ${shown}: ${line}")
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n" listed)
  message(FATAL_ERROR "Includes through \"../\" in the ${LAYER} layer; name the header by its "
                      "layer instead (\"core/Log.h\"), from a layer this one may use:\n${listed}")
endif()
file(TOUCH ${STAMP})
