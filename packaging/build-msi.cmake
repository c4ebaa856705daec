# Builds the Windows Installer package from a folder that holds the five installed files.
#   cmake -DWIXL=... -DMSIBUILD=... -DWXS=Zandrel.wxs -DSTAGE=DIR -DVERSION=1.2.3 -DOUTPUT=x.msi -P build-msi.cmake
# The tests call it too, with another VERSION, to build a newer or an older release of the same package.
foreach(var WIXL MSIBUILD WXS STAGE VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build-msi.cmake: ${var} is not set")
  endif()
endforeach()

foreach(tool WIXL MSIBUILD)
  if(NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "build-msi.cmake: ${tool} not found; scripts/setup.sh installs wixl and msitools")
  endif()
endforeach()

set(partial ${OUTPUT}.partial)
file(REMOVE ${partial})
execute_process(COMMAND ${WIXL} --arch x64 -D Version=${VERSION} -o ${partial} ${WXS}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
# wixl warns about the two component attributes that it does not write; they are set below.
string(REGEX REPLACE "[^\n]*has no property named '(NeverOverwrite|Permanent)'[^\n]*\n?" "" out "${out}")
string(STRIP "${out}" out)
if(out)
  message("${out}")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl failed (${status})")
endif()

# Settings files: 64-bit (256) + Permanent (16) + NeverOverwrite (128). Once installed they are the
# administrator's: a repair or an upgrade does not replace an existing copy, an uninstall leaves it.
# The old release goes right after InstallInitialize, so a failed upgrade rolls back to it.
execute_process(
  COMMAND ${MSIBUILD} ${partial} -q "UPDATE `Component` SET `Attributes` = 400 WHERE `Component` = 'EventConf'"
          -q "UPDATE `Component` SET `Attributes` = 400 WHERE `Component` = 'MemoryConf'"
          -q "UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "msibuild failed (${status})")
endif()
file(RENAME ${partial} ${OUTPUT})
