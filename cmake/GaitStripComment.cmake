# Run by CPack on the staged files before it packs them: strip leaves the
# compilers' version strings (.comment) in the program, which Debian's own
# packaging removes as well.
file(GLOB programs ${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*)
foreach(program ${programs})
  execute_process(COMMAND ${CPACK_GAITPANEL_OBJCOPY} --remove-section=.comment ${program} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "objcopy could not remove .comment from ${program}")
  endif()
endforeach()
