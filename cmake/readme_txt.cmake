# Makes the release's README.txt from README.md with pandoc: the filter cmake/readme_txt.lua
# keeps the administrator's sections, marked in README.md, and checks them (see there);
# pandoc writes them as plain text, wrapped at 78 columns, with CR LF line endings.
#
#   cmake -DSOURCE=README.md -DOUTPUT=README.txt -DVERSION=1.2.3 -DTITLE="what it is"
#         -DRELEASE_FILES=LICENSE,veskbackup.bat -P cmake/readme_txt.cmake

cmake_minimum_required(VERSION 3.25)

foreach(required SOURCE OUTPUT VERSION)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "readme_txt.cmake: -D${required}=... is required")
  endif()
endforeach()
find_program(VESK_PANDOC pandoc REQUIRED)

# Read as GitHub shows README.md, without turning bare addresses into links.
execute_process(
  COMMAND ${VESK_PANDOC} --from=gfm-autolink_bare_uris --to=plain --columns=78 --eol=crlf
          --lua-filter=${CMAKE_CURRENT_LIST_DIR}/readme_txt.lua
          --metadata=release_version=${VERSION} --metadata=release_title=${TITLE}
          --metadata=release_files=${RELEASE_FILES} --output=${OUTPUT} ${SOURCE}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  # What was wrong, pandoc or the filter has written to standard error.
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "pandoc could not make ${OUTPUT} (exit status ${result})")
endif()
