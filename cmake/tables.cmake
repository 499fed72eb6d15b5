# Turns each name table "<folder>/tables/<NAME>.tbl" (one row per line, blank
# lines and lines starting with '#' ignored) into "generated/<NAME>.inc", a
# list of C string literals for a fixed-width record array.
file(GLOB TABLE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/*/tables/*.tbl)
set(TABLE_INCLUDES "")
foreach(table ${TABLE_FILES})
    get_filename_component(name ${table} NAME_WE)
    set(out ${CMAKE_BINARY_DIR}/generated/${name}.inc)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DIN=${table} -DOUT=${out} -P ${CMAKE_SOURCE_DIR}/cmake/table2inc.cmake
        DEPENDS ${table} ${CMAKE_SOURCE_DIR}/cmake/table2inc.cmake
        COMMENT "Name table ${name}")
    list(APPEND TABLE_INCLUDES ${out})
endforeach()
