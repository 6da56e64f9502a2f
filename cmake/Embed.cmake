# Embeds data files into a program as resources found by type and name (see platform/resource.h).
#   qorm_embed_resources(<target> TYPE <type> FILES <file>...)
# The resource name is the file name without its folder.
function(qorm_embed_resources target)
  cmake_parse_arguments(ARG "" "TYPE" "FILES" ${ARGN})
  string(MAKE_C_IDENTIFIER "${target}_${ARG_TYPE}" id)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${id}_resources.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DTYPE=${ARG_TYPE} -DID=${id} "-DFILES=${ARG_FILES}"
            -P "${PROJECT_SOURCE_DIR}/cmake/EmbedGen.cmake"
    DEPENDS ${ARG_FILES} "${PROJECT_SOURCE_DIR}/cmake/EmbedGen.cmake"
    COMMENT "Embedding ${ARG_TYPE} resources into ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
  target_link_libraries(${target} PRIVATE platform)
endfunction()
