# Builds the Windows Installer package from a folder that holds the six installed files.
#   cmake -DWIXL=... -DMSIBUILD=... -DWXS=Zandrel.wxs -DSTAGE=DIR -DVERSION=1.2.3 -DOUTPUT=x.msi
#         -DEPOCH_FILE=source-date-epoch.txt [-DSIGN_SETTINGS=sign-settings.cmake -DPRODUCT_NAME=Zandrel]
#         -P build-msi.cmake
# The tests call it too, with another VERSION, to build a newer or an older release of the same package.
# With SIGN_SETTINGS the finished package is signed (sign.cmake); its programs come signed in STAGE.
# The same files, version and date give the same bytes: every code and date in the package is derived.
cmake_minimum_required(VERSION 3.25)
foreach(var WIXL MSIBUILD WXS STAGE VERSION OUTPUT EPOCH_FILE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build-msi.cmake: ${var} is not set")
  endif()
endforeach()

foreach(tool WIXL MSIBUILD)
  if(NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "build-msi.cmake: ${tool} not found; scripts/setup.sh installs wixl and msitools")
  endif()
endforeach()

# The version that an executable carries (VS_FIXEDFILEINFO: signature 0xFEEF04BD, then the structure's
# version, then the file version as two DWORDs), as Windows Installer writes it: major.minor.build.revision.
function(pe_file_version file out)
  file(READ ${file} hex HEX)
  set(rest "${hex}")
  set(skipped 0)
  while(TRUE)
    string(FIND "${rest}" "bd04effe" at)
    if(at LESS 0)
      message(FATAL_ERROR "build-msi.cmake: ${file} carries no version information")
    endif()
    math(EXPR aligned "(${skipped} + ${at}) % 2")
    if(aligned EQUAL 0)
      break()
    endif()
    math(EXPR at "${at} + 1")
    math(EXPR skipped "${skipped} + ${at}")
    string(SUBSTRING "${rest}" ${at} -1 rest)
  endwhile()
  set(parts "")
  foreach(word 16 24) # hex digits from the signature to dwFileVersionMS, dwFileVersionLS
    math(EXPR from "${at} + ${word}")
    string(SUBSTRING "${rest}" ${from} 8 le)
    # Little-endian: the high 16 bits are the last two bytes.
    string(SUBSTRING "${le}" 6 2 b3)
    string(SUBSTRING "${le}" 4 2 b2)
    string(SUBSTRING "${le}" 2 2 b1)
    string(SUBSTRING "${le}" 0 2 b0)
    math(EXPR high "0x${b3}${b2}" OUTPUT_FORMAT DECIMAL)
    math(EXPR low "0x${b1}${b0}" OUTPUT_FORMAT DECIMAL)
    list(APPEND parts ${high} ${low})
  endforeach()
  list(JOIN parts . version)
  set(${out} ${version} PARENT_SCOPE)
endfunction()

# The release's date for every time in the package: the cabinet takes each file's modification time, the
# summary's dates are written below; msibuild reads those as local time.
file(STRINGS ${EPOCH_FILE} epoch LIMIT_COUNT 1)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
set(ENV{TZ} UTC)
string(TIMESTAMP date "%Y/%m/%d %H:%M:%S" UTC)
file(GLOB staged ${STAGE}/*)
file(CHMOD ${staged} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
execute_process(COMMAND touch -d @${epoch} -- ${staged} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "build-msi.cmake: touch failed (${status})")
endif()

# Each version its own ProductCode (a major upgrade needs that), the same for every build of it.
file(READ ${WXS} wxs)
if(NOT wxs MATCHES "UpgradeCode=\"([0-9A-Fa-f-]+)\"")
  message(FATAL_ERROR "build-msi.cmake: ${WXS} has no UpgradeCode")
endif()
set(upgrade_code ${CMAKE_MATCH_1})
string(UUID product_code NAMESPACE ${upgrade_code} NAME "ProductCode ${VERSION}" TYPE SHA1 UPPER)

set(partial ${OUTPUT}.partial)
file(REMOVE ${partial})
execute_process(COMMAND ${WIXL} --arch x64 -D Version=${VERSION} -D ProductCode={${product_code}} -o ${partial} ${WXS}
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
set(queries -q "UPDATE `Component` SET `Attributes` = 400 WHERE `Component` = 'EventConf'"
            -q "UPDATE `Component` SET `Attributes` = 400 WHERE `Component` = 'MemoryConf'"
            -q "UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'")

# Versioned programs: a repair compares the installed copy with the package's by version, so a changed
# program of the same version is put back (and versioned files carry no MsiFileHash rows).
foreach(program Siftwell.exe Gaugewell.exe Zandrel.exe)
  pe_file_version(${STAGE}/${program} version)
  list(APPEND queries -q "UPDATE `File` SET `Version` = '${version}' WHERE `File` = '${program}'"
       -q "DELETE FROM `MsiFileHash` WHERE `File_` = '${program}'")
endforeach()

# Permissions of the package's own, wherever it is installed (Windows Installer 5.0 sets them; wixl
# cannot write them). The folder: protected, SYSTEM and Administrators full control, Users list, read and
# run, and a file made there later (the result files) gets SYSTEM, Administrators and its creator only.
# The programs: Users read and run them. The settings files, which may hold a password: no Users at all.
# The notices: Users read them.
set(folder_sddl "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)")
set(program_sddl "D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)")
set(settings_sddl "D:PAI(A;;FA;;;SY)(A;;FA;;;BA)")
set(notices_sddl "D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)")
# The rows go in as an imported table (its definition in the first three lines): SDDL is full of
# semicolons, which a CMake list of queries would split.
set(idt "${OUTPUT}.idt/MsiLockPermissionsEx.idt")
string(CONCAT rows "MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition\n"
       "s72\ts72\ts32\ts0\tS255\n" "MsiLockPermissionsEx\tMsiLockPermissionsEx\n"
       "InstallFolder\tINSTALLDIR\tCreateFolder\t${folder_sddl}\t\n"
       "SiftwellExe\tSiftwell.exe\tFile\t${program_sddl}\t\n"
       "GaugewellExe\tGaugewell.exe\tFile\t${program_sddl}\t\n"
       "ZandrelExe\tZandrel.exe\tFile\t${program_sddl}\t\n"
       "EventConf\tevent.conf\tFile\t${settings_sddl}\t\n"
       "MemoryConf\tmemory.conf\tFile\t${settings_sddl}\t\n"
       "NoticesTxt\tTHIRD_PARTY_NOTICES.txt\tFile\t${notices_sddl}\t\n")
file(WRITE ${idt} "${rows}")

# The summary's PackageCode (wixl writes a random one) and dates (wixl's are the build's): first a
# placeholder code, then one derived from the package's bytes, so that other content gets another code.
function(write_summary file package_code)
  string(CONCAT summary "PropertyId\tValue\n" "i2\tl255\n" "_SummaryInformation\tPropertyId\n"
         "9\t{${package_code}}\n" "12\t${date}\n" "13\t${date}\n")
  file(WRITE ${file} "${summary}")
endfunction()
set(summary_idt "${OUTPUT}.idt/_SummaryInformation.idt")
write_summary(${summary_idt} 00000000-0000-0000-0000-000000000000)
execute_process(COMMAND ${MSIBUILD} ${partial} ${queries} -i ${idt} -i ${summary_idt} RESULT_VARIABLE status)
if(status EQUAL 0)
  file(SHA256 ${partial} content)
  string(UUID package_code NAMESPACE ${upgrade_code} NAME "PackageCode ${content}" TYPE SHA1 UPPER)
  write_summary(${summary_idt} ${package_code})
  execute_process(COMMAND ${MSIBUILD} ${partial} -i ${summary_idt} RESULT_VARIABLE status)
endif()
file(REMOVE_RECURSE ${OUTPUT}.idt)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "msibuild failed (${status})")
endif()

if(SIGN_SETTINGS)
  include(${SIGN_SETTINGS})
  include(${CMAKE_CURRENT_LIST_DIR}/sign.cmake)
  zandrel_sign(${partial} ${partial}.signed "${PRODUCT_NAME} ${VERSION}" MSI)
  file(RENAME ${partial}.signed ${partial})
endif()
file(RENAME ${partial} ${OUTPUT})
