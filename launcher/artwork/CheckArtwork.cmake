# Redraws the artwork into the build tree and fails when the committed files differ from it, so that
# the script in the repository always remakes what the build uses.
#   cmake -DPYTHON=... -DSCRIPT=... -DCOMMITTED=dir -DOUT=dir -P CheckArtwork.cmake
execute_process(COMMAND ${PYTHON} ${SCRIPT} ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the artwork script failed")
endif()
foreach(file Zandrel.ico Splash.bmp)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${COMMITTED}/${file} ${OUT}/${file} RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${file} differs from what the artwork script draws: run it and commit the result")
  endif()
endforeach()
